#include "ProfileText.h"

#include "FileError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <stdexcept>

namespace fatura {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

QByteArrayView trimmed(QByteArrayView v)
{
    qsizetype from = 0;
    qsizetype to = v.size();
    while (from < to && isBlank(v[from]))
        ++from;
    while (to > from && isBlank(v[to - 1]))
        --to;
    return v.sliced(from, to - from);
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool sameName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

struct Line {
    qsizetype begin = 0;
    qsizetype contentEnd = 0; // before the line end
    qsizetype end = 0;        // after the line end; equals contentEnd on a last line without one
};

enum class Kind { Other, Comment, Section, Key };

struct ParsedLine {
    Kind kind = Kind::Other;
    QByteArrayView name;
    qsizetype equals = -1; // offset of "=" in the file, key lines only
};

std::vector<Line> splitLines(const QByteArray& bytes)
{
    std::vector<Line> lines;
    qsizetype begin = 0;
    while (begin < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', begin);
        Line line;
        line.begin = begin;
        if (lf < 0) {
            line.contentEnd = line.end = bytes.size();
        } else {
            line.end = lf + 1;
            line.contentEnd = (lf > begin && bytes[lf - 1] == '\r') ? lf - 1 : lf;
        }
        lines.push_back(line);
        begin = line.end;
    }
    return lines;
}

ParsedLine parse(const QByteArray& bytes, const Line& line)
{
    const QByteArrayView content(bytes.constData() + line.begin, line.contentEnd - line.begin);
    const QByteArrayView text = trimmed(content);
    ParsedLine parsed;
    if (text.isEmpty())
        return parsed;
    if (text.front() == ';') {
        parsed.kind = Kind::Comment;
        return parsed;
    }
    if (text.front() == '[') {
        const qsizetype close = text.indexOf(']');
        if (close > 0) {
            parsed.kind = Kind::Section;
            parsed.name = trimmed(text.sliced(1, close - 1));
            return parsed;
        }
    }
    const qsizetype equals = content.indexOf('=');
    if (equals >= 0) {
        parsed.kind = Kind::Key;
        parsed.name = trimmed(content.first(equals));
        parsed.equals = line.begin + equals;
    }
    return parsed;
}

bool hasLineEnd(const QByteArray& bytes, const Line& line)
{
    return line.end > line.contentEnd || (line.end > 0 && bytes[line.end - 1] == '\n');
}

void requireName(QByteArrayView name, QByteArrayView forbidden, const char* what)
{
    bool ok = !name.isEmpty() && trimmed(name).size() == name.size();
    for (char c : name) {
        if (c == '\n' || c == '\r' || c == '\0' || forbidden.contains(c))
            ok = false;
    }
    if (ok && (name.front() == ';' || name.front() == '['))
        ok = false;
    if (!ok)
        throw std::invalid_argument(std::string("settings file: unusable ") + what + " name");
}

QString fileText(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

[[noreturn]] void unableToWrite(const QString& path)
{
    throw FileError(QStringLiteral("Unable to write to %1").arg(fileText(path)));
}

// The read-only mark of the file itself. A file nobody may write is treated as read-only even
// for the superuser, who would otherwise pass every permission check; the rename that replaces
// the file would pass over the mark too, since it only needs the folder to be writable.
bool isWritableFile(const QFileInfo& info)
{
    const auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return info.isWritable() && (info.permissions() & anyWrite);
}

} // namespace

QByteArray ProfileText::value(QByteArrayView section, QByteArrayView key, QByteArrayView fallback) const
{
    bool inSection = false;
    for (const Line& line : splitLines(bytes_)) {
        const ParsedLine parsed = parse(bytes_, line);
        if (parsed.kind == Kind::Section) {
            if (inSection)
                break;
            inSection = sameName(parsed.name, section);
        } else if (inSection && parsed.kind == Kind::Key && sameName(parsed.name, key)) {
            QByteArrayView v(bytes_.constData() + parsed.equals + 1, line.contentEnd - parsed.equals - 1);
            const qsizetype nul = v.indexOf('\0');
            if (nul >= 0)
                v = v.first(nul);
            return trimmed(v).toByteArray();
        }
    }
    return fallback.toByteArray();
}

void ProfileText::setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    requireName(section, "]", "section");
    requireName(key, "=", "key");
    if (value.contains('\n') || value.contains('\0'))
        throw std::invalid_argument("settings file: a value cannot hold a line break or a NUL byte");

    const std::vector<Line> lines = splitLines(bytes_);
    const Line* header = nullptr;
    const Line* lastKey = nullptr;
    for (const Line& line : lines) {
        const ParsedLine parsed = parse(bytes_, line);
        if (parsed.kind == Kind::Section) {
            if (header)
                break;
            if (sameName(parsed.name, section))
                header = &line;
        } else if (header && parsed.kind == Kind::Key) {
            if (sameName(parsed.name, key)) {
                qsizetype start = parsed.equals + 1;
                while (start < line.contentEnd && (bytes_[start] == ' ' || bytes_[start] == '\t'))
                    ++start;
                bytes_.replace(start, line.contentEnd - start, value.data(), value.size());
                return;
            }
            lastKey = &line;
        }
    }

    QByteArray added;
    qsizetype at = bytes_.size();
    const Line* after = lastKey ? lastKey : header;
    if (after) {
        at = after->end;
        if (!hasLineEnd(bytes_, *after))
            added += "\r\n";
    } else {
        if (!bytes_.isEmpty() && !bytes_.endsWith('\n'))
            added += "\r\n";
        added += '[' + section.toByteArray() + "]\r\n";
    }
    added += key.toByteArray() + '=' + value.toByteArray() + "\r\n";
    bytes_.insert(at, added);
}

ProfileText readProfileFile(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {};
    return ProfileText(std::move(bytes));
}

QByteArray readProfileString(const QString& path, QByteArrayView section, QByteArrayView key,
                             QByteArrayView fallback)
{
    return readProfileFile(path).value(section, key, fallback);
}

void writeProfileStrings(const QString& path, QByteArrayView section,
                         const std::vector<std::pair<QByteArray, QByteArray>>& keyValues)
{
    const QFileInfo info(path);
    const bool exists = info.exists();
    QByteArray original;
    if (exists) {
        if (!info.isFile() || !isWritableFile(info))
            unableToWrite(path);
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            unableToWrite(path);
        original = in.readAll();
        if (in.error() != QFileDevice::NoError)
            unableToWrite(path);
    }

    ProfileText text(original);
    for (const auto& [key, value] : keyValues)
        text.setValue(section, key, value);
    if (exists && text.bytes() == original)
        return;

    QSaveFile out(path);
    // A folder the user may not create files in, holding a settings file the user may write,
    // still takes the save, in place.
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly))
        unableToWrite(path);
    if (out.write(text.bytes()) != text.bytes().size()) {
        out.cancelWriting();
        unableToWrite(path);
    }
    if (!out.commit())
        unableToWrite(path);
}

void writeProfileString(const QString& path, QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    writeProfileStrings(path, section, {{key.toByteArray(), value.toByteArray()}});
}

} // namespace fatura
