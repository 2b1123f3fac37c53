// A change stopped at any moment, by the process being killed or by the power going out, is
// found wholly made or not made at all once the table is opened again; a change that returned
// survives both; damaged journal bytes give an engine error or a recovery.

#include "EngineTestSupport.h"

#include "FaultInjectionEnv.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

using namespace enginetest;

namespace {

// AD -> NOT of every record, the whole table as the tests compare it.
using Contents = std::map<std::string, std::string>;

Contents contentsOf(Cursor& c)
{
    Contents contents;
    c.first();
    if (!c.hasCurrent())
        return contents;
    do
        contents[c.getText("AD")] = c.getText("NOT");
    while (c.next());
    return contents;
}

std::string faultsText(const std::vector<std::string>& faults)
{
    std::string text;
    for (const std::string& f : faults)
        text += f + "; ";
    return text;
}

TableDefinition indexedDefinition()
{
    TableDefinition d = smallDefinition();
    IndexDef byName;
    byName.name = "ADX";
    byName.keyFields = {2};
    byName.caseInsensitive = true;
    d.secondaryIndexes.push_back(byName);
    return d;
}

enum class Change { AppendNew, AppendIntoFreed, Edit, EditKey, Delete };

// Makes the change through c; the record R<at> is the one edited or deleted.
void makeChange(Cursor& c, Change change, int at)
{
    const std::string name = "R" + std::to_string(at);
    switch (change) {
    case Change::AppendNew:
    case Change::AppendIntoFreed:
        c.append();
        c.setText("AD", "NEW");
        c.setText("NOT", "new record");
        c.post();
        break;
    case Change::Edit:
    case Change::EditKey:
        if (!c.locate("AD", name, false, false))
            throw std::runtime_error("no " + name);
        c.edit();
        if (change == Change::EditKey)
            c.setText("AD", "CHANGED");
        c.setText("NOT", "edited");
        c.post();
        break;
    case Change::Delete:
        if (!c.locate("AD", name, false, false))
            throw std::runtime_error("no " + name);
        c.deleteRecord();
        break;
    }
}

Contents changed(Contents contents, Change change, int at)
{
    const std::string name = "R" + std::to_string(at);
    switch (change) {
    case Change::AppendNew:
    case Change::AppendIntoFreed: contents["NEW"] = "new record"; break;
    case Change::Edit: contents[name] = "edited"; break;
    case Change::EditKey:
        contents.erase(name);
        contents["CHANGED"] = "edited";
        break;
    case Change::Delete: contents.erase(name); break;
    }
    return contents;
}

// A folder on a memory file system where there is one: the kill test writes a lot.
QString fastFolderTemplate()
{
    if (QDir("/dev/shm").exists())
        return "/dev/shm/tst_engine_crash-XXXXXX";
    return QDir::temp().filePath("tst_engine_crash-XXXXXX");
}

} // namespace

Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(FaultInjectionEnv::Survivors)

class CrashTest : public QObject {
    Q_OBJECT

private slots:
    void powerCutAtEveryWrite_data();
    void powerCutAtEveryWrite();
    void powerCutDuringAStreamOfChanges();
    void killedProcessLeavesWholeChanges();
    void damagedJournalFields_data();
    void damagedJournalFields();
    void indexOfAnotherTableIsRebuilt();
    void overlongFilesAreCutOnOpening();
    void readOnlyOpenWritesNothing();
};

void CrashTest::powerCutAtEveryWrite_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<FaultInjectionEnv::Survivors>("survivors");
    QTest::addColumn<bool>("sync");
    const std::pair<const char*, Change> changes[] = {{"append into a new slot", Change::AppendNew},
                                                      {"append into a freed slot", Change::AppendIntoFreed},
                                                      {"edit", Change::Edit},
                                                      {"edit of an indexed field", Change::EditKey},
                                                      {"delete", Change::Delete}};
    const std::pair<const char*, FaultInjectionEnv::Survivors> survivors[] = {
        {"no unsynced write kept", FaultInjectionEnv::Survivors::None},
        {"every unsynced write kept", FaultInjectionEnv::Survivors::All},
        {"some unsynced writes kept", FaultInjectionEnv::Survivors::Random}};
    for (const auto& [changeName, change] : changes) {
        for (const auto& [survivorName, kept] : survivors)
            QTest::addRow("%s, %s", changeName, survivorName) << change << kept << true;
    }
    QTest::addRow("append without syncing") << Change::AppendNew << FaultInjectionEnv::Survivors::None << false;
    QTest::addRow("delete without syncing") << Change::Delete << FaultInjectionEnv::Survivors::Random << false;
}

// The power goes out before each write of the change in turn, and once after it returned. The
// table opened afterwards passes the check and holds the change wholly or not at all; wholly
// when the change had returned (with syncing).
void CrashTest::powerCutAtEveryWrite()
{
    QFETCH(Change, change);
    QFETCH(FaultInjectionEnv::Survivors, survivors);
    QFETCH(bool, sync);
    constexpr int kRecords = 400; // the index on AD is two levels deep
    constexpr int kAt = 200;
    // The table before the change, made once and copied for every cut.
    std::string datBefore;
    std::string idxBefore;
    Contents before;
    {
        MemTable made(indexedDefinition());
        Cursor c;
        made.open(c);
        for (int i = 0; i < kRecords; ++i)
            made.add(c, "R" + std::to_string(i), "note " + std::to_string(i));
        if (change == Change::AppendIntoFreed) {
            QVERIFY(c.locate("AD", "R7", false, false));
            c.deleteRecord();
        }
        before = contentsOf(c);
        c.close();
        datBefore = made.datBytes();
        idxBefore = made.idxBytes();
    }
    bool returned = false;
    for (int cut = 0; !returned; ++cut) {
        MemTable t(indexedDefinition());
        t.env.setContents(t.dat(), datBefore);
        t.env.setContents(t.idx(), idxBefore);
        const Contents after = changed(before, change, kAt);

        FaultInjectionEnv faults(t.env);
        faults.trackDurability();
        {
            Cursor c;
            OpenOptions options;
            options.env = &faults;
            options.sync = sync;
            c.open(kFolder, t.name, options);
            faults.powerOffAfter(cut);
            try {
                makeChange(c, change, kAt);
                returned = !faults.poweredOff();
            } catch (const EngineError& e) {
                QVERIFY2(faults.poweredOff(), e.what());
            }
        }
        faults.restoreAfterPowerCut(survivors, 1000 + cut);

        Cursor c;
        t.open(c);
        const Contents found = contentsOf(c);
        const std::string where = "cut before write " + std::to_string(cut);
        QVERIFY2(found == before || found == after, where.c_str());
        if (returned && sync)
            QVERIFY2(found == after, where.c_str());
        QCOMPARE(c.recordCount(), std::uint32_t(found.size()));
        // The table takes further changes, and the index on AD finds what is there.
        t.add(c, "LATER", "x");
        QVERIFY(c.locate("AD", "later", true, false));
        for (const auto& [name, note] : found) {
            QVERIFY2(c.locate("AD", name, true, false), (where + ", " + name).c_str());
            QCOMPARE(c.getText("NOT"), note);
        }
        c.close();
        const std::vector<std::string> problems = verifyTable(kFolder, t.name, &t.env);
        QVERIFY2(problems.empty(), (where + ": " + faultsText(problems)).c_str());
    }
}

// Many changes one after another, with checkpoints of the journal among them, and the power
// going out at a random write: every change that returned is there.
void CrashTest::powerCutDuringAStreamOfChanges()
{
    QRandomGenerator random(20250210);
    // Wide records fill the journal ring after some tens of changes.
    TableDefinition wide = indexedDefinition();
    for (int i = 1; i <= 6; ++i)
        wide.fields.push_back(textField("DOLGU" + std::to_string(i), 512));
    for (int round = 0; round < 12; ++round) {
        MemTable t(wide);
        Contents expected;
        {
            Cursor c;
            t.open(c);
            for (int i = 0; i < 50; ++i) {
                t.add(c, "S" + std::to_string(i), "n");
                expected["S" + std::to_string(i)] = "n";
            }
        }
        FaultInjectionEnv faults(t.env);
        faults.trackDurability();
        Contents pending;
        {
            Cursor c;
            c.open(kFolder, t.name, {&faults});
            faults.powerOffAfter(random.bounded(3000));
            try {
                for (int n = 0;; ++n) {
                    Contents next = expected;
                    const std::string name = "T" + std::to_string(n);
                    const int op = expected.empty() ? 0 : random.bounded(3);
                    auto pick = std::next(expected.begin(), random.bounded(int(expected.size() ? expected.size() : 1)));
                    if (op == 0) {
                        next[name] = "t";
                        pending = next;
                        t.add(c, name, "t");
                    } else if (op == 1) {
                        next[pick->first] = "e" + std::to_string(n);
                        pending = next;
                        QVERIFY(c.locate("AD", pick->first, false, false));
                        c.edit();
                        c.setText("NOT", next[pick->first]);
                        c.post();
                    } else {
                        next.erase(pick->first);
                        pending = next;
                        QVERIFY(c.locate("AD", pick->first, false, false));
                        c.deleteRecord();
                    }
                    expected = next;
                }
            } catch (const EngineError&) {
                QVERIFY(faults.poweredOff());
            }
        }
        faults.restoreAfterPowerCut(FaultInjectionEnv::Survivors::Random, round);
        Cursor c;
        t.open(c);
        const Contents found = contentsOf(c);
        QVERIFY2(found == expected || found == pending, qPrintable(QString("round %1").arg(round)));
        c.close();
        const std::vector<std::string> problems = verifyTable(kFolder, t.name, &t.env);
        QVERIFY2(problems.empty(), faultsText(problems).c_str());
    }
}

// A child process makes changes without syncing and is killed at a random moment, 200 times
// over one table. Before each change it notes what it is about to do and after it that it
// returned, in a file it syncs; after each kill the table opens, passes the check, and holds
// exactly the changes that returned, plus perhaps the one under way.
void CrashTest::killedProcessLeavesWholeChanges()
{
    QTemporaryDir dir(fastFolderTemplate());
    QVERIFY(dir.isValid());
    const std::string folder = dir.path().toStdString() + "/";
    createTable(folder, "fatura", indexedDefinition());
    const std::string reportPath = folder + "report";
    Contents expected;
    QRandomGenerator random(424242);
    int underWay = 0; // kills that came while a change was being made

    for (int kill = 0; kill < 200; ++kill) {
        std::FILE* truncate = std::fopen(reportPath.c_str(), "w");
        QVERIFY(truncate);
        std::fclose(truncate);
        const std::uint32_t seed = random.generate();
        int started[2];
        QVERIFY(::pipe(started) == 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::close(started[0]);
            int status = 0;
            try {
                std::FILE* report = std::fopen(reportPath.c_str(), "a");
                Cursor c;
                OpenOptions options;
                options.sync = false;
                c.open(folder, "fatura", options);
                std::vector<std::string> names;
                for (const auto& [name, note] : contentsOf(c))
                    names.push_back(name);
                QRandomGenerator own(seed);
                // Opening (and any recovery) is done: from here on every moment is a change.
                const char ready = 1;
                if (::write(started[1], &ready, 1) != 1)
                    std::_Exit(4);
                auto note = [&](const std::string& line) {
                    std::fputs((line + "\n").c_str(), report);
                    std::fflush(report);
                    ::fsync(::fileno(report));
                };
                for (int n = 0;; ++n) {
                    const int op = names.size() < 20 ? 0 : names.size() > 60 ? 2 : own.bounded(3);
                    const std::string name = "K" + std::to_string(kill) + "-" + std::to_string(n);
                    const std::size_t pick = names.empty() ? 0 : own.bounded(int(names.size()));
                    if (op == 0) {
                        note("I " + name + " new");
                        c.append();
                        c.setText("AD", name);
                        c.setText("NOT", "new");
                        c.post();
                        names.push_back(name);
                    } else if (op == 1) {
                        note("E " + names[pick] + " " + name);
                        if (!c.locate("AD", names[pick], false, false))
                            std::_Exit(3);
                        c.edit();
                        c.setText("NOT", name);
                        c.post();
                    } else {
                        note("D " + names[pick] + " -");
                        if (!c.locate("AD", names[pick], false, false))
                            std::_Exit(3);
                        c.deleteRecord();
                        names.erase(names.begin() + std::ptrdiff_t(pick));
                    }
                    note("OK");
                }
            } catch (...) {
                status = 2;
            }
            std::_Exit(status);
        }
        ::close(started[1]);
        // Now and then the kill comes while the child opens the table, which may be while it
        // puts in place the change the last kill cut short.
        const bool early = kill % 10 == 9;
        char ready = 0;
        const bool opened = early || ::read(started[0], &ready, 1) == 1;
        ::usleep(useconds_t(random.bounded(early ? 3000 : 8000)));
        ::kill(child, SIGKILL);
        ::close(started[0]);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(opened && WIFSIGNALED(status),
                 qPrintable(QString("the child ended by itself with %1").arg(WEXITSTATUS(status))));

        // The changes that returned, and the one under way when the child was killed.
        QFile report(QString::fromStdString(reportPath));
        QVERIFY(report.open(QIODevice::ReadOnly));
        Contents pending = expected;
        bool open = false;
        for (const QByteArray& line : report.readAll().split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (line == "OK") {
                expected = pending;
                open = false;
            } else if (words.size() == 3) {
                pending = expected;
                open = true;
                if (words[0] == "D")
                    pending.erase(words[1].toStdString());
                else
                    pending[words[1].toStdString()] = words[2].toStdString();
            }
        }
        if (!open)
            pending = expected;
        underWay += open ? 1 : 0;

        Cursor c;
        c.open(folder, "fatura");
        const Contents found = contentsOf(c);
        const QString where = QString("kill %1").arg(kill);
        QVERIFY2(found == expected || found == pending, qPrintable(where));
        expected = found;
        c.close();
        const std::vector<std::string> problems = verifyTable(folder, "fatura");
        QVERIFY2(problems.empty(), qPrintable(where + ": " + QString::fromStdString(faultsText(problems))));
    }
    // Otherwise the kills all fell between changes and the test proved little.
    QVERIFY2(underWay > 100, qPrintable(QString::number(underWay)));
}

void CrashTest::damagedJournalFields_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ring offset, digest not matching") << 40 << QByteArray("\x01\x02\x03");
    QTest::newRow("state byte") << 60 << QByteArray("\x07");
    QTest::newRow("digest") << 70 << QByteArray("\xAA");
    QTest::newRow("magic") << 36 << QByteArray("X");
}

// Journal header fields left half-written or damaged are refused with an engine error rather
// than trusted; nothing is written to the files.
void CrashTest::damagedJournalFields()
{
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    MemTable t;
    {
        Cursor c;
        t.open(c);
        t.add(c, "A");
    }
    std::string idx = t.idxBytes();
    QCOMPARE(readAt<std::uint32_t>(idx, 36), 0x4E524A54u);
    idx.replace(std::size_t(offset), std::size_t(bytes.size()), bytes.constData(), std::size_t(bytes.size()));
    t.env.setContents(t.idx(), idx);
    const std::string dat = t.datBytes();
    Cursor c;
    QCOMPARE(engineErrorOf([&] { t.open(c); }), errc::HeaderCorrupt);
    QCOMPARE(t.idxBytes(), idx);
    QCOMPARE(t.datBytes(), dat);
}

// An index file that this engine wrote for another table (or for another state of this one)
// does not stand for the data file: it is made anew with its index definitions.
void CrashTest::indexOfAnotherTableIsRebuilt()
{
    MemTable t(indexedDefinition());
    MemTable other(indexedDefinition(), "diger");
    {
        Cursor c;
        t.open(c);
        for (int i = 0; i < 30; ++i)
            t.add(c, "T" + std::to_string(i));
        Cursor d;
        other.open(d);
        for (int i = 0; i < 40; ++i)
            other.add(d, "O" + std::to_string(i));
    }
    t.env.setContents(t.idx(), other.env.contents(other.idx()));
    Cursor c;
    t.open(c);
    QCOMPARE(c.recordCount(), 30u);
    QCOMPARE(browse(c).size(), 30);
    QCOMPARE(c.definition().secondaryIndexes.size(), std::size_t(1));
    QVERIFY(c.locate("AD", "t29", true, false));
    QVERIFY(!c.locate("AD", "o1", true, false));
    c.close();
    const std::vector<std::string> problems = verifyTable(kFolder, t.name, &t.env);
    QVERIFY2(problems.empty(), faultsText(problems).c_str());
}

// Bytes beyond the end the header gives (a slot or journal pages whose header write never
// happened) are cut off when the table is opened for writing.
void CrashTest::overlongFilesAreCutOnOpening()
{
    MemTable t;
    {
        Cursor c;
        t.open(c);
        t.add(c, "A");
    }
    const std::string dat = t.datBytes();
    const std::string idx = t.idxBytes();
    t.env.setContents(t.dat(), dat + std::string(100, '\x01'));
    t.env.setContents(t.idx(), idx + std::string(5000, '\x02'));
    QVERIFY(!verifyTable(kFolder, t.name, &t.env).empty());
    Cursor c;
    t.open(c);
    QCOMPARE(browse(c), QStringList{"A"});
    QCOMPARE(t.datBytes(), dat);
    QCOMPARE(t.idxBytes(), idx);
}

// Opening read-only writes nothing, even where the index file has to be made anew: it is then
// kept in memory.
void CrashTest::readOnlyOpenWritesNothing()
{
    MemTable t;
    {
        Cursor c;
        t.open(c);
        for (int i = 0; i < 5; ++i)
            t.add(c, "R" + std::to_string(i));
    }
    t.env.remove(t.idx());
    const std::string dat = t.datBytes();
    {
        Cursor c;
        OpenOptions options;
        options.readOnly = true;
        t.open(c, options);
        QVERIFY(c.isReadOnly());
        QCOMPARE(browse(c), QStringList({"R0", "R1", "R2", "R3", "R4"}));
        QVERIFY(c.locate("AD", "r3", true, false));
        QVERIFY(!t.env.exists(t.idx()));
        QCOMPARE(t.datBytes(), dat);
        // A writer in the same process gets a table of its own that makes the index file.
        Cursor writer;
        t.open(writer);
        QVERIFY(!writer.isReadOnly());
        QVERIFY(t.env.exists(t.idx()));
        t.add(writer, "R5");
        QCOMPARE(browse(c).size(), 6);
    }
    QVERIFY(t.datBytes() != dat);
    QVERIFY(verifyTable(kFolder, t.name, &t.env).empty());
}

QTEST_GUILESS_MAIN(CrashTest)
#include "tst_engine_crash.moc"
