#include "TableTools.h"

#include "Cp1254.h"
#include "EngineError.h"
#include "FileIo.h"
#include "Names.h"
#include "Table.h"

#include <algorithm>
#include <set>

namespace fatura::engine {

using namespace format;

namespace {

// Enough to see what is wrong; a thoroughly damaged file would otherwise give one fault per byte.
constexpr std::size_t kMaxFaults = 1000;
constexpr int kMaxDepth = 24;

class Checker {
public:
    Checker(Table& table, std::vector<std::string>& faults) : table_(table), faults_(faults) {}

    void run()
    {
        checkDataFileLength();
        checkSlots();
        checkFreeChain();
        checkIndexFile();
    }

private:
    void fault(std::string text)
    {
        if (faults_.size() < kMaxFaults)
            faults_.push_back(std::move(text));
    }

    static std::string n(std::uint64_t value) { return std::to_string(value); }

    void checkDataFileLength()
    {
        DataFile& data = table_.dataFile();
        const std::uint64_t expected = data.slotOffset(data.nextSlot());
        const std::uint64_t actual = io::sizeOf(data.file(), table_.name());
        if (actual != expected)
            fault("data file is " + n(actual) + " bytes long, its header calls for " + n(expected));
    }

    void checkValues(std::uint32_t slot, const unsigned char* rec)
    {
        const RecordLayout& layout = table_.layout();
        for (std::size_t i = 0; i < layout.fields.size(); ++i) {
            const FieldLayout& f = layout.fields[i];
            const std::string where = "slot " + n(slot) + ", field " + cp1254::toUtf8(table_.definition().fields[i].name) + ": ";
            const unsigned char flag = rec[f.offset];
            const unsigned char* value = rec + f.offset + 1;
            if (flag > 1) {
                fault(where + "null flag " + n(flag));
                continue;
            }
            if (flag == 0) {
                if (std::any_of(value, value + f.width, [](unsigned char c) { return c != 0; }))
                    fault(where + "null but its bytes are not zero");
                continue;
            }
            if (!f.isText())
                continue;
            const auto* end = std::find(value, value + f.width, 0);
            const std::size_t length = static_cast<std::size_t>(end - value);
            if (length == f.width)
                fault(where + "text without a terminating zero byte");
            else if (length == 0)
                fault(where + "empty text that is not null");
            else if (std::any_of(end, value + f.width, [](unsigned char c) { return c != 0; }))
                fault(where + "bytes after the text are not zero");
            else if (f.kind == FieldKind::Text && value[length - 1] == ' ')
                fault(where + "text ends in a blank");
        }
    }

    void checkSlots()
    {
        DataFile& data = table_.dataFile();
        const std::uint32_t length = data.recordLength();
        const std::uint32_t end = data.nextSlot();
        const std::uint32_t run = std::max<std::uint32_t>(1, (256u << 10) / length);
        std::vector<unsigned char> buffer(std::size_t(run) * length);
        std::set<std::int32_t> ids;
        std::uint32_t inUse = 0;
        for (std::uint32_t first = 1; first < end; first += run) {
            const std::uint32_t count = std::min(run, end - first);
            data.readSlots(first, count, buffer.data());
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::uint32_t slot = first + i;
                const unsigned char* rec = buffer.data() + std::size_t(i) * length;
                if (rec[kSlotState] == kSlotDeleted) {
                    deleted_.insert(slot);
                    continue;
                }
                if (rec[kSlotState] != kSlotInUse) {
                    fault("slot " + n(slot) + ": state " + n(rec[kSlotState]));
                    continue;
                }
                ++inUse;
                if (get<std::uint32_t>(rec, kSlotLink) != slot)
                    fault("slot " + n(slot) + ": in use but holds the number " + n(get<std::uint32_t>(rec, kSlotLink)));
                const auto id = get<std::int32_t>(rec, kSlotRecordId);
                if (id <= 0)
                    fault("slot " + n(slot) + ": RecordID " + std::to_string(id));
                if (!ids.insert(id).second)
                    fault("slot " + n(slot) + ": RecordID " + std::to_string(id) + " is used twice");
                const Digest digest = record::hash(rec, length);
                if (!std::equal(digest.begin(), digest.end(), rec + kSlotHash))
                    fault("slot " + n(slot) + ": RecordHash does not match the record");
                checkValues(slot, rec);
                for (std::size_t k = 0; k < table_.indexCount(); ++k) {
                    expected_.resize(table_.indexCount());
                    const IndexKey& key = table_.key(k);
                    std::vector<unsigned char>& flat = expected_[k];
                    flat.resize(flat.size() + key.entrySize());
                    key.build(rec, id, slot, flat.data() + flat.size() - key.entrySize());
                }
            }
        }
        if (inUse != data.recordCount())
            fault("header record count " + n(data.recordCount()) + ", records in use " + n(inUse));
    }

    void checkFreeChain()
    {
        DataFile& data = table_.dataFile();
        std::set<std::uint32_t> chained;
        std::uint32_t slot = data.freeHead();
        while (slot != 0) {
            if (slot >= data.nextSlot()) {
                fault("free slot chain: slot " + n(slot) + " is outside the file");
                break;
            }
            if (!deleted_.count(slot)) {
                fault("free slot chain: slot " + n(slot) + " is not deleted");
                break;
            }
            if (!chained.insert(slot).second) {
                fault("free slot chain: slot " + n(slot) + " comes round again");
                break;
            }
            unsigned char head[5];
            io::readExact(data.file(), data.slotOffset(slot), head, sizeof head, table_.name());
            slot = get<std::uint32_t>(head, kSlotLink);
        }
        for (const std::uint32_t d : deleted_) {
            if (!chained.count(d))
                fault("deleted slot " + n(d) + " is not in the free slot chain");
        }
    }

    void checkIndexFile()
    {
        IndexFile& index = table_.indexFile();
        const std::uint64_t expected = kPagesOffset + std::uint64_t(index.nextPage() - 1) * index.pageSize();
        const std::uint64_t actual = io::sizeOf(index.file(), table_.name());
        if (actual != expected)
            fault("index file is " + n(actual) + " bytes long, its header calls for " + n(expected));
        owner_.assign(index.nextPage(), 0);
        expected_.resize(table_.indexCount());
        for (std::size_t k = 0; k < table_.indexCount(); ++k)
            checkTree(k);
        checkFreePages();
        checkJournalRing();
        for (std::uint32_t page = 1; page < index.nextPage(); ++page) {
            if (owner_[page] == 0)
                fault("index page " + n(page) + " is neither in an index nor free");
        }
    }

    bool readPage(std::uint32_t page, std::vector<unsigned char>& bytes)
    {
        IndexFile& index = table_.indexFile();
        if (page == 0 || page >= index.nextPage())
            return false;
        bytes.resize(index.pageSize());
        io::readExact(index.file(), kPagesOffset + std::uint64_t(page - 1) * index.pageSize(), bytes.data(),
                      bytes.size(), table_.name());
        return true;
    }

    bool claim(std::uint32_t page, int owner, const std::string& what)
    {
        if (page == 0 || page >= owner_.size()) {
            fault(what + ": page " + n(page) + " is outside the file");
            return false;
        }
        if (owner_[page] != 0) {
            fault(what + ": page " + n(page) + " is used twice");
            return false;
        }
        owner_[page] = owner;
        return true;
    }

    struct Walk {
        std::size_t k;
        const IndexKey* key;
        std::string label;
        std::uint32_t leafCapacity;
        std::uint32_t interiorCapacity;
        int leafDepth = -1;
        std::vector<unsigned char> entries;
    };

    // low and high bound the entries the page may hold: low <= e < high (null: unbounded).
    void walk(Walk& w, std::uint32_t page, int depth, const unsigned char* low, const unsigned char* high)
    {
        if (depth >= kMaxDepth) {
            fault(w.label + ": deeper than " + n(kMaxDepth) + " levels");
            return;
        }
        if (!claim(page, static_cast<int>(w.k) + 1, w.label))
            return;
        std::vector<unsigned char> bytes;
        readPage(page, bytes);
        const std::string where = w.label + ", page " + n(page) + ": ";
        const unsigned char kind = bytes[kPgKind];
        const std::uint32_t count = get<std::uint16_t>(bytes.data(), kPgCount);
        if (kind != kPageLeaf && kind != kPageInterior) {
            fault(where + "kind " + n(kind));
            return;
        }
        if (bytes[kPgIndex] != w.k)
            fault(where + "belongs to index slot " + n(bytes[kPgIndex]));
        if (count > (kind == kPageLeaf ? w.leafCapacity : w.interiorCapacity)) {
            fault(where + "holds " + n(count) + " entries, more than fit");
            return;
        }
        const IndexKey& key = *w.key;
        const std::uint32_t size = key.entrySize();
        auto inRange = [&](const unsigned char* e) {
            return (!low || key.compare(e, low) >= 0) && (!high || key.compare(e, high) < 0);
        };
        if (kind == kPageLeaf) {
            if (w.leafDepth < 0)
                w.leafDepth = depth;
            else if (w.leafDepth != depth)
                fault(where + "leaf at depth " + n(depth) + ", others at " + n(w.leafDepth));
            if (count == 0 && depth > 0)
                fault(where + "empty leaf");
            for (std::uint32_t i = 0; i < count; ++i) {
                const unsigned char* e = bytes.data() + kPgEntries + i * size;
                if (!inRange(e))
                    fault(where + "entry " + n(i) + " is out of its parent's range");
                if (i > 0 && key.compare(e - size, e) >= 0)
                    fault(where + "entry " + n(i) + " is out of order");
                w.entries.insert(w.entries.end(), e, e + size);
            }
            return;
        }
        const std::uint32_t pair = size + 4;
        for (std::uint32_t i = 0; i < count; ++i) {
            const unsigned char* s = bytes.data() + kPgEntries + i * pair;
            if (!inRange(s))
                fault(where + "separator " + n(i) + " is out of its parent's range");
            if (i > 0 && key.compare(s - pair, s) >= 0)
                fault(where + "separator " + n(i) + " is out of order");
        }
        for (std::uint32_t i = 0; i <= count; ++i) {
            const std::uint32_t child = i == 0 ? get<std::uint32_t>(bytes.data(), kPgLink)
                                               : get<std::uint32_t>(bytes.data(), kPgEntries + (i - 1) * pair + size);
            const unsigned char* from = i == 0 ? low : bytes.data() + kPgEntries + (i - 1) * pair;
            const unsigned char* to = i == count ? high : bytes.data() + kPgEntries + i * pair;
            walk(w, child, depth + 1, from, to);
        }
    }

    void checkTree(std::size_t k)
    {
        IndexFile& index = table_.indexFile();
        const IndexKey& key = table_.key(k);
        const std::string name = key.definition().name;
        Walk w;
        w.k = k;
        w.key = &key;
        w.label = k == 0 ? std::string("primary index") : "index " + cp1254::toUtf8(name);
        w.leafCapacity = (index.pageSize() - kPgEntries) / key.entrySize();
        w.interiorCapacity = (index.pageSize() - kPgEntries) / (key.entrySize() + 4);
        if (const std::uint32_t root = index.root(k))
            walk(w, root, 0, nullptr, nullptr);

        // The entries against those the records in use call for.
        const std::uint32_t size = key.entrySize();
        auto sorted = [&](std::vector<unsigned char>& flat) {
            std::vector<RecordBytes> list;
            for (std::size_t at = 0; at + size <= flat.size(); at += size)
                list.emplace_back(flat.begin() + at, flat.begin() + at + size);
            std::sort(list.begin(), list.end(),
                      [&](const RecordBytes& a, const RecordBytes& b) { return key.compare(a.data(), b.data()) < 0; });
            return list;
        };
        const std::vector<RecordBytes> actual = sorted(w.entries);
        const std::vector<RecordBytes> wanted = sorted(expected_[k]);
        std::size_t a = 0;
        std::size_t b = 0;
        while (a < actual.size() || b < wanted.size()) {
            const int order = a == actual.size() ? 1 : b == wanted.size() ? -1 : key.compare(actual[a].data(), wanted[b].data());
            if (order == 0) {
                ++a;
                ++b;
            } else if (order < 0) {
                fault(w.label + ": entry for slot " + n(key.slotOf(actual[a].data())) + " (RecordID "
                      + std::to_string(key.recordIdOf(actual[a].data())) + ") matches no record");
                ++a;
            } else {
                fault(w.label + ": no entry for the record in slot " + n(key.slotOf(wanted[b].data())));
                ++b;
            }
        }
    }

    // The journal ring's pages belong to it alone; they must lie within the file.
    void checkJournalRing()
    {
        const Journal& journal = table_.journal();
        if (!journal.present())
            return;
        IndexFile& index = table_.indexFile();
        const std::uint64_t offset = journal.ringOffset();
        if ((offset - kPagesOffset) % index.pageSize() != 0 || journal.ringBytes() % index.pageSize() != 0) {
            fault("journal ring is not a run of whole pages");
            return;
        }
        const std::uint64_t first = (offset - kPagesOffset) / index.pageSize() + 1;
        const std::uint64_t pages = journal.ringBytes() / index.pageSize();
        for (std::uint64_t page = first; page < first + pages; ++page) {
            if (!claim(page < owner_.size() ? static_cast<std::uint32_t>(page) : 0, -2, "journal ring"))
                break;
        }
        if (journal.expectedDataCounter() != table_.dataFile().changeCounter())
            fault("the index and the journal stand for the data file's change " + n(journal.expectedDataCounter())
                  + ", the data file is at change " + n(table_.dataFile().changeCounter()));
    }

    void checkFreePages()
    {
        IndexFile& index = table_.indexFile();
        std::uint32_t page = index.freeHead();
        std::vector<unsigned char> bytes;
        while (page != 0) {
            if (!claim(page, -1, "free index page chain"))
                break;
            readPage(page, bytes);
            if (bytes[kPgKind] != kPageFree) {
                fault("free index page chain: page " + n(page) + " is not free");
                break;
            }
            page = get<std::uint32_t>(bytes.data(), kPgLink);
        }
    }

    Table& table_;
    std::vector<std::string>& faults_;
    std::set<std::uint32_t> deleted_;
    std::vector<std::vector<unsigned char>> expected_;
    std::vector<int> owner_;
};

} // namespace

std::vector<std::string> verifyTable(const std::string& folder, const std::string& tableName, Env* env)
{
    std::vector<std::string> faults;
    Env& e = env ? *env : *Env::defaultEnv();
    const std::string name = names::bareTableName(tableName);
    if (name.empty())
        return {std::string(msg::MissingTableName)};
    try {
        std::shared_ptr<Table> table = Table::open(e, nullptr, names::folderPath(folder), name, false);
        // Other processes may be changing the table: check one state of it, not a mixture.
        Table::ReadScope reading(*table);
        Checker(*table, faults).run();
    } catch (const EngineError& error) {
        faults.emplace_back(error.what());
    }
    return faults;
}

} // namespace fatura::engine
