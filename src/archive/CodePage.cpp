#include "CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <stdexcept>

namespace fatura::archive {

namespace {

// One converter each, kept: opening an ICU converter costs more than converting a field, and
// the list converts hundreds of fields per screen. Only the user-interface thread converts.
QStringDecoder& decoder()
{
    static QStringDecoder d("windows-1254");
    return d;
}

QStringEncoder& encoder()
{
    static QStringEncoder e("windows-1254");
    return e;
}

} // namespace

QString fromCp1254(std::string_view bytes)
{
    QStringDecoder& d = decoder();
    d.resetState();
    return d.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

bool tryCp1254(const QString& text, std::string& bytes)
{
    QStringEncoder& e = encoder();
    e.resetState();
    const QByteArray encoded = e.encode(text);
    if (e.hasError())
        return false;
    bytes.assign(encoded.constData(), std::size_t(encoded.size()));
    return true;
}

std::string toCp1254(const QString& text, std::string_view what)
{
    std::string bytes;
    if (!tryCp1254(text, bytes))
        throw std::invalid_argument(std::string(what) + ": a character cannot be stored in code page 1254");
    return bytes;
}

} // namespace fatura::archive
