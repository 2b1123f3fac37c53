// Fuzz target: a table folder made of arbitrary data, index and lock file bytes (TableInput.h),
// opened through the engine on an in-memory Env and worked on by a short script of cursor
// operations. Engine and cursor errors are expected answers to bad bytes; anything else that
// escapes, and any crash, hang or leak, is a finding. One invariant is checked on top: a table
// that verifyTable finds sound stays sound through the open and every operation the script runs
// on it, unless the script itself damaged the files.
//
// Script: a sequence of operations, each one byte (value % kOps) followed by its arguments
// (one byte each unless said otherwise; a text is a length byte, at most 40, then the bytes).
// An empty script runs the default one: walk, locate, append, edit, delete.

#include "TableInput.h"

#include "Engine.h"
#include "MemEnv.h"

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

using namespace fatura::engine;
using fatura::fuzz::TableInput;
using Op = TableInput::Op;

namespace {

const std::string kFolder = "/db/";
const std::string kTable = "t";

// At most this many cursor steps per input, so that a long but sound table cannot stall a run.
constexpr int kMaxSteps = 400;

class Script {
public:
    explicit Script(const std::string& bytes) : bytes_(bytes) {}
    bool done() const { return at_ >= bytes_.size(); }
    std::uint8_t peek() const { return at_ < bytes_.size() ? static_cast<std::uint8_t>(bytes_[at_]) : 0; }
    std::uint8_t byte() { return at_ < bytes_.size() ? static_cast<std::uint8_t>(bytes_[at_++]) : 0; }
    std::string text()
    {
        const std::uint8_t n = byte();
        if (n == 255)
            return {};
        const std::size_t length = std::min<std::size_t>(n % 41, bytes_.size() - std::min(at_, bytes_.size()));
        std::string t = bytes_.substr(std::min(at_, bytes_.size()), length);
        at_ += length;
        return t;
    }
    std::int32_t word()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= std::uint32_t(byte()) << (8 * i);
        return static_cast<std::int32_t>(v);
    }

private:
    const std::string& bytes_;
    std::size_t at_ = 0;
};

std::string defaultScript()
{
    using T = TableInput;
    // Walk, locate "a" case-insensitively and partially in field 2, append a record, edit and
    // post it, delete it, walk back, and walk with a second cursor.
    std::string s;
    s += char(Op::First);
    s += char(Op::Next), s += char(20);
    s += char(Op::Locate), s += char(1), s += char(3), s += T::text("a");
    s += char(Op::AppendPost), s += char(4), s += char(0), s += T::text(""), s += char(1), s += T::text("ABC"),
        s += char(1), s += T::text("1.5"), s += char(1), s += T::text("42");
    s += char(Op::EditPost), s += char(1), s += T::text("zz ab");
    s += char(Op::Delete);
    s += char(Op::Last), s += char(Op::Prior), s += char(5);
    s += char(Op::Reopen);
    return s;
}

// With FATURA_FUZZ_TRACE set, each operation's answer goes to stderr: for seeing what a corpus
// file exercises.
const bool kTrace = std::getenv("FATURA_FUZZ_TRACE") != nullptr;

// Runs f; engine and cursor errors are answers, not findings.
template <typename F>
void answer(const char* what, F&& f)
{
    try {
        f();
        if (kTrace)
            std::fprintf(stderr, "  %s: ok\n", what);
    } catch (const EngineError& e) {
        if (kTrace)
            std::fprintf(stderr, "  %s: %s\n", what, e.what());
    } catch (const CursorError& e) {
        if (kTrace)
            std::fprintf(stderr, "  %s: %s\n", what, e.what());
    }
}

const char* const kOpNames[] = {"first",  "next",         "last",      "prior",  "moveBy", "locate",
                                "append+post", "edit+post", "delete", "gotoRecordId", "edit+move", "reopen",
                                "rival",  "tamper"};
static_assert(std::size(kOpNames) == Op::kOps);

std::string fieldName(const Cursor& c, std::uint8_t selector)
{
    const auto& fields = c.definition().fields;
    return fields[selector % fields.size()].name;
}

void setValue(Cursor& c, const std::string& field, const std::string& text, bool null)
{
    if (null)
        c.setNull(field);
    else
        c.setText(field, text);
}

// A post that fails leaves the cursor editing, and every later move would try the same post
// again; dropping it lets the rest of the script reach other code.
void post(Cursor& c)
{
    try {
        c.post();
    } catch (...) {
        c.cancel();
        throw;
    }
}

void run(Env& env, Cursor& c, Script& script, int& steps, bool& tampered)
{
    const std::uint8_t op = script.byte() % Op::kOps;
    switch (op) {
    case Op::First:
        c.first();
        ++steps;
        break;
    case Op::Last:
        c.last();
        ++steps;
        break;
    case Op::Next:
    case Op::Prior: {
        const int n = script.byte();
        for (int i = 0; i < n && steps < kMaxSteps; ++i, ++steps) {
            if (!(op == Op::Next ? c.next() : c.prior()))
                break;
        }
        break;
    }
    case Op::MoveBy:
        c.moveBy(static_cast<std::int8_t>(script.byte()));
        steps += 8;
        break;
    case Op::Locate: {
        const std::string field = fieldName(c, script.byte());
        const std::uint8_t mode = script.byte();
        const std::string text = script.text();
        c.locate(field, text, mode & 1, mode & 2);
        ++steps;
        break;
    }
    case Op::AppendPost: {
        // Arguments are read before anything can fail, so that the script stays in step.
        const auto& fields = c.definition().fields;
        const std::size_t n = std::min<std::size_t>(script.byte(), fields.size());
        std::vector<std::pair<bool, std::string>> values;
        for (std::size_t i = 0; i < n; ++i) {
            const bool null = script.byte() % 4 == 0;
            values.emplace_back(null, script.text());
        }
        c.append();
        for (std::size_t i = 0; i < n; ++i)
            answer("  set", [&] { setValue(c, fields[i].name, values[i].second, values[i].first); });
        post(c);
        break;
    }
    case Op::EditPost:
    case Op::EditCancel: {
        const std::string field = fieldName(c, script.byte());
        const std::string text = script.text();
        c.edit();
        answer("  set", [&] { setValue(c, field, text, text.empty()); });
        if (op == Op::EditPost)
            post(c);
        else
            c.next();
        break;
    }
    case Op::Delete:
        c.deleteRecord();
        break;
    case Op::GotoRecordId:
        c.gotoRecordId(script.word());
        ++steps;
        break;
    case Op::Rival: {
        const std::uint8_t what = script.byte() % 3;
        const std::string field = fieldName(c, script.byte());
        const std::string text = script.text();
        c.edit();
        answer("  set", [&] { setValue(c, field, text, text.empty()); });
        {
            Cursor rival("rival");
            OpenOptions options;
            options.env = &env;
            rival.open(kFolder, kTable, options);
            answer("  rival", [&] {
                if (what == 0) {
                    rival.deleteRecord();
                } else {
                    what == 1 ? rival.edit() : rival.append();
                    setValue(rival, field, text, text.empty());
                    post(rival);
                }
            });
        }
        post(c);
        break;
    }
    case Op::Tamper: {
        const std::uint8_t which = script.byte();
        const std::uint16_t offset = static_cast<std::uint16_t>(script.byte() | (script.byte() << 8));
        const auto value = static_cast<char>(script.byte());
        const std::string path = kFolder + (which % 4 == 0 ? kTable + ".dat" : which % 4 == 1 ? kTable + ".idx" : "teskav.lck");
        tampered = true;
        // Through a File, in place: as another process's write it never moves the bytes of a
        // view the engine may hold.
        std::unique_ptr<File> file;
        std::uint64_t size = 0;
        if (env.open(path, Access::ReadWrite, Share::Shared, Disposition::OpenExisting, file) != 0
            || file->size(size) != 0 || size == 0)
            break;
        file->write(offset % size, &value, 1);
        if ((which & 4) && size >= 4) {
            std::uint32_t counter = 0;
            file->read(0, &counter, 4);
            ++counter;
            file->write(0, &counter, 4);
        }
        break;
    }
    case Op::Reopen: {
        Cursor other;
        OpenOptions options;
        options.env = &env;
        options.readOnly = true;
        other.open(kFolder, kTable, options);
        while (steps < kMaxSteps && other.next())
            ++steps;
        break;
    }
    default:
        break;
    }
}

void fail(const char* what, const std::vector<std::string>& faults)
{
    std::fprintf(stderr, "finding: %s\n", what);
    for (const std::string& f : faults)
        std::fprintf(stderr, "  %s\n", f.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const TableInput in = TableInput::decode(data, size);
    MemEnv env;
    env.setContents(kFolder + kTable + ".dat", in.dat);
    if (!(in.flags & TableInput::NoIndexFile))
        env.setContents(kFolder + kTable + ".idx", in.idx);
    if (!(in.flags & TableInput::NoLockFile))
        env.setContents(kFolder + "teskav.lck", in.lock);

    const bool soundBefore = verifyTable(kFolder, kTable, &env).empty();
    if (kTrace)
        std::fprintf(stderr, "  sound before: %s\n", soundBefore ? "yes" : "no");
    // Sound once the cursor is open: the open itself may repair (a missing index is rebuilt).
    bool soundOpen = false;
    // Bytes changed behind the engine's back void that promise.
    bool tampered = false;
    {
        Cursor c("tfuzz");
        OpenOptions options;
        options.env = &env;
        options.readOnly = in.flags & TableInput::ReadOnly;
        options.exclusive = in.flags & TableInput::Exclusive;
        bool opened = false;
        answer("open", [&] {
            c.open(kFolder, kTable, options);
            opened = true;
        });
        if (opened) {
            // An exclusive cursor keeps the checker out.
            if (!options.exclusive) {
                const std::vector<std::string> faults = verifyTable(kFolder, kTable, &env);
                if (soundBefore && !faults.empty())
                    fail("opening a sound table made it unsound", faults);
                soundOpen = faults.empty();
            } else {
                soundOpen = soundBefore;
            }
            const std::string script = in.script.empty() ? defaultScript() : in.script;
            Script s(script);
            int steps = 0;
            while (!s.done() && steps < kMaxSteps) {
                const std::uint8_t op = s.peek() % Op::kOps;
                answer(kOpNames[op], [&] { run(env, c, s, steps, tampered); });
                ++steps;
            }
        }
    }
    if (soundOpen && !tampered) {
        const std::vector<std::string> faults = verifyTable(kFolder, kTable, &env);
        if (!faults.empty())
            fail("a sound table is no longer sound after the script", faults);
    }
    return 0;
}
