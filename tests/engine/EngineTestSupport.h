#pragma once
// Small fixtures shared by the engine tests: an in-memory folder with a table in it, raw access
// to the bytes of its files, and a check that a call fails with a given engine error.

#include "Engine.h"
#include "InvoiceSchema.h"
#include "MemEnv.h"

#include <QTest>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

namespace enginetest {

using namespace fatura::engine;
using fatura::archive::invoiceTableDefinition;
using fatura::archive::kInvoiceTableName;

inline const std::string kFolder = "/db/";

inline FieldDef textField(const std::string& name, std::uint16_t size)
{
    FieldDef f;
    f.name = name;
    f.kind = FieldKind::Text;
    f.size = size;
    return f;
}

inline FieldDef numberField(const std::string& name, FieldKind kind = FieldKind::Float)
{
    FieldDef f;
    f.name = name;
    f.kind = kind;
    return f;
}

// ID auto-increment, AD text 20, NOT text 75, TUTAR number: a small table like the invoice.
inline TableDefinition smallDefinition()
{
    TableDefinition d;
    d.fields = {numberField("ID", FieldKind::AutoIncrement), textField("AD", 20), textField("NOT", 75),
                numberField("TUTAR")};
    return d;
}

template <typename T>
T readAt(const std::string& bytes, std::size_t offset)
{
    T v{};
    if (offset + sizeof v <= bytes.size())
        std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
}

template <typename T>
void writeAt(std::string& bytes, std::size_t offset, T v)
{
    std::memcpy(bytes.data() + offset, &v, sizeof v);
}

// Runs f and returns the engine error code it threw; 0 when it threw nothing, and a failed
// check when it threw anything else.
inline unsigned engineErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EngineError& e) {
        return e.code();
    } catch (const std::exception& e) {
        qWarning("unexpected exception: %s", e.what());
        return 1;
    }
    return 0;
}

inline std::string cursorErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const CursorError& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("unexpected: ") + e.what();
    }
    return {};
}

// A MemEnv folder with one table made from a definition, and a cursor that opens it.
struct MemTable {
    MemEnv env;
    std::string name;

    explicit MemTable(const TableDefinition& definition = smallDefinition(), std::string tableName = "fatura")
        : name(std::move(tableName))
    {
        createTable(kFolder, name, definition, &env);
    }

    std::string dat() const { return kFolder + name + ".dat"; }
    std::string idx() const { return kFolder + name + ".idx"; }
    std::string datBytes() const { return env.contents(dat()); }
    std::string idxBytes() const { return env.contents(idx()); }

    void open(Cursor& cursor, OpenOptions options = {})
    {
        options.env = &env;
        cursor.open(kFolder, name, options);
    }

    // Appends one record with AD (and NOT when given) and returns its RecordID.
    std::int32_t add(Cursor& cursor, const std::string& ad, const std::string& note = {}, double amount = 0)
    {
        cursor.append();
        cursor.setText("AD", ad);
        if (!note.empty())
            cursor.setText("NOT", note);
        cursor.setNumber("TUTAR", amount);
        cursor.post();
        return cursor.currentRecordId();
    }
};

// The AD values in browse order, from the first record on.
inline QStringList browse(Cursor& cursor, const char* field = "AD")
{
    QStringList values;
    cursor.first();
    if (!cursor.hasCurrent())
        return values;
    do
        values << QString::fromStdString(cursor.getText(field));
    while (cursor.next());
    return values;
}

} // namespace enginetest
