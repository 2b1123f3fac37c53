// Real processes on one archive on disk: this test and copies of lock_helper (see there),
// each with its own open files, as two copies of the program would be.

#include "EngineTestSupport.h"
#include "PosixEnv.h"

#include <QProcess>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <set>

using namespace enginetest;

namespace {

// This process's lock waits, counted instead of slept.
class CountedWaits final : public PosixEnv {
public:
    void sleepMs(unsigned milliseconds) override { slept += milliseconds; }
    unsigned long long slept = 0;
};

// Generous bounds for a loaded machine; nothing here is timed.
constexpr int kStartMs = 60000;
constexpr int kRunMs = 600000;

} // namespace

class MultiProcessTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void savedByOneIsFoundByTheOthersNextLocate();
    void deleteFailsWhileAnotherProcessEditsTheRecord();
    void fourAppendersEndWithEveryRecord();
    void exclusiveUseRefusedWhileAnotherProcessHasTheTable();

private:
    std::unique_ptr<QProcess> start(const QStringList& arguments);
    // The first line the helper prints, or a failed check.
    QString lineFrom(QProcess& helper);
    QString runToEnd(const QStringList& arguments);
    void openHere(Cursor& cursor);

    std::unique_ptr<QTemporaryDir> dir_;
    QString folder_;
    CountedWaits env_;
};

void MultiProcessTest::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    folder_ = dir_->path() + "/";
    createTable(folder_.toStdString(), kInvoiceTableName, invoiceTableDefinition());
    env_.slept = 0;
}

std::unique_ptr<QProcess> MultiProcessTest::start(const QStringList& arguments)
{
    auto helper = std::make_unique<QProcess>();
    helper->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper->start(QStringLiteral(LOCK_HELPER_PATH), arguments);
    if (!helper->waitForStarted(kStartMs))
        qFatal("lock_helper did not start");
    return helper;
}

QString MultiProcessTest::lineFrom(QProcess& helper)
{
    while (!helper.canReadLine()) {
        if (!helper.waitForReadyRead(kRunMs))
            return QStringLiteral("(no answer from lock_helper)");
    }
    return QString::fromUtf8(helper.readLine()).trimmed();
}

QString MultiProcessTest::runToEnd(const QStringList& arguments)
{
    auto helper = start(arguments);
    const QString line = lineFrom(*helper);
    helper->waitForFinished(kRunMs);
    if (helper->exitStatus() != QProcess::NormalExit || helper->exitCode() != 0)
        return QStringLiteral("(lock_helper failed)");
    return line;
}

void MultiProcessTest::openHere(Cursor& cursor)
{
    OpenOptions options;
    options.env = &env_;
    cursor.open(folder_.toStdString(), kInvoiceTableName, options);
}

void MultiProcessTest::savedByOneIsFoundByTheOthersNextLocate()
{
    Cursor here("tfatura");
    openHere(here);
    QVERIFY(!here.locate("SAYIN1", "Kuzey Ticaret", false, false));

    const QString saved = runToEnd({"save", folder_, "Kuzey Ticaret"});
    QVERIFY2(saved.startsWith("saved "), qPrintable(saved));
    QVERIFY(here.locate("SAYIN1", "Kuzey Ticaret", false, false));
    QCOMPARE(QString::fromStdString(here.getText("REC_ID")), saved.mid(6));
    QCOMPARE(here.recordCount(), 1u);

    here.append();
    here.setText("SAYIN1", "Guney Yapi");
    here.post();
    QCOMPARE(runToEnd({"locate", folder_, "Guney Yapi"}), "found " + QString::fromStdString(here.getText("REC_ID")));
}

void MultiProcessTest::deleteFailsWhileAnotherProcessEditsTheRecord()
{
    Cursor here("tfatura");
    openHere(here);
    here.append();
    here.setText("SAYIN1", "Kuzey Ticaret");
    here.setText("SAYIN2", "as saved");
    here.post();
    const std::string dat = folder_.toStdString() + kInvoiceTableName + ".dat";

    auto holder = start({"hold", folder_, "Kuzey Ticaret"});
    QCOMPARE(lineFrom(*holder), QStringLiteral("editing"));
    const QByteArray before = [&] {
        QFile f(QString::fromStdString(dat));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    QCOMPARE(engineErrorOf([&] { here.deleteRecord(); }), errc::TableLock);
    QCOMPARE(env_.slept, 15ull * 100);
    QFile after(QString::fromStdString(dat));
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), before);
    QVERIFY(here.locate("SAYIN1", "Kuzey Ticaret", false, false));
    QCOMPARE(here.getText("SAYIN2"), std::string("as saved"));

    holder->write("\n");
    QCOMPARE(lineFrom(*holder), QStringLiteral("released"));
    QVERIFY(holder->waitForFinished(kRunMs));
    here.deleteRecord();
    QCOMPARE(here.recordCount(), 0u);
}

void MultiProcessTest::fourAppendersEndWithEveryRecord()
{
    const QStringList tags = {"a", "b", "c", "d"};
    std::vector<std::unique_ptr<QProcess>> appenders;
    for (const QString& tag : tags)
        appenders.push_back(start({"append", folder_, "1000", tag}));
    for (auto& appender : appenders)
        QCOMPARE(lineFrom(*appender), QStringLiteral("ready"));
    for (auto& appender : appenders)
        appender->write("\n");
    for (auto& appender : appenders) {
        const QString line = lineFrom(*appender);
        QVERIFY2(line.startsWith("appended 1000 "), qPrintable(line));
        qInfo("%s", qPrintable(line));
        QVERIFY(appender->waitForFinished(kRunMs));
        QCOMPARE(appender->exitCode(), 0);
    }

    Cursor here("tfatura");
    openHere(here);
    QCOMPARE(here.recordCount(), 4000u);
    std::set<std::int32_t> ids;
    std::set<std::int32_t> recordIds;
    std::map<std::string, int> perTag;
    here.first();
    do {
        ids.insert(static_cast<std::int32_t>(here.getNumber("REC_ID")));
        recordIds.insert(here.currentRecordId());
        const std::string name = here.getText("SAYIN1");
        ++perTag[name.substr(0, name.find('-'))];
    } while (here.next());
    QCOMPARE(ids.size(), std::size_t(4000));
    QCOMPARE(*ids.begin(), 1);
    QCOMPARE(*ids.rbegin(), 4000);
    QCOMPARE(recordIds.size(), std::size_t(4000));
    for (const QString& tag : tags)
        QCOMPARE(perTag[tag.toStdString()], 1000);
    here.close();

    const std::vector<std::string> faults = verifyTable(folder_.toStdString(), kInvoiceTableName);
    QVERIFY2(faults.empty(), faults.empty() ? "" : faults.front().c_str());
    QProcess tablo;
    tablo.start(QStringLiteral(TABLO_PATH), {"check", folder_});
    QVERIFY(tablo.waitForFinished(kRunMs));
    const QString report = QString::fromUtf8(tablo.readAllStandardOutput());
    QCOMPARE(tablo.exitCode(), 0);
    QVERIFY2(report.contains("OK, 4000 records"), qPrintable(report));
}

void MultiProcessTest::exclusiveUseRefusedWhileAnotherProcessHasTheTable()
{
    auto shared = start({"open", folder_, "shared"});
    QCOMPARE(lineFrom(*shared), QStringLiteral("open"));
    Cursor here;
    OpenOptions exclusive;
    exclusive.env = &env_;
    exclusive.exclusive = true;
    QCOMPARE(engineErrorOf([&] { here.open(folder_.toStdString(), kInvoiceTableName, exclusive); }),
             errc::AccessDenied);
    shared->write("\n");
    QVERIFY(shared->waitForFinished(kRunMs));

    openHere(here);
    QCOMPARE(runToEnd({"open", folder_, "exclusive"}), QStringLiteral("error 11013"));
    here.close();
    auto alone = start({"open", folder_, "exclusive"});
    QCOMPARE(lineFrom(*alone), QStringLiteral("open"));
    QCOMPARE(engineErrorOf([&] { openHere(here); }), errc::AccessDenied);
    alone->write("\n");
    QVERIFY(alone->waitForFinished(kRunMs));
}

QTEST_GUILESS_MAIN(MultiProcessTest)
#include "tst_engine_multiprocess.moc"
