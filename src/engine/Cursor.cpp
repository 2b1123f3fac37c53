#include "Cursor.h"

#include "Cp1254.h"
#include "Database.h"
#include "EngineError.h"
#include "Names.h"
#include "Table.h"

#include <cmath>
#include <cstring>
#include <unordered_map>

namespace fatura::engine {

using namespace format;

namespace {

constexpr std::size_t kMaxLocateFields = 128;

// Lets the name cache be searched with a string_view.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

bool toInteger(double value, std::int32_t& out)
{
    if (!(value >= -2147483648.0 && value <= 2147483647.0) || std::trunc(value) != value)
        return false;
    out = static_cast<std::int32_t>(value);
    return true;
}

} // namespace

struct Cursor::Impl {
    std::string objectName;
    std::shared_ptr<Table> table;
    std::string tableName;
    CursorState state = CursorState::Closed;
    bool readOnly = false;
    bool exclusive = false;
    bool sync = true;

    // The current record: its primary index entry (the cursor's place) and the copy read.
    bool has = false;
    RecordBytes entry;
    RecordBytes current;
    bool bof = true;
    bool eof = true;

    // Edit and insert state.
    RecordBytes buffer;
    bool modified = false;
    bool recordLocked = false;
    std::uint32_t lockedSlot = 0;

    // Field numbers by the spelling callers use; setting every field of a record by name would
    // otherwise compare names letter by letter for each one.
    mutable std::unordered_map<std::string, int, NameHash, std::equal_to<>> fieldNumbers;

    [[noreturn]] void fail(std::string_view message) const
    {
        throw CursorError::onBehalfOf(objectName, message);
    }

    Table& open() const
    {
        if (!table)
            fail(msg::ClosedDataset);
        return *table;
    }

    bool editing() const { return state == CursorState::Edit || state == CursorState::Insert; }

    const FieldLayout& field(std::string_view name) const
    {
        Table& t = open();
        auto known = fieldNumbers.find(name);
        int number = known != fieldNumbers.end() ? known->second : 0;
        if (number == 0) {
            number = t.definition().fieldNumber(name);
            if (number == 0)
                fail(fillPattern(msg::FieldNotFound, {cp1254::toUtf8(name)}));
            fieldNumbers.emplace(std::string(name), number);
        }
        return t.layout().fields[static_cast<std::size_t>(number - 1)];
    }

    const FieldLayout& fieldAt(int number) const
    {
        const auto& fields = open().layout().fields;
        if (number < 1 || number > static_cast<int>(fields.size()))
            fail(fillPattern(msg::FieldNotFound, {std::to_string(number)}));
        return fields[static_cast<std::size_t>(number - 1)];
    }

    std::string fieldName(const FieldLayout& f) const
    {
        const auto index = static_cast<std::size_t>(&f - table->layout().fields.data());
        return cp1254::toUtf8(table->definition().fields[index].name);
    }

    [[noreturn]] void invalidValue(const FieldLayout& f, std::string_view value) const
    {
        fail(fillPattern("'%s' is not a valid value for the field '%s'", {cp1254::toUtf8(value), fieldName(f)}));
    }

    // The bytes reads come from: the record being edited, else the current one, else none.
    const unsigned char* source() const
    {
        open();
        if (editing())
            return buffer.data();
        return has ? current.data() : nullptr;
    }

    void storeText(unsigned char* rec, const FieldLayout& f, std::string_view text) const
    {
        if (f.isText()) {
            record::setText(rec, f, text);
            return;
        }
        if (text.find_first_not_of(' ') == std::string_view::npos) {
            record::setNull(rec, f);
            return;
        }
        double value = 0.0;
        if (!record::parseNumber(text, value))
            invalidValue(f, text);
        storeNumber(rec, f, value);
    }

    void storeNumber(unsigned char* rec, const FieldLayout& f, double value) const
    {
        if (f.isText()) {
            record::setText(rec, f, record::formatNumber(value));
        } else if (f.isFloat()) {
            record::setDouble(rec, f, value);
        } else {
            std::int32_t whole = 0;
            if (!toInteger(value, whole))
                invalidValue(f, record::formatNumber(value));
            record::setInteger(rec, f, whole);
        }
    }

    void load(const RecordBytes& primaryEntry)
    {
        const IndexKey& key = table->key(0);
        const unsigned char* bytes = table->record(key.slotOf(primaryEntry.data()), key.recordIdOf(primaryEntry.data()));
        current.assign(bytes, bytes + table->recordLength());
        entry = primaryEntry;
        has = true;
    }

    // Makes the record in this slot image current, placing the cursor by its primary entry.
    void adopt(const RecordBytes& image)
    {
        current = image;
        entry = table->key(0).build(image.data(), get<std::int32_t>(image.data(), kSlotRecordId),
                                    get<std::uint32_t>(image.data(), kSlotLink));
        has = true;
        bof = eof = false;
    }

    void clear()
    {
        has = false;
        entry.clear();
        current.clear();
        bof = eof = true;
    }

    void releaseRecordLock() noexcept
    {
        if (recordLocked) {
            table->locks().unlockRecord(lockedSlot, this);
            recordLocked = false;
        }
    }

    void cancel()
    {
        releaseRecordLock();
        buffer.clear();
        modified = false;
        state = CursorState::Browse;
    }

    void post()
    {
        Table& t = open();
        if (state == CursorState::Insert) {
            RecordBytes image = buffer;
            t.insert(image, sync);
            adopt(image);
            cancel();
        } else if (state == CursorState::Edit) {
            RecordBytes image = buffer;
            Digest expected;
            std::memcpy(expected.data(), current.data() + kSlotHash, expected.size());
            t.update(expected, image, this, sync);
            adopt(image);
            cancel();
        }
    }

    // What moving, deleting and locating do first with a pending insert or edit.
    void leaveEditing()
    {
        if (!editing())
            return;
        if (modified)
            post();
        else
            cancel();
    }

    void first()
    {
        Table& t = open();
        leaveEditing();
        Table::ReadScope reading(t);
        RecordBytes e;
        if (t.primary().firstEntry(e)) {
            load(e);
            bof = true;
            eof = false;
        } else {
            clear();
        }
    }

    void last()
    {
        Table& t = open();
        leaveEditing();
        Table::ReadScope reading(t);
        RecordBytes e;
        if (t.primary().lastEntry(e)) {
            load(e);
            bof = false;
            eof = true;
        } else {
            clear();
        }
    }

    bool step(bool forward)
    {
        Table& t = open();
        leaveEditing();
        if (!has) {
            forward ? first() : last();
            return has;
        }
        Table::ReadScope reading(t);
        RecordBytes e;
        const bool moved = forward ? t.primary().entryAfter(entry.data(), e) : t.primary().entryBefore(entry.data(), e);
        if (moved) {
            load(e);
            bof = eof = false;
        } else {
            (forward ? eof : bof) = true;
        }
        return moved;
    }

    // Walks the index and reads only the record it stops at. Without a current record the
    // first step goes to the first (or last) record.
    int moveBy(int distance)
    {
        Table& t = open();
        leaveEditing();
        if (distance == 0)
            return 0;
        const bool forward = distance > 0;
        const int wanted = forward ? distance : -distance;
        int moved = 0;
        if (!has) {
            forward ? first() : last();
            if (!has)
                return 0;
            moved = 1;
        }
        Table::ReadScope reading(t);
        BTree& tree = t.primary();
        const IndexKey& key = t.key(0);
        const RecordBytes here = entry;
        BTree::Iterator it = tree.lowerBound([&](const unsigned char* e) {
            const int r = key.compare(e, here.data());
            return (forward ? r <= 0 : r < 0) ? -1 : 1;
        });
        if (!forward)
            it.valid() ? tree.prev(it) : void(it = tree.last());
        RecordBytes landed;
        int walked = 0;
        for (; it.valid() && moved + walked < wanted; forward ? tree.next(it) : tree.prev(it)) {
            const unsigned char* e = tree.entry(it);
            landed.assign(e, e + key.entrySize());
            ++walked;
        }
        if (walked > 0) {
            // As next() and prior() do, refuse to walk against the order of a damaged page.
            const int r = key.compare(landed.data(), here.data());
            if (forward ? r <= 0 : r >= 0)
                t.indexFile().invalid();
            load(landed);
            bof = eof = false;
        }
        if (moved + walked < wanted)
            (forward ? eof : bof) = true;
        moved += walked;
        return forward ? moved : -moved;
    }

    void append()
    {
        Table& t = open();
        if (readOnly)
            fail(msg::ReadOnlyDataset);
        leaveEditing();
        buffer.assign(t.recordLength(), 0);
        const auto& defs = t.definition().fields;
        for (std::size_t i = 0; i < defs.size(); ++i) {
            const FieldLayout& f = t.layout().fields[i];
            if (defs[i].defaultValue.empty() || f.kind == FieldKind::AutoIncrement)
                continue;
            try {
                storeText(buffer.data(), f, defs[i].defaultValue);
            } catch (const CursorError&) {
                // A default the field cannot hold leaves the field null.
            }
        }
        modified = false;
        state = CursorState::Insert;
    }

    void edit()
    {
        Table& t = open();
        if (readOnly)
            fail(msg::ReadOnlyDataset);
        if (editing())
            return;
        if (!has && (first(), !has)) {
            append();
            return;
        }
        // The record lock first, the reading after it: a reader waiting for a record lock
        // would keep a writer that holds the table from finishing.
        const auto slot = get<std::uint32_t>(current.data(), kSlotLink);
        t.locks().lockRecord(slot, this);
        recordLocked = true;
        lockedSlot = slot;
        bool empty = false;
        try {
            Table::ReadScope reading(t);
            empty = t.recordCount() == 0;
            const unsigned char* stored = empty ? nullptr : t.peek(slot);
            if (!empty
                && (!stored || stored[kSlotState] != kSlotInUse
                    || std::memcmp(stored + kSlotRecordId, current.data() + kSlotRecordId, 4 + 16) != 0))
                throw EngineError::make(errc::RecordChanged, tableName);
        } catch (...) {
            releaseRecordLock();
            throw;
        }
        if (empty) {
            releaseRecordLock();
            append();
            return;
        }
        buffer = current;
        modified = false;
        state = CursorState::Edit;
    }

    void deleteRecord()
    {
        Table& t = open();
        if (state == CursorState::Insert) {
            cancel();
            return;
        }
        leaveEditing();
        if (t.recordCount() == 0)
            fail(msg::EmptyDataset);
        if (readOnly)
            throw EngineError::make(errc::AccessDenied, tableName);
        if (!has) {
            first();
            if (!has)
                fail(msg::EmptyDataset);
        }
        Digest expected;
        std::memcpy(expected.data(), current.data() + kSlotHash, expected.size());
        t.erase(get<std::uint32_t>(current.data(), kSlotLink), get<std::int32_t>(current.data(), kSlotRecordId),
                expected, !exclusive, sync);
        Table::ReadScope reading(t);
        const RecordBytes deleted = entry;
        RecordBytes e;
        if (t.primary().entryAfter(deleted.data(), e) || t.primary().entryBefore(deleted.data(), e)) {
            load(e);
            bof = eof = false;
        } else {
            clear();
        }
    }

    bool gotoRecordId(std::int32_t recordId)
    {
        Table& t = open();
        leaveEditing();
        Table::ReadScope reading(t);
        const IndexKey& key = t.key(0);
        if (key.parts().size() == 1 && key.parts()[0].recordId) {
            const int direction = key.parts()[0].descending ? -1 : 1;
            BTree& tree = t.primary();
            BTree::Iterator it = tree.lowerBound([&](const unsigned char* e) {
                const std::int32_t id = key.recordIdOf(e);
                return direction * (id < recordId ? -1 : (id == recordId ? 0 : 1));
            });
            if (!it.valid())
                return false;
            const unsigned char* e = tree.entry(it);
            if (key.recordIdOf(e) != recordId)
                return false;
            load(RecordBytes(e, e + key.entrySize()));
            bof = eof = false;
            return true;
        }
        RecordBytes image;
        t.scan([&](std::uint32_t, const unsigned char* bytes) {
            if (image.empty() && get<std::int32_t>(bytes, kSlotRecordId) == recordId)
                image.assign(bytes, bytes + t.recordLength());
        });
        if (image.empty())
            return false;
        adopt(image);
        return true;
    }

    bool locate(const std::vector<std::string>& names, const std::vector<Value>& values, bool caseInsensitive,
                bool partialKey);

    void expectLocates(const std::vector<std::string>& names)
    {
        Table& t = open();
        std::vector<const FieldLayout*> fields;
        for (const std::string& name : names) {
            const FieldLayout& f = field(name);
            if (f.isText())
                fields.push_back(&f);
        }
        t.expectLocates(fields);
    }
};

bool Cursor::Impl::locate(const std::vector<std::string>& names, const std::vector<Value>& values,
                          bool caseInsensitive, bool partialKey)
{
    Table& t = open();
    leaveEditing();
    if (names.empty())
        throw CursorError(std::string(msg::NoLocateFields));
    if (names.size() > kMaxLocateFields)
        throw CursorError(std::string(msg::TooManyLocateFields));

    std::vector<const FieldLayout*> fields;
    std::vector<int> numbers;
    for (const std::string& name : names) {
        fields.push_back(&field(name));
        numbers.push_back(t.definition().fieldNumber(name));
    }
    RecordBytes scratch(t.recordLength(), 0);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const Value& v = i < values.size() ? values[i] : Value{};
        if (const auto* text = std::get_if<std::string>(&v))
            storeText(scratch.data(), *fields[i], *text);
        else if (const auto* number = std::get_if<double>(&v))
            storeNumber(scratch.data(), *fields[i], *number);
        else
            record::setNull(scratch.data(), *fields[i]);
    }
    const FieldLayout& lastField = *fields.back();
    std::size_t partialLength = 0;
    if (partialKey && lastField.isText())
        partialLength = record::text(scratch.data(), lastField).size();

    Table::ReadScope reading(t);
    bool anyText = false;
    for (const FieldLayout* f : fields)
        anyText = anyText || f->isText();

    for (std::size_t k = 0; k < t.indexCount(); ++k) {
        const IndexKey& key = t.key(k);
        const IndexDef& def = key.definition();
        if (def.keyFields.size() < numbers.size()
            || !std::equal(numbers.begin(), numbers.end(), def.keyFields.begin())
            || (anyText && def.caseInsensitive != caseInsensitive))
            continue;
        const RecordBytes search = key.build(scratch.data(), 0, 0);
        const std::size_t count = numbers.size();
        BTree& tree = t.index(k);
        auto it = tree.lowerBound([&](const unsigned char* e) {
            return key.comparePrefix(e, search.data(), count, partialLength);
        });
        if (!it.valid() || key.comparePrefix(tree.entry(it), search.data(), count, partialLength) != 0)
            return false;
        const unsigned char* found = tree.entry(it);
        const unsigned char* bytes = t.record(key.slotOf(found), key.recordIdOf(found));
        // An index entry left behind by a change cut short may name a record that no longer
        // has the key; then the records themselves are searched.
        bool matches = true;
        for (std::size_t i = 0; i < fields.size() && matches; ++i) {
            const std::size_t partial = i + 1 == fields.size() ? partialLength : 0;
            matches = compareFieldValues(bytes + fields[i]->offset, scratch.data() + fields[i]->offset, *fields[i],
                                         caseInsensitive, partial) == 0;
        }
        if (!matches)
            break;
        adopt(RecordBytes(bytes, bytes + t.recordLength()));
        return true;
    }

    // No index leads with these fields: the table is searched slot by slot.
    RecordBytes image;
    if (!t.findByScan(fields, scratch.data(), caseInsensitive, partialLength, image))
        return false;
    adopt(image);
    return true;
}

Cursor::Cursor(std::string objectName) : d_(std::make_unique<Impl>())
{
    d_->objectName = std::move(objectName);
}

Cursor::~Cursor()
{
    if (d_)
        close();
}

Cursor::Cursor(Cursor&&) noexcept = default;
Cursor& Cursor::operator=(Cursor&& other) noexcept
{
    if (this != &other) {
        if (d_)
            close();
        d_ = std::move(other.d_);
    }
    return *this;
}

void Cursor::open(const std::string& folder, const std::string& tableName, const OpenOptions& options)
{
    close();
    const std::string name = names::bareTableName(tableName);
    if (name.empty())
        throw CursorError(std::string(msg::MissingTableName));
    Env& env = options.env ? *options.env : *Env::defaultEnv();
    std::shared_ptr<Database> database = Database::get(env, names::folderPath(folder));
    std::shared_ptr<Table> table = database->table(name, options.exclusive, options.readOnly);
    d_->table = std::move(table);
    d_->tableName = name;
    d_->readOnly = options.readOnly || d_->table->readOnly();
    d_->exclusive = options.exclusive;
    d_->sync = options.sync;
    d_->state = CursorState::Browse;
    try {
        d_->first();
    } catch (...) {
        close();
        throw;
    }
}

void Cursor::close() noexcept
{
    Impl& d = *d_;
    if (d.table)
        d.releaseRecordLock();
    d.table.reset();
    d.fieldNumbers.clear();
    d.state = CursorState::Closed;
    d.buffer.clear();
    d.modified = false;
    d.clear();
}

bool Cursor::isOpen() const { return d_->table != nullptr; }
CursorState Cursor::state() const { return d_->state; }
const std::string& Cursor::objectName() const { return d_->objectName; }

bool Cursor::isReadOnly() const
{
    d_->open();
    return d_->readOnly;
}

bool Cursor::isExclusive() const
{
    d_->open();
    return d_->exclusive;
}

const std::string& Cursor::tableName() const
{
    d_->open();
    return d_->tableName;
}

const TableDefinition& Cursor::definition() const { return d_->open().definition(); }
TableStats Cursor::stats() { return d_->open().stats(); }
std::uint32_t Cursor::recordCount() { return d_->open().recordCount(); }
bool Cursor::isEmpty() { return recordCount() == 0; }

bool Cursor::hasCurrent() const
{
    d_->open();
    return d_->has;
}

bool Cursor::bof() const
{
    d_->open();
    return d_->bof;
}

bool Cursor::eof() const
{
    d_->open();
    return d_->eof;
}

std::int32_t Cursor::currentRecordId() const
{
    d_->open();
    return d_->has ? get<std::int32_t>(d_->current.data(), kSlotRecordId) : 0;
}

std::uint32_t Cursor::currentSlot() const
{
    d_->open();
    return d_->has ? get<std::uint32_t>(d_->current.data(), kSlotLink) : 0;
}

void Cursor::first() { d_->first(); }
void Cursor::last() { d_->last(); }
bool Cursor::next() { return d_->step(true); }
bool Cursor::prior() { return d_->step(false); }

bool Cursor::gotoRecordId(std::int32_t recordId) { return d_->gotoRecordId(recordId); }

int Cursor::moveBy(int distance)
{
    return d_->moveBy(distance);
}

void Cursor::append() { d_->append(); }
void Cursor::edit() { d_->edit(); }
void Cursor::post() { d_->post(); }

void Cursor::cancel()
{
    d_->open();
    if (d_->editing())
        d_->cancel();
}

void Cursor::deleteRecord() { d_->deleteRecord(); }

void Cursor::setText(std::string_view field, std::string_view text)
{
    const FieldLayout& f = d_->field(field);
    if (!d_->editing())
        throw CursorError(std::string(msg::NotEditing));
    d_->storeText(d_->buffer.data(), f, text);
    d_->modified = true;
}

void Cursor::setNumber(std::string_view field, double value)
{
    const FieldLayout& f = d_->field(field);
    if (!d_->editing())
        throw CursorError(std::string(msg::NotEditing));
    d_->storeNumber(d_->buffer.data(), f, value);
    d_->modified = true;
}

void Cursor::setNull(std::string_view field)
{
    const FieldLayout& f = d_->field(field);
    if (!d_->editing())
        throw CursorError(std::string(msg::NotEditing));
    record::setNull(d_->buffer.data(), f);
    d_->modified = true;
}

std::string Cursor::getText(std::string_view field) const
{
    const FieldLayout& f = d_->field(field);
    const unsigned char* rec = d_->source();
    return rec ? record::text(rec, f) : std::string();
}

double Cursor::getNumber(std::string_view field) const
{
    const FieldLayout& f = d_->field(field);
    const unsigned char* rec = d_->source();
    if (!rec || record::isNull(rec, f))
        return 0.0;
    if (f.isText()) {
        double value = 0.0;
        const std::string text = record::text(rec, f);
        if (!record::parseNumber(text, value))
            d_->invalidValue(f, text);
        return value;
    }
    return record::number(rec, f);
}

bool Cursor::isNull(std::string_view field) const
{
    const FieldLayout& f = d_->field(field);
    const unsigned char* rec = d_->source();
    return !rec || record::isNull(rec, f);
}

std::string Cursor::textAt(int fieldNumber) const
{
    const FieldLayout& f = d_->fieldAt(fieldNumber);
    const unsigned char* rec = d_->source();
    return rec ? record::text(rec, f) : std::string();
}

double Cursor::numberAt(int fieldNumber) const
{
    const FieldLayout& f = d_->fieldAt(fieldNumber);
    const unsigned char* rec = d_->source();
    return rec && !f.isText() ? record::number(rec, f) : 0.0;
}

bool Cursor::isNullAt(int fieldNumber) const
{
    const FieldLayout& f = d_->fieldAt(fieldNumber);
    const unsigned char* rec = d_->source();
    return !rec || record::isNull(rec, f);
}

bool Cursor::locate(const std::vector<std::string>& fields, const std::vector<Value>& values, bool caseInsensitive,
                    bool partialKey)
{
    return d_->locate(fields, values, caseInsensitive, partialKey);
}

void Cursor::expectLocates(const std::vector<std::string>& fields)
{
    d_->expectLocates(fields);
}

bool Cursor::locate(std::string_view field, std::string_view text, bool caseInsensitive, bool partialKey)
{
    return d_->locate({std::string(field)}, {Value(std::string(text))}, caseInsensitive, partialKey);
}

} // namespace fatura::engine
