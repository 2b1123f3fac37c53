// Writes the seed corpus of the fuzz targets: sound tables made by createTable and a cursor,
// damaged copies of them (one fault each), odd lock files, and settings files.
//
//   fuzz_make_corpus OUT_FOLDER    writes OUT_FOLDER/table/* and OUT_FOLDER/settings/*
//
// The files are kept in the repository (fuzz/corpus); run this again only to remake them after
// a change of the file formats or of the input layout (TableInput.h).

#include "TableInput.h"

#include "Engine.h"
#include "Format.h"
#include "InvoiceSchema.h"
#include "LayoutFile.h"
#include "MemEnv.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>
#include <string>

using namespace fatura::engine;
using fatura::fuzz::TableInput;
using Op = TableInput::Op;
namespace fs = std::filesystem;

namespace {

const std::string kFolder = "/db/";
const std::string kTable = "t";

FieldDef field(const std::string& name, FieldKind kind, std::uint16_t size = 0)
{
    FieldDef f;
    f.name = name;
    f.kind = kind;
    f.size = size;
    return f;
}

// ID, AD, NOT, TUTAR with a case-insensitive index on AD, in small pages so that a few
// dozen records already make trees of two levels.
TableDefinition smallTable()
{
    TableDefinition d;
    d.fields = {field("ID", FieldKind::AutoIncrement), field("AD", FieldKind::Text, 20),
                field("NOT", FieldKind::Text, 75), field("TUTAR", FieldKind::Float)};
    IndexDef byName;
    byName.name = "AD_IX";
    byName.keyFields = {2};
    byName.caseInsensitive = true;
    d.secondaryIndexes = {byName};
    d.indexPageSize = 1024;
    return d;
}

// Every field kind, a primary index on a user field, a descending composite index and a
// unique one, a required field, character cases and a default value.
TableDefinition kindsTable()
{
    TableDefinition d;
    FieldDef code = field("KOD", FieldKind::Integer);
    code.required = true;
    FieldDef name = field("AD", FieldKind::Text, 12);
    name.charCase = CharCase::Upper;
    name.defaultValue = "YOK";
    FieldDef note = field("not", FieldKind::Text, 30);
    note.charCase = CharCase::Lower;
    d.fields = {code, name, field("SABIT", FieldKind::FixedText, 6), field("PARA", FieldKind::Currency),
                field("SIRA", FieldKind::AutoIncrement), note, field("ORAN", FieldKind::Float)};
    d.primaryIndex.keyFields = {1};
    IndexDef composite;
    composite.name = "AD_PARA";
    composite.keyFields = {2, 4};
    composite.keyDescending = {false, true};
    composite.descending = true;
    IndexDef unique;
    unique.name = "SABIT_U";
    unique.keyFields = {3};
    unique.unique = true;
    d.secondaryIndexes = {composite, unique};
    d.indexPageSize = 2048;
    return d;
}

struct Folder {
    std::string dat;
    std::string idx;
    std::string lock;
};

// A table made by createTable, filled by fill through a cursor, and closed.
Folder makeTable(const TableDefinition& definition, const std::function<void(Cursor&)>& fill)
{
    MemEnv env;
    createTable(kFolder, kTable, definition, &env);
    {
        Cursor c;
        OpenOptions options;
        options.env = &env;
        c.open(kFolder, kTable, options);
        fill(c);
    }
    if (!verifyTable(kFolder, kTable, &env).empty()) {
        std::fprintf(stderr, "a seed table is not sound\n");
        std::exit(1);
    }
    return {env.contents(kFolder + kTable + ".dat"), env.contents(kFolder + kTable + ".idx"),
            env.contents(kFolder + "teskav.lck")};
}

void fillSmall(Cursor& c, int records, int deleteEvery)
{
    static const char* const names[] = {"Ahmet", "ay\xfe" "e", "MEHMET", "Zeynep", "ali veli", "\xd6mer", "\xe7" "a\xf0r\xfd", "\xdeule"};
    for (int i = 0; i < records; ++i) {
        c.append();
        c.setText("AD", names[i % 8]);
        if (i % 3 != 1)
            c.setText("NOT", "not " + std::to_string(i));
        c.setNumber("TUTAR", i * 12.5);
        c.post();
    }
    if (deleteEvery > 0) {
        c.first();
        for (int i = 0; c.hasCurrent() && i < records; ++i) {
            if (i % deleteEvery == 1)
                c.deleteRecord();
            else if (!c.next())
                break;
        }
    }
}

void fillKinds(Cursor& c)
{
    const char* const fixed[] = {"ab  ", "  x", "Q", "zz zz"};
    for (int i = 0; i < 4; ++i) {
        c.append();
        c.setNumber("KOD", 100 - i * 7);
        if (i != 2)
            c.setText("AD", i % 2 ? "\xfdi \xddI" : "\xc7" "a\xe7" "a");
        c.setText("SABIT", fixed[i]);
        c.setNumber("PARA", i * 1000.25);
        c.setText("not", "MiXeD " + std::to_string(i));
        c.setNumber("ORAN", -0.5 * i);
        c.post();
    }
}

void fillInvoice(Cursor& c)
{
    for (int i = 0; i < 3; ++i) {
        c.append();
        c.setText("TARIH", "0" + std::to_string(i + 1) + ".02.2025");
        c.setText("SAYIN1", i == 1 ? "ABC Ltd." : "\xd6zt\xfcrk Tekstil");
        c.setText("M1", "2");
        c.setText("C1", "Kuma\xfe");
        c.setNumber("F1", 150.0);
        c.setNumber("TOPLAM", 354.0);
        c.post();
    }
}

std::string op(Op o) { return std::string(1, char(o)); }
std::string arg(int b) { return std::string(1, char(b)); }
std::string txt(const std::string& t) { return TableInput::text(t); }

// An append of the small table's three user fields (ID left null).
std::string appendSmall(const std::string& name, const std::string& note, const std::string& amount)
{
    return op(Op::AppendPost) + arg(4) + arg(0) + txt("") + arg(1) + txt(name) + arg(1) + txt(note) + arg(1) + txt(amount);
}

// Appends enough records to split pages, deletes some, locates in every mode, walks.
std::string busySmallScript()
{
    std::string s;
    for (int i = 0; i < 12; ++i)
        s += appendSmall(std::string(1, char('A' + (i * 7) % 26)) + "x", "", std::to_string(i));
    s += op(Op::Locate) + arg(1) + arg(3) + txt("a");
    s += op(Op::Locate) + arg(1) + arg(0) + txt("Ax");
    s += op(Op::Locate) + arg(2) + arg(2) + txt("not");
    s += op(Op::Locate) + arg(3) + arg(0) + txt("25");
    s += op(Op::First) + op(Op::Delete) + op(Op::Delete) + op(Op::MoveBy) + arg(5) + op(Op::Delete);
    s += op(Op::EditPost) + arg(1) + txt("edited");
    s += op(Op::EditCancel) + arg(2) + txt("left");
    s += op(Op::GotoRecordId) + std::string("\x03\0\0\0", 4);
    s += op(Op::Last) + op(Op::Prior) + arg(30) + op(Op::Reopen);
    return s;
}

std::string kindsScript()
{
    std::string s;
    s += op(Op::AppendPost) + arg(7) + arg(1) + txt("7") + arg(1) + txt("yeni ad") + arg(1) + txt("  pad") + arg(1)
        + txt("12.25") + arg(0) + txt("") + arg(1) + txt("K\xdc\xc7\xdcK") + arg(1) + txt("1e3");
    s += op(Op::AppendPost) + arg(2) + arg(1) + txt("7") + arg(1) + txt("dup key");             // 9729
    s += op(Op::AppendPost) + arg(2) + arg(0) + txt("") + arg(1) + txt("no code");               // 9732
    s += op(Op::AppendPost) + arg(3) + arg(1) + txt("8") + arg(1) + txt("x") + arg(1) + txt("Q"); // unique SABIT
    s += op(Op::Locate) + arg(1) + arg(3) + txt("\xe7");
    s += op(Op::Locate) + arg(0) + arg(0) + txt("86");
    s += op(Op::Locate) + arg(2) + arg(2) + txt("  ");
    s += op(Op::EditPost) + arg(0) + txt("abc");                                        // not a number
    s += op(Op::EditPost) + arg(3) + txt("-1.5");
    s += op(Op::First) + op(Op::Next) + arg(9) + op(Op::Delete) + op(Op::Last) + op(Op::Prior) + arg(9);
    return s;
}

std::string invoiceScript()
{
    std::string s;
    s += op(Op::Locate) + arg(2) + arg(3) + txt("\xf6z");
    s += op(Op::Locate) + arg(3) + arg(3) + txt("abc");
    s += op(Op::AppendPost) + arg(3) + arg(0) + txt("") + arg(1) + txt("10.02.2025") + arg(1) + txt("Yeni M\xfc\xfeteri");
    s += op(Op::EditPost) + arg(44) + txt("1234.5");
    s += op(Op::First) + op(Op::Delete) + op(Op::Next) + arg(5);
    return s;
}

// A second cursor deletes, edits and appends while this one edits.
std::string rivalScript()
{
    std::string s;
    s += op(Op::First) + op(Op::Rival) + arg(0) + arg(1) + txt("mine");
    s += op(Op::First) + op(Op::Rival) + arg(1) + arg(1) + txt("theirs");
    s += op(Op::Last) + op(Op::Rival) + arg(2) + arg(2) + txt("new");
    s += op(Op::Next) + arg(3) + op(Op::Rival) + arg(1) + arg(3) + txt("7");
    s += op(Op::First) + op(Op::Next) + arg(50);
    return s;
}

// Another process writes into the files while the table is open: the data file's header, a
// slot, an index page, the lock file; each time with and without moving the change counter.
std::string tamperScript(std::uint16_t slotByte, std::uint16_t pageByte)
{
    auto tamper = [](int which, std::uint16_t offset, int value) {
        return op(Op::Tamper) + arg(which) + arg(offset & 0xff) + arg(offset >> 8) + arg(value);
    };
    std::string s;
    s += op(Op::First) + op(Op::Next) + arg(3);
    s += tamper(4, 100, 0) + op(Op::Next) + arg(3) + op(Op::Last);                // counter only
    s += tamper(5, 100, 0) + op(Op::Locate) + arg(1) + arg(3) + txt("m") + op(Op::Prior) + arg(9);
    s += tamper(0, slotByte, 0x01) + op(Op::First) + op(Op::Next) + arg(200);      // unnoticed
    s += tamper(4, 41, 0x01) + op(Op::First) + appendSmall("after", "tamper", "1") + op(Op::Delete);
    s += tamper(5, pageByte, 0x09) + op(Op::Last) + op(Op::Prior) + arg(200);
    s += tamper(6, 4, 0x40) + op(Op::Reopen);
    s += tamper(4, 29, 0x02) + op(Op::First) + op(Op::Next) + arg(200);
    return s;
}

class Writer {
public:
    explicit Writer(fs::path folder) : folder_(std::move(folder)) { fs::create_directories(folder_); }

    void put(const std::string& name, const std::string& bytes)
    {
        std::ofstream out(folder_ / name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", (folder_ / name).c_str());
            std::exit(1);
        }
        ++count_;
    }

    void table(const std::string& name, const Folder& f, const std::string& script = {}, std::uint8_t flags = 0)
    {
        if (script.size() > 255) {
            std::fprintf(stderr, "the script of %s is longer than an input holds\n", name.c_str());
            std::exit(1);
        }
        TableInput in;
        in.flags = flags;
        in.script = script;
        in.dat = f.dat;
        in.idx = f.idx;
        in.lock = f.lock;
        put(name, in.encode());
    }

    int count() const { return count_; }

private:
    fs::path folder_;
    int count_ = 0;
};

template <typename T>
void setAt(std::string& bytes, std::size_t offset, T value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

template <typename T>
T getAt(const std::string& bytes, std::size_t offset)
{
    T v;
    std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
}

std::string lockFile(std::uint32_t counter, const std::vector<std::string>& tables)
{
    std::string list;
    for (const std::string& t : tables)
        list += char(t.size()) + t;
    std::string bytes(8, '\0');
    setAt<std::uint32_t>(bytes, 0, counter);
    setAt<std::uint32_t>(bytes, 4, static_cast<std::uint32_t>(list.size() + 4));
    return bytes + list;
}

void writeTables(Writer& w)
{
    using namespace format;
    const Folder empty = makeTable(smallTable(), [](Cursor&) {});
    const Folder small = makeTable(smallTable(), [](Cursor& c) { fillSmall(c, 6, 4); });
    const Folder deep = makeTable(smallTable(), [](Cursor& c) { fillSmall(c, 120, 9); });
    const Folder kinds = makeTable(kindsTable(), fillKinds);
    const Folder invoice = makeTable(fatura::archive::invoiceTableDefinition(), fillInvoice);

    w.table("sound-empty", empty);
    w.table("sound-empty-busy", empty, busySmallScript());
    w.table("sound-small", small);
    w.table("sound-small-busy", small, busySmallScript());
    w.table("sound-deep", deep);
    w.table("sound-deep-busy", deep, busySmallScript());
    w.table("sound-kinds", kinds, kindsScript());
    w.table("sound-invoice", invoice, invoiceScript());
    w.table("sound-small-rival", small, rivalScript());
    w.table("sound-kinds-rival", kinds, rivalScript());
    {
        const std::uint16_t fieldsEnd = format::kHeaderSize + 4 * format::kDescriptorSize;
        const std::uint16_t length = getAt<std::uint16_t>(deep.dat, format::kRecordLength);
        w.table("tamper-deep", deep, tamperScript(fieldsEnd + 3 * length + 1, format::kPagesOffset + 1024 + 3));
        w.table("tamper-small", small, tamperScript(fieldsEnd + 40, format::kPagesOffset + 20));
    }
    w.table("flag-no-index", small, {}, TableInput::NoIndexFile);
    w.table("flag-no-lock", small, busySmallScript(), TableInput::NoLockFile);
    w.table("flag-read-only", small, busySmallScript(), TableInput::ReadOnly);
    w.table("flag-exclusive", small, busySmallScript(), TableInput::Exclusive);

    // One fault each in the data file.
    auto dat = [&](const std::string& name, const std::function<void(std::string&)>& damage, const Folder& base) {
        Folder f = base;
        damage(f.dat);
        w.table(name, f);
    };
    dat("dat-version-5", [](std::string& b) { b[kVersionByte] = 5; }, small);
    dat("dat-version-7", [](std::string& b) { b[kVersionByte] = 7; }, small);
    dat("dat-signature", [](std::string& b) { b[kSignature + 3] ^= 0x40; }, small);
    dat("dat-field-count-0", [](std::string& b) { setAt<std::uint16_t>(b, kFieldCount, 0); }, small);
    dat("dat-field-count-1025", [](std::string& b) { setAt<std::uint16_t>(b, kFieldCount, 1025); }, small);
    dat("dat-field-count-3", [](std::string& b) { setAt<std::uint16_t>(b, kFieldCount, 3); }, small);
    dat("dat-record-length", [](std::string& b) { setAt<std::uint16_t>(b, kRecordLength, 8); }, small);
    dat("dat-page-size", [](std::string& b) { setAt<std::uint32_t>(b, kPageSize, 1000); }, small);
    dat("dat-next-slot-beyond-file", [](std::string& b) { setAt<std::uint32_t>(b, kNextSlot, 40); }, small);
    dat("dat-next-slot-zero", [](std::string& b) { setAt<std::uint32_t>(b, kNextSlot, 0); }, small);
    dat("dat-count-above-slots", [](std::string& b) { setAt<std::uint32_t>(b, kRecordCount, 99); }, small);
    dat("dat-count-low", [](std::string& b) { setAt<std::uint32_t>(b, kRecordCount, 1); }, small);
    dat("dat-free-head-in-use", [](std::string& b) { setAt<std::uint32_t>(b, kFreeHead, 1); }, small);
    dat("dat-last-record-id-max", [](std::string& b) { setAt<std::int32_t>(b, kLastRecordId, 2147483647); }, small);
    dat("dat-encrypted", [](std::string& b) { b[kEncrypted] = 1; }, small);
    dat("dat-truncated", [](std::string& b) { b.resize(b.size() - 7); }, small);
    dat("dat-header-only", [](std::string& b) { b.resize(300); }, small);
    const std::size_t fields = getAt<std::uint16_t>(small.dat, kFieldCount);
    const std::size_t slotArea = kHeaderSize + fields * kDescriptorSize;
    const std::size_t length = getAt<std::uint16_t>(small.dat, kRecordLength);
    auto descriptor = [&](std::size_t i) { return kHeaderSize + i * kDescriptorSize; };
    dat("dat-descriptor-type", [&](std::string& b) { b[descriptor(1) + kFdType] = 9; }, small);
    dat("dat-descriptor-size", [&](std::string& b) { setAt<std::uint16_t>(b, descriptor(2) + kFdSize, 600); }, small);
    dat("dat-descriptor-offset", [&](std::string& b) { setAt<std::uint16_t>(b, descriptor(3) + kFdOffset, 3); }, small);
    dat("dat-descriptor-name-length", [&](std::string& b) { b[descriptor(0) + kFdName] = 70; }, small);
    dat("dat-descriptor-same-name", [&](std::string& b) { b[descriptor(2) + kFdName + 1] = 'A', b[descriptor(2) + kFdName + 2] = 'D', b[descriptor(2) + kFdName] = 2, b[descriptor(2) + kFdName + 3] = 0; }, small);
    dat("dat-slot-state", [&](std::string& b) { b[slotArea + kSlotState] = 7; }, small);
    dat("dat-slot-number", [&](std::string& b) { setAt<std::uint32_t>(b, slotArea + length + kSlotLink, 9); }, small);
    dat("dat-slot-hash", [&](std::string& b) { b[slotArea + kSlotHash] ^= 1; }, small);
    dat("dat-slot-value", [&](std::string& b) { b[slotArea + kSlotFields + 5] = 'Z'; }, small);
    dat("dat-slot-null-flag", [&](std::string& b) { b[slotArea + kSlotFields] = 3; }, small);
    dat("dat-slot-text-unterminated", [&](std::string& b) { std::memset(b.data() + slotArea + length + 30, 'x', 21); }, small);
    dat("dat-free-chain-loop", [&](std::string& b) {
        const std::uint32_t head = getAt<std::uint32_t>(b, kFreeHead);
        setAt<std::uint32_t>(b, slotArea + (head - 1) * length + kSlotLink, head);
    }, small);
    dat("dat-deep-slot-id", [&](std::string& b) { setAt<std::int32_t>(b, slotArea + 40 * length + kSlotRecordId, 3); }, deep);

    // One fault each in the index file.
    auto idx = [&](const std::string& name, const std::function<void(std::string&)>& damage, const Folder& base) {
        Folder f = base;
        damage(f.idx);
        w.table(name, f);
    };
    const std::uint32_t page = 1024;
    auto pageAt = [&](std::uint32_t n) { return std::size_t(kPagesOffset) + (n - 1) * page; };
    const std::uint32_t root = getAt<std::uint32_t>(deep.idx, kHeaderSize + kIdRoot);
    idx("idx-version", [](std::string& b) { b[kVersionByte] = 1; }, small);
    idx("idx-secondaries-31", [](std::string& b) { b[kIxSecondaryCount] = 31; }, small);
    idx("idx-secondaries-0", [](std::string& b) { b[kIxSecondaryCount] = 0; }, small);
    idx("idx-next-page-zero", [](std::string& b) { setAt<std::uint32_t>(b, kIxNextPage, 0); }, small);
    idx("idx-next-page-beyond-file", [](std::string& b) { setAt<std::uint32_t>(b, kIxNextPage, 50); }, small);
    idx("idx-root-beyond", [](std::string& b) { setAt<std::uint32_t>(b, kHeaderSize + kIdRoot, 40); }, small);
    idx("idx-key-field", [](std::string& b) { setAt<std::int16_t>(b, kHeaderSize + kDescriptorSize + kIdKeyFields, 9); }, small);
    idx("idx-key-count", [](std::string& b) { b[kHeaderSize + kDescriptorSize + kIdKeyCount] = 0; }, small);
    idx("idx-truncated", [](std::string& b) { b.resize(b.size() - 100); }, small);
    idx("idx-area-only", [](std::string& b) { b.resize(kPagesOffset); }, small);
    idx("idx-page-kind", [&](std::string& b) { b[pageAt(1) + kPgKind] = 5; }, small);
    idx("idx-page-owner", [&](std::string& b) { b[pageAt(1) + kPgIndex] = 1; }, small);
    idx("idx-page-count", [&](std::string& b) { setAt<std::uint16_t>(b, pageAt(1) + kPgCount, 900); }, small);
    idx("idx-entry-order", [&](std::string& b) { std::swap(b[pageAt(1) + kPgEntries], b[pageAt(1) + kPgEntries + 12]); }, small);
    idx("idx-entry-slot", [&](std::string& b) { setAt<std::uint32_t>(b, pageAt(1) + kPgEntries + 8, 5); }, small);
    idx("idx-deep-child-loop", [&](std::string& b) { setAt<std::uint32_t>(b, pageAt(root) + kPgLink, root); }, deep);
    idx("idx-deep-child-zero", [&](std::string& b) { setAt<std::uint32_t>(b, pageAt(root) + kPgLink, 0); }, deep);
    idx("idx-deep-root-leaf", [&](std::string& b) { b[pageAt(root) + kPgKind] = kPageLeaf; }, deep);
    idx("idx-deep-free-head", [&](std::string& b) { setAt<std::uint32_t>(b, kIxFreePageHead, root); }, deep);
    idx("idx-deep-separator", [&](std::string& b) { setAt<std::int32_t>(b, pageAt(root) + kPgEntries, 1000); }, deep);
    {
        Folder f = small;
        f.idx = kinds.idx; // an index file from another table
        w.table("idx-of-other-table", f);
    }

    // Lock files.
    auto lock = [&](const std::string& name, const std::string& bytes) {
        Folder f = small;
        f.lock = bytes;
        w.table(name, f, busySmallScript());
    };
    lock("lock-empty", "");
    lock("lock-short", std::string("\x01\0\0", 3));
    lock("lock-length-beyond", lockFile(1, {"t"}).substr(0, 10));
    lock("lock-length-below-4", std::string("\x01\0\0\0\x02\0\0\0", 8));
    lock("lock-entry-past-list", lockFile(1, {"t"}) + "\x05");
    lock("lock-other-tables", lockFile(7, {"a", "fatura", "b"}));
    lock("lock-counter-max", lockFile(2147483647, {"x"}));
    lock("lock-garbage", "\xff\xfe\xfd\xfc\xfb\xfa\xf9\xf8\xf7\xf6\x01t");
    {
        std::vector<std::string> many(4096, "a");
        lock("lock-full", lockFile(3, many));
    }
}

void writeSettings(Writer& w)
{
    const QByteArray fresh = fatura::defaultLayoutFile();
    auto put = [&](const std::string& name, const QByteArray& bytes) { w.put(name, bytes.toStdString()); };
    put("default", fresh);
    put("empty", {});
    put("lf-only", QByteArray(fresh).replace("\r\n", "\n"));
    put("cr-only", QByteArray(fresh).replace("\r\n", "\r"));
    put("no-final-line-end", fresh.trimmed());
    put("lower-case-names", "[fature_ayar]\r\ntarih = 1|2\r\nRapor_Sayfasi=  -5 |  7  \r\n");
    put("two-sections", "[FATURE_AYAR]\r\nTARIH=1 | 2\r\n[DIGER]\r\nKDV=3 | 4\r\n[FATURE_AYAR]\r\nKDV=5 | 6\r\n");
    put("keys-before-section", "TARIH=9 | 9\r\n[FATURE_AYAR]\r\n");
    put("section-only-no-end", "[FATURE_AYAR]");
    put("duplicate-keys", "[FATURE_AYAR]\r\nM1=1 | 1\r\nM1=2 | 2\r\nM1\r\n=3\r\n");
    put("odd-values", "[FATURE_AYAR]\r\nTARIH=\r\nSAYIN1=1 | 2 | 3\r\nSAYIN2=10.5 | 10\r\nSAYIN3=+7|-0\r\n"
                      "VERGIDAIRESI=2147483647 | -2147483648\r\nVERGIHESAPNO=99999999999 | x\r\nYALNIZ=|\r\n"
                      "C1=\x01\x02 5 \x1f|\t6\r\nF1=\xdd\xfe\xf0 | \xfd\r\n");
    static const char nul[] = "[FATURE_AYAR]\r\nTARIH=1 \0| 2\r\nKDV=\0\r\n";
    put("nul-in-value", QByteArray(nul, sizeof nul - 1));
    put("blank-section-name", "[ FATURE_AYAR ]\r\n  ; comment = 1\r\n\tT1 =\t 4 | 5\t\r\n[]\r\n=\r\n[");
    put("long-value", "[FATURE_AYAR]\r\nTARIH=" + QByteArray(3000, '7') + "\r\nKDV=" + QByteArray(2046, '1') + "  9\r\n");
    put("bracket-lines", "[FATURE_AYAR\r\n[FATURE_AYAR]x\r\nTOPLAM=1|1\r\n] = 2\r\n[x=y\r\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT_FOLDER\n", argv[0]);
        return 2;
    }
    Writer tables(fs::path(argv[1]) / "table");
    writeTables(tables);
    Writer settings(fs::path(argv[1]) / "settings");
    writeSettings(settings);
    std::printf("%d table inputs, %d settings inputs\n", tables.count(), settings.count());
    return 0;
}
