#include "Format.h"

#include "EngineError.h"
#include "Md5.h"

namespace fatura::engine::format {

bool getShortString(const unsigned char* field, std::size_t width, std::string& out)
{
    const std::size_t length = field[0];
    if (length >= width)
        return false;
    out.assign(reinterpret_cast<const char*>(field + 1), length);
    return true;
}

void putShortString(unsigned char* field, std::size_t width, std::string_view text)
{
    const std::size_t length = std::min(text.size(), width - 1);
    std::memset(field, 0, width);
    field[0] = static_cast<unsigned char>(length);
    std::memcpy(field + 1, text.data(), length);
}

const unsigned char* signatureDigest()
{
    static const Digest digest = md5(kSignatureText.data(), kSignatureText.size());
    return digest.data();
}

void checkVersionAndSignature(const unsigned char* header, const std::string& table)
{
    const std::uint8_t version = header[kVersionByte];
    if (version != kVersion)
        throw EngineError::make(version < 7 ? errc::WrongVersion : errc::NotValid, table);
    if (std::memcmp(header + kSignature, signatureDigest(), 16) != 0)
        throw EngineError::make(errc::NotValid, table);
}

} // namespace fatura::engine::format
