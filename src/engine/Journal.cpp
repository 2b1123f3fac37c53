#include "Journal.h"

#include "EngineError.h"
#include "FileIo.h"
#include "Format.h"
#include "Md5.h"

#include <algorithm>
#include <cstring>

namespace fatura::engine {

using namespace format;

namespace {

// Far beyond what any change of a table the engine accepts writes, and small enough that a
// damaged length cannot make a reader allocate without bound.
constexpr std::uint32_t kMaxRingBytes = 64u << 20;
constexpr std::uint32_t kMinRingBytes = 256u << 10;

std::size_t padded(std::size_t n)
{
    return (n + 7) & ~std::size_t(7);
}

// The digest ends the record and covers everything before it.
Digest recordDigest(const unsigned char* record, std::size_t length)
{
    return md5(record, length - kJrDigestSize);
}

// Calls f(file, offset, bytes, n) for each write of a whole record; false when an item runs
// past the record.
template <typename F>
bool forEachWrite(const std::vector<unsigned char>& record, F&& f)
{
    const std::size_t end = record.size() - kJrDigestSize;
    std::size_t at = kJrItems;
    while (at < end) {
        if (end - at < kJiBytes)
            return false;
        const unsigned char file = record[at + kJiFile];
        const std::uint32_t n = get<std::uint32_t>(record.data(), at + kJiLength);
        const std::uint64_t offset = get<std::uint64_t>(record.data(), at + kJiOffset);
        if (file > 1 || n > end - at - kJiBytes)
            return false;
        // No change of a table writes beyond the largest file the engine makes.
        const std::uint64_t limit = file == 0 ? kMaxDataFileBytes + kMaxRecordLength
                                              : kPagesOffset + (std::uint64_t(1) << 32) * kMaxPageSize;
        if (offset > limit || n > limit - offset)
            return false;
        f(static_cast<TableFile>(file), offset, record.data() + at + kJiBytes, n);
        at += padded(kJiBytes + n);
    }
    return true;
}

} // namespace

bool Journal::decode(const unsigned char* header, Fields& fields)
{
    fields = Fields{};
    const unsigned char* begin = header + kJnMagic;
    if (std::all_of(begin, header + kJnEnd, [](unsigned char c) { return c == 0; }))
        return true;
    const Digest digest = md5(begin, kJnDigest - kJnMagic);
    if (get<std::uint32_t>(header, kJnMagic) != kJournalMagic
        || !std::equal(digest.begin(), digest.end(), header + kJnDigest))
        return false;
    fields.present = true;
    fields.offset = get<std::uint64_t>(header, kJnRingOffset);
    fields.bytes = get<std::uint32_t>(header, kJnRingBytes);
    fields.firstSeq = get<std::uint32_t>(header, kJnFirstSeq);
    fields.stamp = get<std::uint32_t>(header, kJnStamp);
    fields.rebuilding = header[kJnState] == 1;
    return fields.offset >= kPagesOffset && fields.bytes >= 4096 && fields.bytes <= kMaxRingBytes
        && header[kJnState] <= 1;
}

void Journal::encode(const Fields& fields, unsigned char* header)
{
    std::memset(header + kJnMagic, 0, kJnEnd - kJnMagic);
    if (!fields.present)
        return;
    put<std::uint32_t>(header, kJnMagic, kJournalMagic);
    put<std::uint64_t>(header, kJnRingOffset, fields.offset);
    put<std::uint32_t>(header, kJnRingBytes, fields.bytes);
    put<std::uint32_t>(header, kJnFirstSeq, fields.firstSeq);
    put<std::uint32_t>(header, kJnStamp, fields.stamp);
    header[kJnState] = fields.rebuilding ? 1 : 0;
    const Digest digest = md5(header + kJnMagic, kJnDigest - kJnMagic);
    std::memcpy(header + kJnDigest, digest.data(), digest.size());
}

Journal::Scan Journal::scan(File& index, const Fields& fields, File* replayData, File* replayIndex,
                            const std::string& table)
{
    Scan s;
    s.nextSeq = fields.firstSeq;
    s.lastCounter = fields.stamp;
    std::vector<unsigned char> record;
    while (fields.bytes - s.end >= kJrItems) {
        unsigned char head[kJrItems];
        const std::uint64_t at = fields.offset + s.end;
        if (index.read(at, head, sizeof head).bytes != sizeof head)
            break;
        const std::uint32_t length = get<std::uint32_t>(head, kJrLength);
        if (get<std::uint32_t>(head, kJrMagic) != kRecordMagic || get<std::uint32_t>(head, kJrSeq) != s.nextSeq
            || length < kJrItems + kJrDigestSize || length % 8 != 0 || length > fields.bytes - s.end)
            break;
        record.resize(length);
        if (index.read(at, record.data(), length).bytes != length)
            break;
        const Digest digest = recordDigest(record.data(), length);
        if (!std::equal(digest.begin(), digest.end(), record.data() + length - kJrDigestSize)
            || !forEachWrite(record, [](TableFile, std::uint64_t, const unsigned char*, std::size_t) {}))
            break;
        if (replayData && replayIndex)
            apply(record, *replayData, *replayIndex, table);
        s.end += length;
        ++s.nextSeq;
        s.lastCounter = get<std::uint32_t>(head, kJrCounter);
        ++s.records;
    }
    return s;
}

// The data file's header goes last, so that its change counter says the change is in place
// only once it is.
void Journal::apply(const std::vector<unsigned char>& record, File& data, File& index, const std::string& table)
{
    auto write = [&](TableFile file, std::uint64_t offset, const unsigned char* bytes, std::size_t n) {
        io::writeExact(file == TableFile::Data ? data : index, offset, bytes, n, table);
    };
    forEachWrite(record, [&](TableFile file, std::uint64_t offset, const unsigned char* bytes, std::size_t n) {
        if (file != TableFile::Data || offset != 0)
            write(file, offset, bytes, n);
    });
    forEachWrite(record, [&](TableFile file, std::uint64_t offset, const unsigned char* bytes, std::size_t n) {
        if (file == TableFile::Data && offset == 0)
            write(file, offset, bytes, n);
    });
}

void Journal::recover(File& data, File& index, const std::string& table)
{
    unsigned char header[kHeaderSize];
    if (index.read(0, header, sizeof header).bytes != sizeof header || header[kVersionByte] != kVersion
        || std::memcmp(header + kSignature, signatureDigest(), 16) != 0)
        return;
    Fields fields;
    if (!decode(header, fields))
        throw EngineError::make(errc::HeaderCorrupt, table);
    if (!fields.present)
        return;
    const Scan s = scan(index, fields, &data, &index, table);
    if (s.records == 0)
        return;
    // What was replayed must be on the disk before the ring may be written over.
    if (data.sync() != 0 || index.sync() != 0)
        throw EngineError::make(errc::WriteFailed, table);
    fields.firstSeq = s.nextSeq;
    fields.stamp = s.lastCounter;
    encode(fields, header);
    io::writeExact(index, kJnMagic, header + kJnMagic, kJnEnd - kJnMagic, table);
    if (index.sync() != 0)
        throw EngineError::make(errc::WriteFailed, table);
}

void Journal::reset()
{
    fields_ = Fields{};
    fieldsKnown_ = false;
    position_ = 0;
    nextSeq_ = 1;
    lastCounter_ = 0;
    durableSinceCheckpoint_ = false;
    abandon();
}

void Journal::load(File& index)
{
    unsigned char header[kHeaderSize];
    io::readExact(index, 0, header, sizeof header, table_);
    Fields fields;
    if (!decode(header, fields))
        throw EngineError::make(errc::HeaderCorrupt, table_);
    const std::uint32_t seq = nextSeq_;
    reset();
    fields_ = fields;
    remember(header);
    const Scan s = scan(index, fields_, nullptr, nullptr, table_);
    position_ = s.end;
    nextSeq_ = fields_.present ? s.nextSeq : seq;
    lastCounter_ = s.lastCounter;
    // Records left by another process may have been written with syncing.
    durableSinceCheckpoint_ = s.records > 0;
}

void Journal::install(unsigned char* header, std::uint64_t offset, std::uint32_t ringBytes, std::uint32_t dataCounter,
                      bool rebuilding)
{
    abandon();
    fields_.present = true;
    fields_.offset = offset;
    fields_.bytes = ringBytes;
    // Numbers go on from those of any earlier ring, so that none of its records can pass for
    // one of the new ring's.
    fields_.firstSeq = nextSeq_ + 1;
    fields_.stamp = dataCounter;
    fields_.rebuilding = rebuilding;
    nextSeq_ = fields_.firstSeq;
    position_ = 0;
    lastCounter_ = dataCounter;
    durableSinceCheckpoint_ = false;
    encode(fields_, header);
    remember(header);
}

std::uint32_t Journal::ringBytesFor(std::uint32_t recordLength, std::size_t indexes, std::uint32_t pageSize)
{
    // A change writes one slot and the header of the data file, and in each index a leaf and
    // the pages above it, twice that when pages split.
    const std::uint64_t largest = 2 * (std::uint64_t(recordLength) + 1024) + std::uint64_t(indexes) * 16 * pageSize;
    std::uint64_t bytes = std::max<std::uint64_t>(kMinRingBytes, 4 * largest);
    bytes = std::min<std::uint64_t>(bytes, kMaxRingBytes);
    return static_cast<std::uint32_t>((bytes + pageSize - 1) / pageSize * pageSize);
}

void Journal::writeFields(File& index)
{
    unsigned char header[kHeaderSize] = {};
    encode(fields_, header);
    fieldsKnown_ = false;
    io::writeExact(index, kJnMagic, header + kJnMagic, kJnEnd - kJnMagic, table_);
    remember(header);
}

void Journal::remember(const unsigned char* header)
{
    std::memcpy(fieldBytes_, header + kJnMagic, sizeof fieldBytes_);
    fieldsKnown_ = true;
}

void Journal::writeFailed() const
{
    throw EngineError::make(errc::WriteFailed, table_);
}

void Journal::begin(File& index, bool othersWrote)
{
    abandon();
    unsigned char seen[kJnEnd - kJnMagic];
    io::readExact(index, kJnMagic, seen, sizeof seen, table_);
    if (othersWrote || !fieldsKnown_ || std::memcmp(seen, fieldBytes_, sizeof seen) != 0)
        load(index);
    gathering_ = true;
    record_.assign(kJrItems, 0);
    items_ = 0;
}

void Journal::add(TableFile file, std::uint64_t offset, const void* bytes, std::size_t n)
{
    const std::size_t at = record_.size();
    record_.resize(at + padded(kJiBytes + n), 0);
    record_[at + kJiFile] = static_cast<unsigned char>(file);
    put<std::uint32_t>(record_.data(), at + kJiLength, static_cast<std::uint32_t>(n));
    put<std::uint64_t>(record_.data(), at + kJiOffset, offset);
    std::memcpy(record_.data() + at + kJiBytes, bytes, n);
    ++items_;
}

void Journal::abandon()
{
    gathering_ = false;
    record_.clear();
    items_ = 0;
}

bool Journal::commit(File& data, File& index, std::uint32_t dataCounter, bool durable)
{
    gathering_ = false;
    if (items_ == 0) {
        record_.clear();
        return true;
    }
    record_.resize(record_.size() + kJrDigestSize, 0);
    if (record_.size() > fields_.bytes) {
        abandon();
        throw EngineError::make(errc::TableFull, table_);
    }
    if (record_.size() > fields_.bytes - position_)
        checkpoint(data, index);
    put<std::uint32_t>(record_.data(), kJrMagic, kRecordMagic);
    put<std::uint32_t>(record_.data(), kJrSeq, nextSeq_);
    put<std::uint32_t>(record_.data(), kJrLength, static_cast<std::uint32_t>(record_.size()));
    put<std::uint32_t>(record_.data(), kJrCounter, dataCounter);
    const Digest digest = recordDigest(record_.data(), record_.size());
    std::memcpy(record_.data() + record_.size() - kJrDigestSize, digest.data(), digest.size());

    const std::vector<unsigned char>& record = record_;
    items_ = 0;
    io::writeExact(index, fields_.offset + position_, record.data(), record.size(), table_);
    if (durable && index.sync() != 0)
        writeFailed();
    // From here on the change is made: a failure below is mended by the next replay.
    position_ += record.size();
    ++nextSeq_;
    lastCounter_ = dataCounter;
    durableSinceCheckpoint_ = durableSinceCheckpoint_ || durable;
    try {
        apply(record, data, index, table_);
    } catch (const EngineError&) {
        // The change stands in the journal; the next change, or the next opening, puts it in
        // place (and fails in turn if the files still cannot be written).
        return false;
    }
    return true;
}

void Journal::checkpoint(File& data, File& index, bool forceSync)
{
    if (!fields_.present)
        return;
    if ((durableSinceCheckpoint_ || forceSync) && (data.sync() != 0 || index.sync() != 0))
        writeFailed();
    fields_.firstSeq = nextSeq_;
    fields_.stamp = lastCounter_;
    fields_.rebuilding = false;
    writeFields(index);
    position_ = 0;
    durableSinceCheckpoint_ = false;
}

} // namespace fatura::engine
