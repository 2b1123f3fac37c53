#include "PageFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QtEndian>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace fatura::report {
namespace {

constexpr char kMagic[8] = {'F', 'S', 'A', 'Y', 'F', 'A', '\r', '\n'};
constexpr quint16 kVersion = 1;
constexpr int kHeaderSize = 32;
constexpr int kDigestSize = 12;
constexpr quint32 kMaxPages = 1000;
constexpr quint32 kMaxLabels = 10000;
constexpr quint8 kRightAligned = 0x01;

QByteArray digestOf(QByteArrayView body)
{
    return QCryptographicHash::hash(body, QCryptographicHash::Md5).left(kDigestSize);
}

class Writer {
public:
    QByteArray bytes;

    void u8(quint8 v) { bytes.append(char(v)); }
    void u16(quint16 v)
    {
        char b[2];
        qToLittleEndian(v, b);
        bytes.append(b, 2);
    }
    void u32(quint32 v)
    {
        char b[4];
        qToLittleEndian(v, b);
        bytes.append(b, 4);
    }
    void real(double v)
    {
        char b[8];
        qToLittleEndian(std::bit_cast<quint64>(v), b);
        bytes.append(b, 8);
    }
    void text(const QString& s)
    {
        const QByteArray utf8 = s.toUtf8();
        u32(quint32(utf8.size()));
        bytes.append(utf8);
    }
};

[[noreturn]] void damaged(const QString& why)
{
    throw PageFileError(PageFileError::Kind::Damaged, QStringLiteral("\nRAPOR DOSYASI BOZUK: %1").arg(why));
}

// Every read checks what is left first, so a length field from a damaged file can never send
// it past the end.
class Reader {
public:
    explicit Reader(QByteArrayView bytes) : bytes_(bytes) {}

    qsizetype left() const { return bytes_.size() - at_; }

    QByteArrayView take(qsizetype n)
    {
        if (n < 0 || n > left())
            damaged(QStringLiteral("DOSYA ERKEN BİTİYOR"));
        QByteArrayView v = bytes_.sliced(at_, n);
        at_ += n;
        return v;
    }
    quint8 u8() { return quint8(take(1)[0]); }
    quint32 u32() { return qFromLittleEndian<quint32>(take(4).data()); }
    double real(const char* what)
    {
        const double v = std::bit_cast<double>(qFromLittleEndian<quint64>(take(8).data()));
        if (!std::isfinite(v))
            damaged(QStringLiteral("%1 SAYI DEĞİL").arg(QString::fromUtf8(what)));
        return v;
    }
    QString text(const char* what)
    {
        const quint32 n = u32();
        if (n > quint32(left()))
            damaged(QStringLiteral("%1 UZUNLUĞU DOSYAYI AŞIYOR").arg(QString::fromUtf8(what)));
        QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString s = decode(take(qsizetype(n)));
        if (decode.hasError())
            damaged(QStringLiteral("%1 GEÇERSİZ UTF-8").arg(QString::fromUtf8(what)));
        return s;
    }

private:
    QByteArrayView bytes_;
    qsizetype at_ = 0;
};

Page readPage(Reader& in)
{
    Page page;
    const double width = in.real("SAYFA GENİŞLİĞİ");
    const double height = in.real("SAYFA YÜKSEKLİĞİ");
    if (width <= 0 || height <= 0)
        damaged(QStringLiteral("SAYFA BOYUTU SIFIR YA DA EKSİ"));
    page.size = QSizeF(width, height);
    page.pointSize = in.real("YAZI BOYU");
    if (page.pointSize <= 0)
        damaged(QStringLiteral("YAZI BOYU SIFIR YA DA EKSİ"));
    page.fontFamily = in.text("YAZI TİPİ");
    const quint32 count = in.u32();
    if (count > kMaxLabels)
        damaged(QStringLiteral("ETİKET SAYISI %1").arg(count));
    page.labels.reserve(count);
    for (quint32 i = 0; i < count; ++i) {
        PageLabel label;
        label.left = in.real("ETİKET SOLU");
        label.top = in.real("ETİKET ÜSTÜ");
        label.boxWidth = in.real("KUTU GENİŞLİĞİ");
        if (label.boxWidth < 0)
            damaged(QStringLiteral("KUTU GENİŞLİĞİ EKSİ"));
        const quint8 flags = in.u8();
        if (flags & ~kRightAligned)
            damaged(QStringLiteral("ETİKET BAYRAKLARI %1").arg(flags));
        label.rightAligned = flags & kRightAligned;
        label.text = in.text("ETİKET METNİ");
        page.labels.push_back(std::move(label));
    }
    return page;
}

} // namespace

PageFileError::PageFileError(Kind kind, const QString& message)
    : std::runtime_error(message.toStdString()), kind_(kind)
{
}

QByteArray encodePages(const std::vector<Page>& pages)
{
    Writer body;
    for (const Page& page : pages) {
        body.real(page.size.width());
        body.real(page.size.height());
        body.real(page.pointSize);
        body.text(page.fontFamily);
        body.u32(quint32(page.labels.size()));
        for (const PageLabel& label : page.labels) {
            body.real(label.left);
            body.real(label.top);
            body.real(label.boxWidth);
            body.u8(label.rightAligned ? kRightAligned : 0);
            body.text(label.text);
        }
    }
    Writer file;
    file.bytes.append(kMagic, sizeof kMagic);
    file.u16(kVersion);
    file.u16(0);
    file.u32(quint32(pages.size()));
    file.u32(quint32(body.bytes.size()));
    file.bytes.append(digestOf(body.bytes));
    file.bytes.append(body.bytes);
    return file.bytes;
}

std::vector<Page> decodePages(const QByteArray& bytes)
{
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.constData(), kMagic, sizeof kMagic) != 0)
        throw PageFileError(PageFileError::Kind::NotAPageFile, QStringLiteral("\nBU DOSYA BİR RAPOR DOSYASI DEĞİL"));
    Reader header(QByteArrayView(bytes).first(kHeaderSize));
    header.take(sizeof kMagic);
    const quint16 version = qFromLittleEndian<quint16>(header.take(2).data());
    if (version > kVersion)
        throw PageFileError(PageFileError::Kind::NewerVersion,
                            QStringLiteral("\nRAPOR DOSYASI PROGRAMIN BU SÜRÜMÜNDEN YENİ (BİÇİM %1)").arg(version));
    if (version == 0)
        damaged(QStringLiteral("BİÇİM 0"));
    if (qFromLittleEndian<quint16>(header.take(2).data()) != 0)
        damaged(QStringLiteral("AYRILMIŞ ALAN DOLU"));
    const quint32 pageCount = header.u32();
    const quint32 bodyLength = header.u32();
    const QByteArrayView digest = header.take(kDigestSize);

    const QByteArrayView body = QByteArrayView(bytes).sliced(kHeaderSize);
    if (bodyLength != quint64(body.size()))
        damaged(QStringLiteral("UZUNLUK %1 BAYT, OLMASI GEREKEN %2 BAYT").arg(body.size()).arg(bodyLength));
    if (digest != QByteArrayView(digestOf(body)))
        damaged(QStringLiteral("İÇERİK DEĞİŞMİŞ"));
    if (pageCount < 1 || pageCount > kMaxPages)
        damaged(QStringLiteral("SAYFA SAYISI %1").arg(pageCount));

    Reader in(body);
    std::vector<Page> pages;
    for (quint32 i = 0; i < pageCount; ++i)
        pages.push_back(readPage(in));
    if (in.left() != 0)
        damaged(QStringLiteral("SON SAYFADAN SONRA %1 BAYT").arg(in.left()));
    return pages;
}

void savePageFile(const QString& path, const std::vector<Page>& pages)
{
    const QByteArray bytes = encodePages(pages);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw PageFileError(PageFileError::Kind::Unwritable,
                            QStringLiteral("\nRAPOR DOSYASI YAZILAMADI: %1\n%2").arg(path, file.errorString()));
}

std::vector<Page> loadPageFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PageFileError(PageFileError::Kind::Unreadable,
                            QStringLiteral("\nRAPOR DOSYASI AÇILAMADI: %1\n%2").arg(path, file.errorString()));
    // A page file is a few kilobytes; anything far larger is not one, and reading it whole would
    // only cost memory.
    if (file.size() > 64 * 1024 * 1024)
        throw PageFileError(PageFileError::Kind::NotAPageFile, QStringLiteral("\nBU DOSYA BİR RAPOR DOSYASI DEĞİL"));
    return decodePages(file.readAll());
}

} // namespace fatura::report
