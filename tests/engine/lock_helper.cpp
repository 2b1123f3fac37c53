// A second process on an invoice archive, for tst_engine_multiprocess. One command per run:
//
//   save FOLDER NAME          appends one invoice for NAME; prints "saved REC_ID"
//   locate FOLDER NAME        prints "found REC_ID" or "missing"
//   hold FOLDER NAME          edits NAME's invoice, prints "editing", and keeps the record
//                             locked until a line arrives on stdin; then cancels, "released"
//   open FOLDER shared|exclusive
//                             prints "open" and keeps the table open until a line arrives,
//                             or "error CODE" when the open fails
//   append FOLDER COUNT TAG   opens the table, prints "ready" and waits for a line; then
//                             appends COUNT invoices named TAG-1 ...; a post refused for the
//                             table lock (another appender writing) is tried again; prints
//                             "appended COUNT after WAITS lock waits and RETRIES retries"
//
// Exit status 0 on success, 1 on a failure (its text on stderr), 2 on a bad command line.

#include "Engine.h"
#include "InvoiceSchema.h"
#include "PosixEnv.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

using namespace fatura::engine;

namespace {

// The lock waits of an appender, cut to a hundredth: four processes taking turns at the
// table lock otherwise spend minutes sleeping, and the retry counts stay as they are.
class QuickWaits final : public PosixEnv {
public:
    void sleepMs(unsigned milliseconds) override
    {
        ++waits;
        std::this_thread::sleep_for(std::chrono::microseconds(milliseconds * 10));
    }
    long waits = 0;
};

void say(const std::string& line)
{
    std::cout << line << std::endl;
}

void waitForLine()
{
    std::string line;
    std::getline(std::cin, line);
}

bool locateName(Cursor& cursor, const std::string& name)
{
    return cursor.locate("SAYIN1", name, false, false);
}

void saveOne(Cursor& cursor, const std::string& name)
{
    cursor.append();
    cursor.setText("TARIH", "10.12.2026");
    cursor.setText("SAYIN1", name);
    cursor.setNumber("TOPLAM", 118.0);
    cursor.post();
}

int run(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    const std::string command = argv[1];
    const std::string folder = argv[2];
    const std::string operand = argv[3];
    Cursor cursor("tfatura");

    if (command == "open") {
        OpenOptions options;
        options.exclusive = operand == "exclusive";
        try {
            cursor.open(folder, fatura::archive::kInvoiceTableName, options);
        } catch (const EngineError& e) {
            say("error " + std::to_string(e.code()));
            return 0;
        }
        say("open");
        waitForLine();
        return 0;
    }
    if (command == "append") {
        if (argc < 5)
            return 2;
        QuickWaits env;
        OpenOptions options;
        options.env = &env;
        cursor.open(folder, fatura::archive::kInvoiceTableName, options);
        const int count = std::atoi(operand.c_str());
        const std::string tag = argv[4];
        // All appenders start at a signal, so that they really write at the same time.
        say("ready");
        waitForLine();
        long retries = 0;
        for (int i = 1; i <= count; ++i) {
            cursor.append();
            cursor.setText("TARIH", "10.12.2026");
            cursor.setText("SAYIN1", tag + "-" + std::to_string(i));
            cursor.setNumber("TOPLAM", i);
            for (;;) {
                try {
                    cursor.post();
                    break;
                } catch (const EngineError& e) {
                    // A failed post keeps the values; saving again is what a user would do.
                    if (e.code() != errc::TableLock || ++retries > 100000)
                        throw;
                }
            }
        }
        say("appended " + std::to_string(count) + " after " + std::to_string(env.waits) + " lock waits and "
            + std::to_string(retries) + " retries");
        return 0;
    }

    cursor.open(folder, fatura::archive::kInvoiceTableName);
    if (command == "save") {
        saveOne(cursor, operand);
        say("saved " + cursor.getText("REC_ID"));
        return 0;
    }
    if (command == "locate") {
        say(locateName(cursor, operand) ? "found " + cursor.getText("REC_ID") : std::string("missing"));
        return 0;
    }
    if (command == "hold") {
        if (!locateName(cursor, operand))
            return 1;
        cursor.edit();
        cursor.setText("SAYIN2", "being edited");
        say("editing");
        waitForLine();
        cursor.cancel();
        say("released");
        return 0;
    }
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
