#include "Md5.h"

#include <QCryptographicHash>

#include <cstring>

namespace fatura::engine {

Digest md5(const void* data, std::size_t length)
{
    // One hasher per thread: a record hash is taken on every post and on every verify step, and
    // constructing QCryptographicHash each time costs more than hashing a kilobyte.
    thread_local QCryptographicHash hasher(QCryptographicHash::Md5);
    hasher.reset();
    hasher.addData(QByteArrayView(static_cast<const char*>(data), static_cast<qsizetype>(length)));
    const QByteArrayView result = hasher.resultView();
    Digest digest{};
    std::memcpy(digest.data(), result.data(), digest.size());
    return digest;
}

} // namespace fatura::engine
