#include "LayoutFile.h"

#include "FileError.h"
#include "ProfileText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <stdexcept>
#include <utility>
#include <vector>

// Resources of a static library are only linked in when something refers to them.
static void initLayoutResource()
{
    Q_INIT_RESOURCE(layout);
}

namespace fatura {

namespace {

constexpr char kCodePage[] = "windows-1254";

QString decode(const QByteArray& bytes)
{
    QStringDecoder decoder(kCodePage);
    return decoder.decode(bytes);
}

QByteArray encode(const QString& text)
{
    QStringEncoder encoder(kCodePage);
    return encoder.encode(text);
}

} // namespace

QString layoutFilePath(const QString& programFolder)
{
    if (programFolder.isEmpty() || programFolder.endsWith(u'/') || programFolder.endsWith(QDir::separator()))
        return programFolder + QLatin1String(kLayoutFileName);
    return programFolder + u'/' + QLatin1String(kLayoutFileName);
}

QByteArray defaultLayoutFile()
{
    initLayoutResource();
    QFile resource(QStringLiteral(":/layout/fatura_ayar.ini"));
    if (!resource.open(QIODevice::ReadOnly))
        throw std::logic_error("the built-in layout file is missing from the program");
    return resource.readAll();
}

void EnsureLayoutFile(const QString& programFolder)
{
    const QString path = layoutFilePath(programFolder);
    if (QFileInfo(path).isFile())
        return;

    const QByteArray content = defaultLayoutFile();
    QFile file(path);
    auto cannotCreate = [&] {
        return FileError(QStringLiteral("Cannot create file \"%1\". %2")
                             .arg(QDir::toNativeSeparators(path), file.errorString()));
    };
    // NewOnly: a file that appeared meanwhile is somebody's settings, not ours to overwrite.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw cannotCreate();
    if (file.write(content) != content.size() || !file.flush()) {
        FileError error = cannotCreate();
        file.close();
        file.remove();
        throw error;
    }
}

LayoutCaptions ReadLayoutFile(const QString& programFolder)
{
    return layoutCaptions(readProfileFile(layoutFilePath(programFolder)));
}

LayoutCaptions layoutCaptions(const ProfileText& text)
{
    LayoutCaptions captions;
    for (int i = 0; i < kLayoutEntries; ++i) {
        const QByteArray value = text.value(kLayoutSection, kLayoutTable[i].key, fallbackPosition(i));
        captions[i] = decode(value.left(kMaxLayoutValueBytes));
    }
    return captions;
}

std::vector<std::pair<QByteArray, QByteArray>> layoutKeyValues(const LayoutCaptions& captions)
{
    std::vector<std::pair<QByteArray, QByteArray>> keyValues;
    keyValues.reserve(kLayoutEntries);
    for (int i : kLayoutCreationOrder)
        keyValues.emplace_back(QByteArray(kLayoutTable[i].key), encode(captions[i]));
    return keyValues;
}

void WriteLayoutFile(const QString& programFolder, const LayoutCaptions& captions)
{
    writeProfileStrings(layoutFilePath(programFolder), kLayoutSection, layoutKeyValues(captions));
}

} // namespace fatura
