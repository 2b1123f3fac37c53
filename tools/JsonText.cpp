#include "JsonText.h"

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace fatura::tools {

std::string cp1254ToUtf8(std::string_view text)
{
    // Opening a converter costs far more than converting one field; a dump converts thousands.
    thread_local QStringDecoder decoder("windows-1254");
    if (!decoder.isValid())
        throw std::runtime_error("code page 1254 conversion is not available");
    const QString decoded = decoder.decode(QByteArrayView(text.data(), qsizetype(text.size())));
    return decoded.toUtf8().toStdString();
}

void appendJsonString(std::string& out, std::string_view utf8)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (byte < 0x20 || byte == 0x7f) {
                out += "\\u00";
                out.push_back(kHex[byte >> 4]);
                out.push_back(kHex[byte & 0xf]);
            } else {
                out.push_back(c);
            }
        }
    }
    out.push_back('"');
}

void appendJsonNumber(std::string& out, double value)
{
    if (std::isnan(value)) {
        out += "\"NaN\"";
        return;
    }
    if (std::isinf(value)) {
        out += value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
        return;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

} // namespace fatura::tools
