// tablo: command-line tool around the table engine. Makes the empty invoice archive, checks a
// table's files and dumps its records as JSON lines. Run without arguments for its usage.
#include "JsonText.h"

#include "Engine.h"
#include "InvoiceSchema.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;
using namespace fatura::engine;
using namespace fatura::archive;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "Usage: tablo create [--if-missing] FOLDER\n"
    "       tablo check FOLDER [TABLE]\n"
    "       tablo dump FOLDER [TABLE]\n"
    "\n"
    "  create  Writes an empty invoice archive (fatura.dat and fatura.idx) into FOLDER.\n"
    "          Existing files are never overwritten. With --if-missing an archive that is\n"
    "          already there is left alone and the exit code is 0; so is a fatura.dat whose\n"
    "          fatura.idx is missing, as the index is rebuilt when the table is opened.\n"
    "          A fatura.idx without fatura.dat is refused either way.\n"
    "  check   Verifies every invariant of the table's files (TABLE defaults to fatura)\n"
    "          without changing them; prints each fault found.\n"
    "  dump    Writes the records in browse order as JSON lines in UTF-8, one object per\n"
    "          record keyed by field name.\n"
    "\n"
    "Exit codes: 0 success, 1 failure or faults found, 2 bad arguments.\n";

struct Arguments {
    std::string command;
    std::vector<std::string> operands;
    bool ifMissing = false;
    bool help = false;
};

int usageError(std::string_view problem)
{
    std::fprintf(stderr, "tablo: %.*s\n\n%.*s", int(problem.size()), problem.data(), int(kUsage.size()),
                 kUsage.data());
    return kExitUsage;
}

int failure(const std::string& message)
{
    std::fprintf(stderr, "tablo: %s\n", message.c_str());
    return kExitFailed;
}

bool isPresent(const fs::path& path)
{
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

// The file-system form of a table name as the engine takes it: no folder part, no ".dat",
// at most 60 characters. Used only for naming files in messages and summaries.
std::string bareTableName(const std::string& tableName)
{
    std::string name = fs::path(tableName).filename().string();
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dat") == 0)
        name.resize(name.size() - 4);
    if (name.size() > 60)
        name.resize(60);
    return name;
}

int create(const Arguments& args)
{
    const fs::path folder = args.operands[0];
    std::error_code error;
    if (!fs::is_directory(folder, error))
        return failure("'" + folder.string() + "' is not a folder");

    const std::string table = kInvoiceTableName;
    const fs::path data = folder / (table + ".dat");
    const fs::path index = folder / (table + ".idx");
    const bool haveData = isPresent(data);
    const bool haveIndex = isPresent(index);

    if (haveData || haveIndex) {
        if (args.ifMissing && haveData) {
            // A data file alone is a sound archive: opening it rebuilds the index.
            std::printf("%s already present%s; left unchanged\n", data.string().c_str(),
                        haveIndex ? "" : " (its index is rebuilt when the table is opened)");
            return kExitOk;
        }
        if (!haveData)
            return failure(index.string() + " exists without " + data.filename().string() +
                           "; refusing to write a new archive over it. Remove it or restore the data file.");
        return failure(data.string() + (haveIndex ? " and " + index.filename().string() + " already exist"
                                                  : std::string(" already exists")) +
                       "; an existing archive is never overwritten");
    }

    createTable(folder.string(), table, invoiceTableDefinition());
    std::printf("created empty archive %s and %s\n", data.string().c_str(), index.filename().string().c_str());
    return kExitOk;
}

// The header counters of a data file that has just passed the check, for the summary line.
// Read directly rather than through a cursor: opening a cursor makes the folder's lock file
// and enters the table in it, and a check must leave the folder as it found it.
bool readCounts(const fs::path& data, std::uint32_t& records, std::uint32_t& slots)
{
    std::ifstream in(data, std::ios::binary);
    unsigned char header[45];
    if (!in.read(reinterpret_cast<char*>(header), sizeof header))
        return false;
    const auto u32 = [&](int offset) {
        return std::uint32_t(header[offset]) | std::uint32_t(header[offset + 1]) << 8 |
               std::uint32_t(header[offset + 2]) << 16 | std::uint32_t(header[offset + 3]) << 24;
    };
    slots = u32(29) - 1;
    records = u32(41);
    return true;
}

int check(const Arguments& args)
{
    const std::string folder = args.operands[0];
    const std::string table = args.operands.size() > 1 ? args.operands[1] : kInvoiceTableName;
    const std::string name = bareTableName(table);
    std::vector<std::string> faults = verifyTable(folder, table);
    // The engine reports a lost index file as a missing table; say which file it is.
    const fs::path index = fs::path(folder) / (name + ".idx");
    if (!faults.empty() && isPresent(fs::path(folder) / (name + ".dat")) && !isPresent(index))
        faults.insert(faults.begin(), index.string() + " is missing (opening the table rebuilds it)");
    if (!faults.empty()) {
        std::printf("%s: %zu fault%s found\n", name.c_str(), faults.size(), faults.size() == 1 ? "" : "s");
        for (const std::string& fault : faults)
            std::printf("  %s\n", fault.c_str());
        return kExitFailed;
    }
    std::uint32_t records = 0;
    std::uint32_t slots = 0;
    if (readCounts(fs::path(folder) / (name + ".dat"), records, slots))
        std::printf("%s: OK, %u record%s in %u slot%s\n", name.c_str(), records, records == 1 ? "" : "s", slots,
                    slots == 1 ? "" : "s");
    else
        std::printf("%s: OK\n", name.c_str());
    return kExitOk;
}

int dump(const Arguments& args)
{
    const std::string folder = args.operands[0];
    const std::string table = args.operands.size() > 1 ? args.operands[1] : kInvoiceTableName;
    Cursor cursor;
    OpenOptions options;
    options.readOnly = true;
    cursor.open(folder, table, options);

    const std::vector<FieldDef>& fields = cursor.definition().fields;
    std::vector<std::string> keys;
    for (const FieldDef& field : fields) {
        std::string key;
        fatura::tools::appendJsonString(key, fatura::tools::cp1254ToUtf8(field.name));
        key.push_back(':');
        keys.push_back(std::move(key));
    }

    std::string line;
    cursor.first();
    for (bool more = cursor.hasCurrent(); more; more = cursor.next()) {
        line.assign(1, '{');
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const int number = int(i) + 1;
            if (i > 0)
                line.push_back(',');
            line += keys[i];
            if (cursor.isNullAt(number))
                line += "null";
            else if (fields[i].kind == FieldKind::Text || fields[i].kind == FieldKind::FixedText)
                fatura::tools::appendJsonString(line, fatura::tools::cp1254ToUtf8(cursor.textAt(number)));
            else
                fatura::tools::appendJsonNumber(line, cursor.numberAt(number));
        }
        line += "}\n";
        if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size())
            break;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return failure("writing the dump failed");
    return kExitOk;
}

bool parse(int argc, char** argv, Arguments& args, std::string& problem)
{
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty()) {
        problem = "no command given";
        return false;
    }
    args.command = words[0];
    if (args.command == "-h" || args.command == "--help" || args.command == "help") {
        args.help = true;
        return true;
    }
    bool optionsEnded = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!optionsEnded && word == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && word.size() > 1 && word[0] == '-') {
            if (args.command == "create" && word == "--if-missing") {
                args.ifMissing = true;
            } else {
                problem = "unknown option '" + word + "' for '" + args.command + "'";
                return false;
            }
        } else {
            args.operands.push_back(word);
        }
    }

    std::size_t most = 0;
    if (args.command == "create") {
        most = 1;
    } else if (args.command == "check" || args.command == "dump") {
        most = 2;
    } else {
        problem = "unknown command '" + args.command + "'";
        return false;
    }
    if (args.operands.empty()) {
        problem = "'" + args.command + "' needs a FOLDER";
        return false;
    }
    if (args.operands.size() > most) {
        problem = "too many arguments for '" + args.command + "'";
        return false;
    }
    for (const std::string& operand : args.operands) {
        if (operand.empty()) {
            problem = "empty FOLDER or TABLE";
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Arguments args;
    std::string problem;
    if (!parse(argc, argv, args, problem))
        return usageError(problem);
    if (args.help) {
        std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
        return kExitOk;
    }
    try {
        if (args.command == "create")
            return create(args);
        if (args.command == "check")
            return check(args);
        return dump(args);
    } catch (const std::exception& e) {
        return failure(e.what());
    }
}
