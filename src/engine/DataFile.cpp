#include "DataFile.h"

#include "Descriptors.h"
#include "EngineError.h"
#include "FileIo.h"

#include <algorithm>
#include <cstring>

namespace fatura::engine {

using namespace format;

void DataFile::writeNew(File& file, const TableDefinition& definition, double now, const std::string& table)
{
    const RecordLayout layout = RecordLayout::of(definition);
    const std::size_t fieldCount = definition.fields.size();
    std::vector<unsigned char> bytes(kHeaderSize + fieldCount * kDescriptorSize, 0);
    unsigned char* h = bytes.data();
    put<std::uint32_t>(h, kChangeCounter, 1);
    h[kVersionByte] = kVersion;
    std::memcpy(h + kSignature, signatureDigest(), 16);
    put<std::uint32_t>(h, kNextSlot, 1);
    put<std::uint16_t>(h, kRecordLength, static_cast<std::uint16_t>(layout.length));
    put<std::uint16_t>(h, kFieldCount, static_cast<std::uint16_t>(fieldCount));
    put<std::uint32_t>(h, kPageSize, definition.indexPageSize);
    put<double>(h, kWriteTime, now - kDateDelta);
    put<std::uint32_t>(h, kLocale, definition.localeId);
    for (std::size_t i = 0; i < fieldCount; ++i) {
        descriptors::encodeField(h + kHeaderSize + i * kDescriptorSize, static_cast<int>(i + 1),
                                 definition.fields[i], layout.fields[i]);
    }
    io::writeExact(file, 0, bytes.data(), bytes.size(), table);
}

void DataFile::invalid() const
{
    throw EngineError::make(errc::NotValid, table_);
}

std::uint64_t DataFile::slotsOffset() const
{
    return kHeaderSize + std::uint64_t(definition_.fields.size()) * kDescriptorSize;
}

void DataFile::load()
{
    io::readExact(*file_, 0, header_.data(), header_.size(), table_);
    checkVersionAndSignature(header_.data(), table_);
    const unsigned fieldCount = get<std::uint16_t>(header_.data(), kFieldCount);
    if (fieldCount > kMaxFields)
        throw EngineError::make(errc::HeaderCorrupt, table_);
    if (header_[kEncrypted] != 0)
        throw EngineError::make(errc::PasswordRequired, table_);
    if (fieldCount == 0 || get<std::uint16_t>(header_.data(), kBlobFieldCount) != 0)
        invalid();
    const std::uint32_t page = pageSize();
    if (page < kMinPageSize || page > kMaxPageSize || page % 512 != 0)
        invalid();

    std::vector<unsigned char> area(std::size_t(fieldCount) * kDescriptorSize);
    io::readExact(*file_, kHeaderSize, area.data(), area.size(), table_);
    definition_ = TableDefinition{};
    definition_.fields.resize(fieldCount);
    std::uint32_t offset = kSlotFields;
    for (unsigned i = 0; i < fieldCount; ++i) {
        FieldDef& def = definition_.fields[i];
        if (!descriptors::decodeField(area.data() + std::size_t(i) * kDescriptorSize, static_cast<int>(i + 1), offset, def))
            invalid();
        if (definition_.fieldNumber(def.name) != static_cast<int>(i + 1))
            invalid(); // the same name twice
        offset += RecordLayout::storedWidth(def.kind, def.size) + 1u;
    }
    definition_.localeId = get<std::uint32_t>(header_.data(), kLocale);
    definition_.indexPageSize = page;
    layout_ = RecordLayout::of(definition_);
    if (layout_.length > kMaxRecordLength || get<std::uint16_t>(header_.data(), kRecordLength) != layout_.length)
        invalid();
    checkCounters();
    dropCache();
}

void DataFile::checkCounters()
{
    const std::uint32_t next = nextSlot();
    if (next == 0 || next - 1 > kMaxSlots || freeHead() >= next || recordCount() > next - 1)
        invalid();
    if (io::sizeOf(*file_, table_) < slotOffset(next))
        throw EngineError::make(errc::ReadFailed, table_);
}

bool DataFile::changedOnDisk()
{
    std::uint32_t counter = 0;
    io::readExact(*file_, kChangeCounter, &counter, sizeof counter, table_);
    return counter != changeCounter();
}

void DataFile::reloadHeader()
{
    std::array<unsigned char, kHeaderSize> fresh{};
    io::readExact(*file_, 0, fresh.data(), fresh.size(), table_);
    checkVersionAndSignature(fresh.data(), table_);
    // The layout cannot change under an open table; if it seems to, the file is not the table
    // that was opened.
    if (std::memcmp(fresh.data() + kRecordLength, header_.data() + kRecordLength, kWriteTime - kRecordLength) != 0)
        invalid();
    header_ = fresh;
    dropCache();
    checkCounters();
}

void DataFile::write(std::uint64_t offset, const void* bytes, std::size_t n)
{
    if (journal_ && journal_->gathering())
        journal_->add(TableFile::Data, offset, bytes, n);
    else
        io::writeExact(*file_, offset, bytes, n, table_);
}

void DataFile::writeHeader(double now)
{
    put32(kChangeCounter, changeCounter() + 1);
    put<double>(header_.data(), kWriteTime, now - kDateDelta);
    write(0, header_.data(), kDataHeaderDynamicEnd);
}

const unsigned char* DataFile::readSlot(std::uint32_t slot)
{
    if (slot == 0 || slot >= nextSlot())
        invalid();
    if (Block* cached = slots_.find(slot))
        return cached->bytes.data();
    std::vector<unsigned char> bytes(recordLength());
    io::readExact(*file_, slotOffset(slot), bytes.data(), bytes.size(), table_);
    return slots_.insert(slot, std::move(bytes)).bytes.data();
}

void DataFile::writeSlot(std::uint32_t slot, const unsigned char* bytes)
{
    // Forget the cached copy first: if the write fails the file's contents are unknown.
    slots_.erase(slot);
    write(slotOffset(slot), bytes, recordLength());
    slots_.insert(slot, std::vector<unsigned char>(bytes, bytes + recordLength()));
}

void DataFile::writeSlotBody(std::uint32_t slot, const unsigned char* bytes)
{
    slots_.erase(slot);
    write(slotOffset(slot) + kSlotRecordId, bytes + kSlotRecordId, recordLength() - kSlotRecordId);
}

void DataFile::writeSlotHead(std::uint32_t slot, std::uint8_t state, std::uint32_t link)
{
    unsigned char head[5];
    head[0] = state;
    put(head, 1, link);
    slots_.erase(slot);
    write(slotOffset(slot), head, sizeof head);
}

void DataFile::readSlots(std::uint32_t first, std::uint32_t count, unsigned char* buffer)
{
    io::readExact(*file_, slotOffset(first), buffer, std::size_t(count) * recordLength(), table_);
}

} // namespace fatura::engine
