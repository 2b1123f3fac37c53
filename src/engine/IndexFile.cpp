#include "IndexFile.h"

#include "EngineError.h"
#include "FileIo.h"

#include <algorithm>
#include <cstring>

namespace fatura::engine {

using namespace format;

void IndexFile::writeNew(File& file, const IndexDef& primary, const std::vector<IndexDef>& secondaries,
                         const std::string& table)
{
    std::vector<unsigned char> bytes(kPagesOffset, 0);
    unsigned char* h = bytes.data();
    put<std::uint32_t>(h, kChangeCounter, 1);
    h[kVersionByte] = kVersion;
    std::memcpy(h + kSignature, signatureDigest(), 16);
    put<std::uint32_t>(h, kIxNextPage, 1);
    h[kIxSecondaryCount] = static_cast<unsigned char>(secondaries.size());
    descriptors::encodeIndex(h + kHeaderSize, primary, 0);
    for (std::size_t k = 0; k < secondaries.size(); ++k)
        descriptors::encodeIndex(h + kHeaderSize + (k + 1) * kDescriptorSize, secondaries[k], 0);
    descriptors::encodeFullTextSlot(h + kHeaderSize + kFullTextSlot * kDescriptorSize);
    io::writeExact(file, 0, bytes.data(), bytes.size(), table);
}

void IndexFile::invalid() const
{
    throw EngineError::make(errc::NotValid, table_);
}

void IndexFile::load(int fieldCount, std::uint32_t pageSize)
{
    fieldCount_ = fieldCount;
    pageSize_ = pageSize;
    dropCache();
    readHeaderAndDescriptors();
}

void IndexFile::reload()
{
    dropCache();
    readHeaderAndDescriptors();
}

bool IndexFile::changedOnDisk()
{
    std::uint32_t counter = 0;
    io::readExact(*file_, kChangeCounter, &counter, sizeof counter, table_);
    return counter != get32(kChangeCounter);
}

void IndexFile::readHeaderAndDescriptors()
{
    io::readExact(*file_, 0, header_.data(), header_.size(), table_);
    checkVersionAndSignature(header_.data(), table_);
    const unsigned secondaries = header_[kIxSecondaryCount];
    if (secondaries > kMaxSecondaryIndexes)
        throw EngineError::make(errc::HeaderCorrupt, table_);
    std::vector<unsigned char> area(kIndexAreaSize);
    io::readExact(*file_, kHeaderSize, area.data(), area.size(), table_);
    const std::uint32_t next = nextPage();
    if (next == 0 || freeHead() >= next)
        invalid();
    if (io::sizeOf(*file_, table_) < kPagesOffset + std::uint64_t(next - 1) * pageSize_)
        throw EngineError::make(errc::ReadFailed, table_);
    indexes_.assign(secondaries + 1, {});
    for (unsigned k = 0; k <= secondaries; ++k) {
        if (!descriptors::decodeIndex(area.data() + k * kDescriptorSize, k == 0, fieldCount_, indexes_[k]))
            invalid();
        if (indexes_[k].root >= next)
            invalid();
    }
    rootDirty_.assign(indexes_.size(), false);
    headerDirty_ = false;
}

void IndexFile::setRoot(std::size_t index, std::uint32_t page)
{
    indexes_[index].root = page;
    rootDirty_[index] = true;
}

Block& IndexFile::page(std::uint32_t number)
{
    if (number == 0 || number >= nextPage())
        invalid();
    if (Block* cached = pages_.find(number))
        return *cached;
    std::vector<unsigned char> bytes(pageSize_);
    io::readExact(*file_, kPagesOffset + std::uint64_t(number - 1) * pageSize_, bytes.data(), bytes.size(), table_);
    return pages_.insert(number, std::move(bytes));
}

std::uint32_t IndexFile::allocate(std::uint8_t kind, std::uint8_t index)
{
    std::uint32_t number = freeHead();
    if (number != 0) {
        Block& freed = page(number);
        const std::uint32_t next = get<std::uint32_t>(freed.bytes.data(), kPgLink);
        if (freed.bytes[kPgKind] != kPageFree || next >= nextPage() || next == number)
            invalid();
        put32(kIxFreePageHead, next);
    } else {
        number = nextPage();
        if (number == 0xFFFFFFFFu)
            throw EngineError::make(errc::TableFull, table_);
        put32(kIxNextPage, number + 1);
        pages_.insert(number, std::vector<unsigned char>(pageSize_, 0));
    }
    headerDirty_ = true;
    Block& block = *pages_.find(number);
    std::memset(block.bytes.data(), 0, block.bytes.size());
    block.bytes[kPgKind] = kind;
    block.bytes[kPgIndex] = index;
    markDirty(block, number, 0, pageSize_);
    return number;
}

void IndexFile::release(std::uint32_t number)
{
    Block& block = page(number);
    std::memset(block.bytes.data(), 0, kPgEntries);
    block.bytes[kPgKind] = kPageFree;
    put<std::uint32_t>(block.bytes.data(), kPgLink, freeHead());
    markDirty(block, number, 0, kPgEntries);
    put32(kIxFreePageHead, number);
    headerDirty_ = true;
}

void IndexFile::markDirty(Block& page, std::uint32_t number, std::uint32_t from, std::uint32_t to)
{
    if (!page.dirty())
        dirtyPages_.push_back(number);
    if (from == 0 && to == kPgEntries)
        page.markHeadDirty(to);
    else
        page.markDirty(from, to);
}

void IndexFile::write(std::uint64_t offset, const void* bytes, std::size_t n)
{
    if (journal_ && journal_->gathering())
        journal_->add(TableFile::Index, offset, bytes, n);
    else
        io::writeExact(*file_, offset, bytes, n, table_);
}

void IndexFile::appendRing(std::uint32_t pages, Journal& journal, std::uint32_t dataCounter, bool rebuilding)
{
    const std::uint32_t first = nextPage();
    if (std::uint64_t(first) + pages >= 0xFFFFFFFFu)
        throw EngineError::make(errc::TableFull, table_);
    const std::uint64_t offset = kPagesOffset + std::uint64_t(first - 1) * pageSize_;
    const std::vector<unsigned char> zeros(std::size_t(pageSize_) * 16, 0);
    for (std::uint32_t done = 0; done < pages;) {
        const std::uint32_t n = std::min<std::uint32_t>(16, pages - done);
        io::writeExact(*file_, offset + std::uint64_t(done) * pageSize_, zeros.data(), std::size_t(n) * pageSize_, table_);
        done += n;
    }
    // One write for the count and the ring: a ring the header does not know of lies beyond the
    // pages it counts, where the next opening cuts it off.
    put32(kIxNextPage, first + pages);
    put32(kChangeCounter, get32(kChangeCounter) + 1);
    journal.install(header_.data(), offset, pages * pageSize_, dataCounter, rebuilding);
    io::writeExact(*file_, 0, header_.data(), kJnEnd, table_);
}

void IndexFile::clearPages()
{
    dropCache();
    put32(kIxNextPage, 1);
    put32(kIxFreePageHead, 0);
    for (std::size_t k = 0; k < indexes_.size(); ++k)
        setRoot(k, 0);
    headerDirty_ = true;
}

void IndexFile::flush()
{
    // Pages first, header last, so the header never names a page that is not written.
    std::vector<std::uint32_t> dirty;
    dirty.swap(dirtyPages_);
    for (const std::uint32_t number : dirty) {
        Block* block = pages_.find(number);
        if (!block || !block->dirty())
            continue;
        const std::uint64_t at = kPagesOffset + std::uint64_t(number - 1) * pageSize_;
        std::uint32_t from = block->dirtyFrom;
        std::uint32_t to = block->dirtyTo;
        const std::uint32_t head = block->headBytes;
        block->markClean();
        if (head > 0 && (from >= to || from > head)) {
            write(at, block->bytes.data(), head);
        } else if (head > 0) {
            from = 0;
            to = std::max(to, head);
        }
        if (from < to)
            write(at + from, block->bytes.data() + from, to - from);
    }
    for (std::size_t k = 0; k < indexes_.size(); ++k) {
        if (!rootDirty_[k])
            continue;
        rootDirty_[k] = false;
        const std::uint32_t root = indexes_[k].root;
        write(kHeaderSize + k * kDescriptorSize + kIdRoot, &root, sizeof root);
        headerDirty_ = true;
    }
    if (headerDirty_) {
        headerDirty_ = false;
        put32(kChangeCounter, get32(kChangeCounter) + 1);
        write(0, header_.data(), kIxHeaderDynamicEnd);
    }
}

} // namespace fatura::engine
