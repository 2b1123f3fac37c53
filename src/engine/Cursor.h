#pragma once
// Cursor: one open view of a table. See Engine.h for a usage example.
//
// All cursors of the process on the same table (same Env, folder and name) share one
// in-memory table object and its open files; they see each other's posts at once. Because of
// that sharing, the cursors of one table must be used by one thread at a time. Other
// processes (and cursors opened through another Env) share the table through byte-range
// locks on its data file: Edit locks the record until Post or Cancel, every change holds the
// table write lock, and every reading operation waits for a change in progress to finish and
// then re-reads whatever the change counters of the headers say has moved. Two cursors of
// one process on one table conflict over these locks as two processes do.
//
// Texts crossing this interface (values, field names) are code page 1254 bytes. The folder
// and the table name are file-system names (UTF-8).
//
// Failures throw EngineError or CursorError (EngineError.h). A failed post leaves the cursor in
// edit or insert state with the values set so far; a failed open leaves it closed.

#include "Env.h"
#include "TableDefinition.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace fatura::engine {

enum class CursorState { Closed, Browse, Edit, Insert };

struct OpenOptions {
    Env* env = nullptr;     // Env::defaultEnv() when null; must outlive the cursor
    bool exclusive = false; // refuse every other cursor or process while open
    bool readOnly = false;  // this cursor never changes the table
    // Each post and delete returns only once the table files are on the disk, so that a save
    // survives a power cut. Off, a change survives the program being stopped at any moment but
    // may be lost with the machine; for benchmarks and tests that compare without syncing.
    bool sync = true;
};

// A value to locate: null, a text (code page 1254) or a number.
using Value = std::variant<std::monostate, std::string, double>;

// The data file header's counters, for tools and tests.
struct TableStats {
    std::uint32_t recordCount = 0;
    std::uint32_t nextSlot = 0;      // slots in the file + 1
    std::uint32_t freeSlotHead = 0;  // 0 when no slot is free
    std::int32_t lastRecordId = 0;
    std::int32_t lastAutoIncrement = 0;
    std::uint16_t recordLength = 0;
    std::uint32_t changeCounter = 0;
    std::uint32_t indexPageSize = 0;
    std::uint32_t indexPages = 0;    // pages in the index file
};

class Cursor {
public:
    // objectName goes in front of the cursor-layer errors raised on the cursor's behalf
    // ("tfatura: Cannot modify a read-only dataset"); leave it empty for bare messages.
    explicit Cursor(std::string objectName = {});
    ~Cursor(); // closes; never throws
    Cursor(Cursor&&) noexcept;
    Cursor& operator=(Cursor&&) noexcept;
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    // Opens folder/tableName and moves to the first record. The name loses any folder part and
    // a trailing ".dat" and is cut to 60 characters; the folder gets a trailing '/' when it has
    // none. A missing or unreadable index file is recreated and its primary index rebuilt; a
    // change cut short by a crash is completed or undone first. Opening an open cursor closes
    // it first. With readOnly, when the table is not open in this process already, its files
    // are opened for reading only and nothing is written to them: an index that has to be
    // rebuilt is kept in memory.
    void open(const std::string& folder, const std::string& tableName,
              const OpenOptions& options = {});
    // Drops a pending insert or edit. The last cursor of a table closes its files.
    void close() noexcept;

    bool isOpen() const;
    CursorState state() const;
    bool isReadOnly() const;   // throws on a closed cursor, as do the calls below
    bool isExclusive() const;
    const std::string& objectName() const;
    const std::string& tableName() const; // the bare table name
    const TableDefinition& definition() const;
    TableStats stats();

    // The count in the data file header; a pending insert is not counted.
    std::uint32_t recordCount();
    bool isEmpty();
    bool hasCurrent() const;
    bool bof() const; // a move toward the front found no record
    bool eof() const; // a move toward the end found no record
    std::int32_t currentRecordId() const; // 0 without a current record
    std::uint32_t currentSlot() const;    // 0 without a current record

    // Moves in the order of the primary index. A pending insert or edit is posted first when it
    // changed anything and dropped otherwise. next/prior return false (and stay) at the end.
    void first();
    void last();
    bool next();
    bool prior();
    int moveBy(int distance); // records actually moved, negative toward the front
    // Makes the record with this RecordID current and returns true; false, with the cursor
    // where it was, when no record has it. One B-tree lookup when the primary index is keyed on
    // RecordID alone, else one pass over the data file. A pending insert or edit is handled as
    // by a move.
    bool gotoRecordId(std::int32_t recordId);

    void append();       // insert state with an empty record (field defaults applied)
    void edit();         // re-reads and locks the current record; on an empty table: append()
    void post();
    void cancel();
    void deleteRecord(); // in insert state the same as cancel()

    // Setting values is allowed in edit and insert state only. Text is cut to the field size,
    // trailing blanks are dropped (not for fixed-length text), the field's character case is
    // applied, and an empty result is null. A number set into a text field is stored as its
    // text; a text set into a number field must be a number ('.' as decimal separator).
    void setText(std::string_view field, std::string_view text);
    void setNumber(std::string_view field, double value);
    void setNull(std::string_view field);

    // Reading: null is the empty text and the number 0. Without a current record every field
    // reads as null.
    std::string getText(std::string_view field) const;
    double getNumber(std::string_view field) const;
    bool isNull(std::string_view field) const;
    // The same by field number (from 1), for tools that walk all fields.
    std::string textAt(int fieldNumber) const;
    double numberAt(int fieldNumber) const;
    bool isNullAt(int fieldNumber) const;

    // Finds the first record, in primary index order, whose fields equal the values. With
    // caseInsensitive, texts compare upper-cased by the code page 1254 ANSI mapping; with
    // partialKey, the last field matches when its text begins with the value. On success the
    // record becomes current; otherwise the cursor stays where it was. Uses an index whose
    // leading keys are these fields when there is one, else scans the table once.
    bool locate(const std::vector<std::string>& fields, const std::vector<Value>& values,
                bool caseInsensitive, bool partialKey);
    bool locate(std::string_view field, std::string_view text, bool caseInsensitive,
                bool partialKey);
    // Names the text fields (up to four) that locates without an index are about to search, one
    // at a time, as the find dialog's search boxes do: the first such locate then keeps the first
    // bytes of all of them, and the first search in another box does not read the table again.
    // A hint only; locates find the same records without it. Fields are named as in locate.
    void expectLocates(const std::vector<std::string>& fields);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace fatura::engine
