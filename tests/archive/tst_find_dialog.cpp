// The find-invoice dialog on its own, over a real archive, with a stand-in for the invoice page.
#include "ActiveWindow.h"
#include "ArchiveFixture.h"
#include "HandMadeArchive.h"
#include "InvoiceArchive.h"
#include "InvoiceFields.h"
#include "InvoiceListModel.h"
#include "Tfatura_bul.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include <cstring>
#include <memory>

using namespace fatura;
using namespace fatura::testing;
using archive::InvoiceListModel;
using archive::Tfatura_bul;

namespace {

class PageStandIn final : public archive::InvoiceFields {
public:
    QHash<QString, QString> texts;
    QHash<QString, long double> numbers;
    QString text(const QString& control) const override { return texts.value(control); }
    void setText(const QString& control, const QString& text) override { texts[control] = text; }
    long double number(const QString& control) override { return numbers.value(control); }
    void setNumber(const QString& control, long double value) override { numbers[control] = value; }
    void focusDate() override {}
};

const std::vector<Customer> kCustomers = {
    {"05.01.2026", "Mehmet Kaya", "Çankaya", "1111111111"},
    {"12.01.2026", "Ali Veli", "Kadıköy", "2222222222"},
    {"15.02.2026", "AHMET DEMİR", "Kadıköy", "9876543210"},
    {"15.03.2026", "ahmed özkan", "Konak", "9870000000"},
    {"20.03.2026", "Zeynep Şahin", "Üsküdar", "3333333333"},
};

} // namespace

class TestFindDialog : public QObject {
    Q_OBJECT

    std::unique_ptr<FakePlatform> fakes;
    std::unique_ptr<ArchiveFolder> folder;
    PageStandIn page;
    std::unique_ptr<archive::InvoiceArchive> archive;
    std::unique_ptr<Tfatura_bul> dialog;
    std::vector<std::int32_t> ids;

    void openArchive(const std::vector<Customer>& customers = kCustomers)
    {
        ids = folder->add(customers);
        archive->open(folder->path());
    }
    void show() { QVERIFY(showActive(*dialog)); }
    engine::Cursor& table() { return archive->table(); }
    std::int32_t current() { return table().hasCurrent() ? table().currentRecordId() : 0; }
    int selectedRow()
    {
        const QModelIndexList rows = dialog->list()->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows[0].row() : -1;
    }
    QString shown(int row, int column) { return dialog->model()->index(row, column).data().toString(); }
    QPushButton* button(const char* caption) { return dialog->button(QString::fromUtf8(caption)); }

private slots:
    void initTestCase() {}

    void init()
    {
        fakes = std::make_unique<FakePlatform>();
        folder = std::make_unique<ArchiveFolder>();
        page = {};
        archive = std::make_unique<archive::InvoiceArchive>(page);
        dialog = std::make_unique<Tfatura_bul>(*archive);
    }

    void cleanup()
    {
        dialog.reset();
        archive.reset();
        folder.reset();
        fakes.reset();
    }

    void windowLayout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("S1") << "S1" << QRect(8, 8, 77, 21);
        QTest::newRow("S2") << "S2" << QRect(87, 8, 174, 21);
        QTest::newRow("S3") << "S3" << QRect(263, 8, 99, 21);
        QTest::newRow("S4") << "S4" << QRect(364, 8, 99, 21);
        QTest::newRow("list") << "LISTE" << QRect(8, 32, 473, 321);
        QTest::newRow("KAYDA GİT") << "KAYDA GİT" << QRect(8, 368, 75, 25);
        QTest::newRow("YENİ SORGU") << "YENİ SORGU" << QRect(88, 368, 84, 25);
        QTest::newRow("FATURA SİL") << "FATURA SİL" << QRect(184, 368, 75, 25);
        QTest::newRow("ÇIKIŞ") << "ÇIKIŞ" << QRect(408, 368, 75, 25);
    }
    void windowLayout()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("FATURA BUL"));
        QCOMPARE(dialog->size(), QSize(491, 404));
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
        QWidget* w = dialog->button(name);
        if (!w)
            w = dialog->findChild<QWidget*>(name);
        QVERIFY(w);
        QCOMPARE(w->geometry(), geometry);
        if (auto* box = qobject_cast<QLineEdit*>(w))
            QCOMPARE(box->palette().color(QPalette::Base), QColor(234, 231, 213));
        if (auto* b = qobject_cast<QPushButton*>(w)) {
            QVERIFY(b->styleSheet().contains(QStringLiteral("rgb(244, 244, 240)")));
            QVERIFY(b->styleSheet().contains(QStringLiteral("rgb(0, 60, 116)")));
        }
    }

    void listHasTheFourFieldsAndNoEditing()
    {
        openArchive();
        show();
        QTableView* list = dialog->list();
        const int widths[] = {75, 175, 100, 100};
        const char* titles[] = {"TARIH", "SAYIN1", "VDAIRESI", "VNO"};
        QCOMPARE(list->model()->columnCount(), 4);
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(list->columnWidth(c), widths[c]);
            QCOMPARE(list->model()->headerData(c, Qt::Horizontal).toString(), QString::fromLatin1(titles[c]));
        }
        QVERIFY(!list->verticalHeader()->isVisible());
        QVERIFY(list->showGrid());
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(!(list->model()->flags(list->model()->index(0, 1)) & Qt::ItemIsEditable));
        QCOMPARE(list->palette().color(QPalette::Inactive, QPalette::Highlight),
                 list->palette().color(QPalette::Active, QPalette::Highlight));
        QCOMPARE(shown(2, 0), QStringLiteral("15.02.2026"));
        QCOMPARE(shown(2, 1), QStringLiteral("AHMET DEMİR"));
        QCOMPARE(shown(2, 2), QStringLiteral("Kadıköy"));
        QCOMPARE(shown(2, 3), QStringLiteral("9876543210"));
        QCOMPARE(selectedRow(), 0);
    }

    void firstFocusAndTabOrder()
    {
        openArchive();
        show();
        QTRY_COMPARE(QApplication::focusWidget(), dialog->searchBox(1));
        const QList<QWidget*> order = {dialog->searchBox(2), dialog->searchBox(3), dialog->searchBox(4), dialog->list(),
                                       button("KAYDA GİT"), button("YENİ SORGU"), button("ÇIKIŞ"), button("FATURA SİL"),
                                       dialog->searchBox(1)};
        for (QWidget* next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    // Each keystroke searches from the start of the table; a further letter that matches
    // nothing leaves the record found for the letters before it.
    void typingSearchesAtEveryKeystroke()
    {
        openArchive();
        show();
        QLineEdit* s2 = dialog->searchBox(2);
        const struct {
            char key;
            int record;
        } steps[] = {{'a', 1}, {'h', 2}, {'m', 2}, {'x', 2}};
        for (const auto& step : steps) {
            QTest::keyClick(s2, step.key);
            QCOMPARE(current(), ids[std::size_t(step.record)]);
            QCOMPARE(selectedRow(), step.record);
        }
        QCOMPARE(s2->text(), QStringLiteral("ahmx"));
        // Emptying the box goes to the first record.
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(s2, Qt::Key_Backspace);
        QCOMPARE(current(), ids[0]);
        QCOMPARE(selectedRow(), 0);
    }

    void eachBoxSearchesItsOwnField_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("record");
        QTest::newRow("S1 date prefix") << 1 << "15.0" << 2;
        QTest::newRow("S2 name, Turkish capital") << 2 << "zeynep ş" << 4;
        QTest::newRow("S3 tax office, dotless i") << 3 << "KADI" << 1;
        QTest::newRow("S3 tax office, lower case") << 3 << "kon" << 3;
        QTest::newRow("S4 tax number") << 4 << "987" << 2;
        QTest::newRow("S4 second match") << 4 << "98700" << 3;
    }
    void eachBoxSearchesItsOwnField()
    {
        QFETCH(int, box);
        QFETCH(QString, typed);
        QFETCH(int, record);
        openArchive();
        show();
        // The other boxes play no part.
        dialog->searchBox(box == 2 ? 1 : 2)->setText(QStringLiteral("zzz"));
        dialog->searchBox(box)->setText(typed);
        QCOMPARE(current(), ids[std::size_t(record)]);
        QCOMPARE(selectedRow(), record);
    }

    void newQueryEmptiesTheBoxesAndGoesToTheFirstRecord()
    {
        openArchive();
        show();
        dialog->searchBox(3)->setText(QStringLiteral("kon"));
        dialog->searchBox(4)->setText(QStringLiteral("333"));
        QCOMPARE(current(), ids[4]);
        button("YENİ SORGU")->click();
        for (int i = 1; i <= 4; ++i)
            QVERIFY(dialog->searchBox(i)->text().isEmpty());
        QCOMPARE(current(), ids[0]);
        QCOMPARE(QApplication::focusWidget(), dialog->searchBox(1));
    }

    void listAndTableFollowEachOther()
    {
        openArchive();
        show();
        QTableView* list = dialog->list();
        list->setFocus();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(3, 1)).center());
        QCOMPARE(current(), ids[3]);
        QCOMPARE(selectedRow(), 3);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(current(), ids[4]);
        QTest::keyClick(list, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(current(), ids[0]);
        dialog->searchBox(2)->setText(QStringLiteral("ali"));
        QCOMPARE(selectedRow(), 1);
    }

    void deleteAsksFirst_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("FATURA SİL, Yes") << false << int(MessageBoxes::Answer::Yes) << true;
        QTest::newRow("FATURA SİL, No") << false << int(MessageBoxes::Answer::No) << false;
        QTest::newRow("FATURA SİL, dismissed") << false << int(MessageBoxes::Answer::Closed) << false;
        QTest::newRow("Ctrl+Delete, OK") << true << int(MessageBoxes::Answer::Yes) << true;
        QTest::newRow("Ctrl+Delete, Cancel") << true << int(MessageBoxes::Answer::No) << false;
        QTest::newRow("Ctrl+Delete, dismissed") << true << int(MessageBoxes::Answer::Closed) << false;
    }
    void deleteAsksFirst()
    {
        QFETCH(bool, byKey);
        QFETCH(int, answer);
        QFETCH(bool, deleted);
        openArchive();
        show();
        dialog->searchBox(2)->setText(QStringLiteral("ahmet"));
        fakes->boxes.answers << MessageBoxes::Answer(answer);
        if (byKey) {
            dialog->list()->setFocus();
            QTest::keyClick(dialog->list(), Qt::Key_Delete, Qt::ControlModifier);
        } else {
            button("FATURA SİL")->click();
        }
        QCOMPARE(fakes->boxes.shown.size(), 1);
        const ShownBox& box = fakes->boxes.shown[0];
        if (byKey) {
            QCOMPARE(box.kind, ShownBox::Confirm);
            QCOMPARE(box.text, QStringLiteral("Delete record?"));
        } else {
            QCOMPARE(box.kind, ShownBox::Ask);
            QCOMPARE(box.text, QStringLiteral("\r\nAKTİF FATURA SİLİNECEK.\r\n\r\nDEVAM EDİLSİN Mİ?"));
        }
        QVERIFY(dialog->isVisible());
        QCOMPARE(folder->count(), deleted ? 4u : 5u);
        QCOMPARE(dialog->model()->rowCount(), deleted ? 4 : 5);
        // After a delete the record that followed is current, and the list shows it.
        QCOMPARE(current(), ids[deleted ? 3 : 2]);
        QCOMPARE(selectedRow(), 2);
        QCOMPARE(shown(2, 1), deleted ? QStringLiteral("ahmed özkan") : QStringLiteral("AHMET DEMİR"));
    }

    void buttonsThatNeedARecordDoNothingOnAnEmptyTable()
    {
        openArchive({{"01.01.2026", "Son", "", ""}});
        show();
        fakes->boxes.answers << MessageBoxes::Answer::Yes;
        button("FATURA SİL")->click();
        QCOMPARE(folder->count(), 0u);
        QCOMPARE(dialog->model()->rowCount(), 0);
        QCOMPARE(selectedRow(), -1);
        button("FATURA SİL")->click();
        dialog->list()->setFocus();
        QTest::keyClick(dialog->list(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(fakes->boxes.shown.size(), 1);
        button("KAYDA GİT")->click();
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->goToRecord());
        dialog->searchBox(2)->setText(QStringLiteral("s"));
        button("YENİ SORGU")->click();
        QVERIFY(fakes->boxes.shown.size() == 1); // no engine error either
        button("ÇIKIŞ")->click();
        QVERIFY(!dialog->isVisible());
    }

    void goToRecordFlag_data()
    {
        QTest::addColumn<QString>("howClosed");
        QTest::addColumn<bool>("flag");
        QTest::newRow("KAYDA GİT") << "KAYDA GİT" << true;
        QTest::newRow("ÇIKIŞ") << "ÇIKIŞ" << false;
        QTest::newRow("close box") << "close" << false;
        QTest::newRow("Escape") << "Escape" << false;
    }
    void goToRecordFlag()
    {
        QFETCH(QString, howClosed);
        QFETCH(bool, flag);
        openArchive();
        show();
        button("KAYDA GİT")->click();
        QVERIFY(dialog->goToRecord());
        show();
        QVERIFY(dialog->goToRecord()); // opening leaves it as it was
        if (howClosed == QLatin1String("close"))
            dialog->close();
        else if (howClosed == QLatin1String("Escape"))
            QTest::keyClick(dialog->searchBox(1), Qt::Key_Escape);
        else
            dialog->button(howClosed)->click();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->goToRecord(), flag);
    }

    void reopeningKeepsTheTextsAndThePosition()
    {
        openArchive();
        show();
        dialog->searchBox(2)->setText(QStringLiteral("zey"));
        dialog->searchBox(4)->setText(QStringLiteral("98"));
        button("ÇIKIŞ")->click();
        show();
        QCOMPARE(dialog->searchBox(2)->text(), QStringLiteral("zey"));
        QCOMPARE(dialog->searchBox(4)->text(), QStringLiteral("98"));
        QCOMPARE(current(), ids[2]);
        QCOMPARE(selectedRow(), 2);
    }

    // Another copy of the program adds and deletes invoices while the dialog is closed; the
    // next opening lists the table as it now is.
    void listFollowsChangesMadeBetweenOpenings()
    {
        openArchive();
        show();
        dialog->searchBox(2)->setText(QStringLiteral("zey"));
        button("ÇIKIŞ")->click();
        {
            engine::Cursor other = folder->open();
            QVERIFY(other.gotoRecordId(ids[1]));
            other.deleteRecord();
            QVERIFY(other.gotoRecordId(ids[3]));
            other.deleteRecord();
        }
        folder->add({{"01.04.2026", "Yeni Müşteri", "", ""}});
        show();
        const QStringList expected = folder->names();
        QCOMPARE(expected, (QStringList{"Mehmet Kaya", "AHMET DEMİR", "Zeynep Şahin", "Yeni Müşteri"}));
        QCOMPARE(dialog->model()->rowCount(), expected.size());
        for (int row = 0; row < expected.size(); ++row)
            QCOMPARE(shown(row, 1), expected[row]);
        QCOMPARE(selectedRow(), 2);
        dialog->searchBox(2)->setText(QStringLiteral("yeni"));
        QCOMPARE(selectedRow(), 3);
    }

    // The list must not read the table whole: only the runs of rows that are shown, while
    // every row stays reachable.
    void largeListReadsOnlyWhatItShows()
    {
        std::vector<Customer> many;
        std::vector<QByteArray> names;
        for (int i = 0; i < 3000; ++i)
            names.push_back(QByteArray("Müşteri ") + QByteArray::number(i));
        for (const QByteArray& n : names)
            many.push_back({"01.01.2026", n.constData(), "", ""});
        many[2222].name = "Kuzey Tekstil";
        openArchive(many);
        {
            engine::Cursor other = folder->open();
            QVERIFY(other.gotoRecordId(ids[100]));
            other.deleteRecord();
        }
        show();
        InvoiceListModel* model = dialog->model();
        QCOMPARE(model->rowCount(), 2999);
        QVERIFY2(model->rowsRead() <= 2 * InvoiceListModel::kRun, qPrintable(QString::number(model->rowsRead())));
        dialog->searchBox(2)->setText(QStringLiteral("kuzey"));
        QCOMPARE(selectedRow(), 2221);
        QCOMPARE(shown(2221, 1), QStringLiteral("Kuzey Tekstil"));
        QCOMPARE(shown(100, 1), QStringLiteral("Müşteri 101"));
        QTest::keyClick(dialog->list(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(current(), ids.back());
        QCOMPARE(shown(2998, 1), QStringLiteral("Müşteri 2999"));
        QVERIFY2(model->rowsRead() <= 8 * InvoiceListModel::kRun, qPrintable(QString::number(model->rowsRead())));
        for (int row : {0, 63, 64, 99, 100, 127, 128, 2998})
            QCOMPARE(model->rowOf(model->recordIdAt(row)), row);
    }
    // Slots as five appends, two deletes and one more append left them: the new record took
    // the slot freed last, so slot order and RecordID order differ.
    void archiveMadeOutsideTheProgramIsBrowsedSearchedLoadedAndSaved()
    {
        folder = std::make_unique<ArchiveFolder>(false);
        using Slot = HandMadeArchive::Slot;
        const auto text = [](const char* utf8) { return cp1254(QString::fromUtf8(utf8)); };
        std::vector<Slot> records(5);
        records[0] = {false, 1, 1, 501, {{"TARIH", text("03.01.2026")}, {"SAYIN1", text("Şükrü Öztürk")},
                                        {"VDAIRESI", text("Kadıköy")}}, {{"TOPLAM", 118}}};
        records[1] = {true, 0, 2, 502, {{"SAYIN1", text("Silinmiş Kayıt")}}, {}};
        records[2] = {false, 3, 3, 503, {{"TARIH", text("04.01.2026")}, {"SAYIN1", text("Ali Veli")}}, {}};
        records[3] = {false, 4, 6, 506,
                    {{"TARIH", text("09.01.2026")}, {"SAYIN1", text("Zeynep Kaya")}, {"C1", text("Çimento 50 kg")},
                     {"B1", text("Torba")}, {"YANLIZ", text("YALNIZ: Dörtyüzyirmibir TL")}, {"VNO", text("1234")}},
                    {{"M1", 2}, {"F1", 210.5}, {"T1", 421}, {"YEKUN", 421}, {"KDV", 75.78}, {"TOPLAM", 496.78}}};
        records[4] = {false, 5, 5, 505, {{"TARIH", text("08.01.2026")}, {"SAYIN1", text("Mehmet Demir")}}, {}};
        QVERIFY(HandMadeArchive().write(folder->path(), records, 2, 6, 506));
        QVERIFY(!QFile::exists(folder->path() + QStringLiteral("fatura.idx")));

        archive->open(folder->path());
        show();
        const QStringList inOrder = {"Şükrü Öztürk", "Ali Veli", "Mehmet Demir", "Zeynep Kaya"};
        QCOMPARE(dialog->model()->rowCount(), 4);
        for (int row = 0; row < 4; ++row)
            QCOMPARE(shown(row, 1), inOrder[row]);
        QCOMPARE(shown(0, 2), QStringLiteral("Kadıköy"));
        dialog->searchBox(2)->setText(QStringLiteral("zey"));
        QCOMPARE(selectedRow(), 3);
        QCOMPARE(current(), 6);
        button("KAYDA GİT")->click();
        QVERIFY(dialog->goToRecord());
        archive->find(nullptr, [this] { return dialog->goToRecord(); });
        QCOMPARE(page.texts.value("SAYIN1"), QStringLiteral("Zeynep Kaya"));
        QCOMPARE(page.texts.value("C1"), QStringLiteral("Çimento 50 kg"));
        QCOMPARE(page.texts.value("YALNIZ"), QStringLiteral("YALNIZ: Dörtyüzyirmibir TL"));
        QCOMPARE(page.texts.value("VERGIHESAPNO"), QStringLiteral("1234"));
        QCOMPARE(page.texts.value("SAYIN2"), QString());
        QCOMPARE(page.numbers.value("F1"), 210.5L);
        QCOMPARE(page.numbers.value("TOPLAM"), (long double)(496.78)); // the stored double, unrounded
        QCOMPARE(archive->editMode(), 'D');

        page.texts["SAYIN2"] = QStringLiteral("Düzeltildi");
        archive->save(nullptr);
        {
            engine::Cursor c = folder->open(true);
            QVERIFY(c.gotoRecordId(6));
            QCOMPARE(fromCp1254(c.getText("SAYIN2")), QStringLiteral("Düzeltildi"));
            QCOMPARE(c.getNumber("REC_ID"), 506.0);
            QCOMPARE(c.currentSlot(), 4u);
            QCOMPARE(c.recordCount(), 4u);
        }
        archive->setEditModeNew();
        page.texts["SAYIN1"] = QStringLiteral("Yeni Fatura");
        archive->save(nullptr);
        engine::Cursor c = folder->open(true);
        QVERIFY(c.gotoRecordId(7));
        QCOMPARE(fromCp1254(c.getText("SAYIN1")), QStringLiteral("Yeni Fatura"));
        QCOMPARE(c.getNumber("REC_ID"), 507.0);
        QCOMPARE(c.currentSlot(), 2u);
        QCOMPARE(c.recordCount(), 5u);
        c.close();
        QCOMPARE(QString::fromStdString(
                     [&] {
                         std::string all;
                         for (const std::string& fault : engine::verifyTable(folder->folder(), "fatura"))
                             all += fault + '\n';
                         return all;
                     }()),
                 QString());
    }
    // A table made elsewhere may keep its records in the order of a user field; the list then
    // follows that order, and a search still lands on its row.
    void tableOrderedByAnotherKeyIsListedInThatOrder()
    {
        folder = std::make_unique<ArchiveFolder>(false);
        engine::TableDefinition byName = archive::invoiceTableDefinition();
        byName.primaryIndex.keyFields = {byName.fieldNumber("SAYIN1")};
        byName.primaryIndex.caseInsensitive = true;
        engine::createTable(folder->folder(), archive::kInvoiceTableName, byName);
        std::vector<Customer> many;
        std::vector<QByteArray> names;
        for (int i = 0; i < 200; ++i)
            names.push_back(QByteArray("Müşteri ") + QByteArray::number(1000 - i));
        for (const QByteArray& n : names)
            many.push_back({"01.01.2026", n.constData(), "", ""});
        openArchive(many);
        show();
        QCOMPARE(dialog->model()->rowCount(), 200);
        QCOMPARE(shown(0, 1), QStringLiteral("Müşteri 1000")); // texts compare byte by byte
        QCOMPARE(shown(1, 1), QStringLiteral("Müşteri 801"));
        QCOMPARE(shown(199, 1), QStringLiteral("Müşteri 999"));
        dialog->searchBox(2)->setText(QStringLiteral("müşteri 9"));
        QCOMPARE(current(), ids[100]); // Müşteri 900, first in name order
        QCOMPARE(selectedRow(), 100);
        QCOMPARE(shown(100, 1), QStringLiteral("Müşteri 900"));
    }
};

QTEST_MAIN(TestFindDialog)
#include "tst_find_dialog.moc"
