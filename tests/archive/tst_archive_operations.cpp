// "KAYDET", "BUL" and the edit mode on the main window, against a real archive.
#include "ActiveWindow.h"
#include "ArchiveFixture.h"
#include "InvoiceArchive.h"
#include "InvoicePage.h"
#include "InvoiceRecord.h"
#include "LayoutPage.h"
#include "NumericEdit.h"
#include "SpinEdit.h"
#include "TextEdit.h"
#include "Tfatura_basimi.h"
#include "Tfatura_bul.h"
#include "TurkishLocale.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

using namespace fatura;
using namespace fatura::testing;
using archive::Tfatura_bul;

class TestArchiveOperations : public QObject {
    Q_OBJECT

    std::unique_ptr<FakePlatform> fakes;
    std::unique_ptr<ArchiveFolder> folder;
    std::unique_ptr<Tfatura_basimi> window;
    std::unique_ptr<Tfatura_bul> dialog;

    void start(bool withArchive = true)
    {
        folder = std::make_unique<ArchiveFolder>(withArchive);
        window = std::make_unique<Tfatura_basimi>(folder->path());
        dialog = std::make_unique<Tfatura_bul>(window->archive(), window.get());
        window->setFindDialog(dialog.get());
        QVERIFY(showActive(*window));
    }

    InvoicePage& page() { return *window->invoicePage(); }
    TextEdit* text(const char* name) { return page().text(QString::fromLatin1(name)); }
    NumericEdit* number(const char* name) { return page().number(QString::fromLatin1(name)); }
    void click(const char* caption) { window->toolButton(QString::fromUtf8(caption))->click(); }
    void save() { click("KAYDET"); }
    void newInvoice()
    {
        fakes->boxes.answers << MessageBoxes::Answer::Yes;
        click("YENİ");
    }
    QPushButton* dialogButton(const char* caption) { return dialog->button(QString::fromUtf8(caption)); }

    // Clicks "BUL" and runs inDialog while the find dialog is open; false when it never opened.
    bool find(const std::function<void()>& inDialog)
    {
        bool opened = false;
        QTimer::singleShot(0, dialog.get(), [&] {
            if (!dialog->isVisible())
                return;
            opened = true;
            inDialog();
            if (dialog->isVisible())
                dialog->reject(); // a failed check must not leave the test waiting
        });
        click("BUL");
        QCoreApplication::processEvents();
        // Focus moves only reach the controls of the active window.
        activate(*window);
        return opened;
    }
    // "BUL", a search for name in S2, "KAYDA GİT".
    void load(const QString& name)
    {
        QVERIFY(find([&] {
            dialog->searchBox(2)->setText(name);
            dialogButton("KAYDA GİT")->click();
        }));
    }

    void typeInvoice(const QString& date, const QString& name)
    {
        text("TARIH")->setText(date);
        text("SAYIN1")->setText(name);
    }

    engine::Cursor table() { return folder->open(true); }
    // The stored SAYIN1 of the record with this RecordID; empty when it is gone.
    QString storedName(std::int32_t id)
    {
        engine::Cursor c = table();
        return c.gotoRecordId(id) ? fromCp1254(c.getText("SAYIN1")) : QString();
    }
    QList<ShownBox> boxes() const { return fakes->boxes.shown; }

private slots:
    void initTestCase() { pinTurkishLocale(); }

    void init() { fakes = std::make_unique<FakePlatform>(); }

    void cleanup()
    {
        dialog.reset();
        window.reset();
        folder.reset();
        fakes.reset();
    }

    void twoSavesAfterNewMakeOneRecord()
    {
        start();
        newInvoice();
        QCOMPARE(window->editMode(), 'Y');
        typeInvoice("01.02.2026", "Ahmet Yılmaz");
        save();
        QCOMPARE(window->editMode(), 'D');
        text("SAYIN1")->setText("Ahmet Yılmaz İnşaat");
        save();
        QCOMPARE(folder->count(), 1u);
        QCOMPARE(folder->names(), QStringList{"Ahmet Yılmaz İnşaat"});
        QVERIFY(boxes().size() == 1 && boxes()[0].kind == ShownBox::Ask); // only YENİ's question
        newInvoice();
        typeInvoice("02.02.2026", "Mehmet Kaya");
        save();
        QCOMPARE(folder->names(), (QStringList{"Ahmet Yılmaz İnşaat", "Mehmet Kaya"}));
    }

    void savedInvoiceLoadsBackWithEveryValue()
    {
        start();
        // Every field of the record gets a value of its own; texts carry a trailing blank the
        // archive does not keep, and Turkish letters that must survive code page 1254.
        int k = 0;
        for (const archive::InvoiceFieldMap& m : archive::invoiceRecordMap()) {
            const QString control = QString::fromLatin1(m.control.data(), m.control.size());
            ++k;
            if (m.kind == archive::InvoiceFieldKind::Text)
                page().text(control)->setText(QStringLiteral("Ğüşiöç%1 ").arg(k).left(m.size - 1) + QLatin1Char(' '));
            else
                page().number(control)->setValue(k * 1.25L);
        }
        text("TARIH")->setText(QStringLiteral("07.03.2026 "));
        save();
        newInvoice();
        QCOMPARE(number("M1")->value(), 0.0L);
        load(QStringLiteral("ğüş")); // case-insensitive through code page 1254
        QCOMPARE(window->editMode(), 'D');
        k = 0;
        for (const archive::InvoiceFieldMap& m : archive::invoiceRecordMap()) {
            const QString control = QString::fromLatin1(m.control.data(), m.control.size());
            ++k;
            if (m.kind == archive::InvoiceFieldKind::Text) {
                const QString expected = control == QLatin1String("TARIH")
                    ? QStringLiteral("07.03.2026")
                    : QStringLiteral("Ğüşiöç%1 ").arg(k).left(m.size - 1).trimmed();
                QCOMPARE(page().text(control)->text(), expected);
            } else {
                QCOMPARE(page().number(control)->value(), k * 1.25L);
            }
        }
        QCOMPARE(folder->count(), 1u);
    }

    void blankDateIsRefused_data()
    {
        QTest::addColumn<QString>("date");
        QTest::newRow("empty") << QString();
        QTest::newRow("blanks") << QStringLiteral("    ");
        QTest::newRow("tab, blank and line break") << QStringLiteral("\t \r\n");
    }
    void blankDateIsRefused()
    {
        QFETCH(QString, date);
        start();
        typeInvoice("01.02.2026", "Ahmet");
        save();
        text("SAYIN1")->setText("Changed");
        text("TARIH")->setText(date);
        text("SAYIN2")->setFocus();
        save();
        QCOMPARE(boxes().size(), 1);
        QCOMPARE(boxes()[0].kind, ShownBox::Warn);
        QCOMPARE(boxes()[0].text, QStringLiteral("\r\nFATURA TARİHİNİ GİRMEK ZORUNDASINIZ."));
        QCOMPARE(QApplication::focusWidget(), text("TARIH"));
        QCOMPARE(window->editMode(), 'D');
        QCOMPARE(folder->names(), QStringList{"Ahmet"});
    }

    void textsAreCutToTheirFieldSizes_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("typed");
        QTest::addColumn<int>("kept");
        QTest::newRow("C1 holds 20") << "C1" << "C1" << 30 << 20;
        QTest::newRow("C2 holds 50, so 30 stay whole") << "C2" << "C2" << 30 << 30;
        QTest::newRow("YALNIZ into YANLIZ, 150") << "YALNIZ" << "YANLIZ" << 200 << 150;
        QTest::newRow("VERGIDAIRESI into VDAIRESI, 35") << "VERGIDAIRESI" << "VDAIRESI" << 40 << 35;
        QTest::newRow("VERGIHESAPNO into VNO, 30") << "VERGIHESAPNO" << "VNO" << 31 << 30;
        QTest::newRow("TARIH holds 20") << "TARIH" << "TARIH" << 25 << 20;
    }
    void textsAreCutToTheirFieldSizes()
    {
        QFETCH(QString, control);
        QFETCH(QString, field);
        QFETCH(int, typed);
        QFETCH(int, kept);
        start();
        QString long_;
        for (int i = 0; long_.size() < typed; ++i)
            long_ += QString::number(i % 10) + QStringLiteral("ş");
        long_.truncate(typed);
        if (control != QLatin1String("TARIH"))
            text("TARIH")->setText("01.02.2026");
        page().text(control)->setText(long_);
        save();
        engine::Cursor c = table();
        QCOMPARE(fromCp1254(c.getText(field.toStdString())), long_.left(kept));
        QCOMPARE(page().text(control)->text(), long_); // the screen is not cut
    }

    void loadingKeepsTheRateAndShowsStoredTotals()
    {
        start();
        page().rate()->setValue(18);
        text("TARIH")->setText("01.02.2026");
        text("SAYIN1")->setText("Oranlı");
        number("M1")->setFocus();
        QTest::keyClicks(number("M1"), "2");
        number("F1")->setFocus();
        QTest::keyClicks(number("F1"), "100");
        save(); // the focus move completes F1 and recomputes
        QCOMPARE(table().getNumber("KDV"), 36.0);
        QCOMPARE(table().getNumber("TOPLAM"), 236.0);
        QCOMPARE(text("YALNIZ")->text().isEmpty(), false);
        QCOMPARE(fromCp1254(table().getText("YANLIZ")), text("YALNIZ")->text());

        newInvoice();
        page().rate()->setValue(8);
        load(QStringLiteral("oran"));
        QCOMPARE(page().rate()->value(), 8);
        QCOMPARE(number("KDV")->value(), 36.0L);
        QCOMPARE(number("TOPLAM")->value(), 236.0L);
        number("M1")->setFocus();
        text("SAYIN2")->setFocus();
        QCOMPARE(number("KDV")->value(), 16.0L);
        QCOMPARE(number("TOPLAM")->value(), 216.0L);
    }

    void findOnAnEmptyArchiveSaysSoAndNeverOpens()
    {
        start();
        QVERIFY(!find([] {}));
        QCOMPARE(boxes().size(), 1);
        QCOMPARE(boxes()[0].kind, ShownBox::Warn);
        QCOMPARE(boxes()[0].text, QStringLiteral("\r\nKAYITLI FATURA YOK."));
        QCOMPARE(window->editMode(), 'Y');
    }

    void goToRecordAfterDeletingTheLastInvoiceDoesNothing()
    {
        start();
        typeInvoice("01.02.2026", "Tek Fatura");
        save();
        newInvoice();
        text("SAYIN1")->setText("On screen");
        fakes->boxes.answers << MessageBoxes::Answer::Yes;
        bool stayedOpen = false;
        QVERIFY(find([&] {
            dialogButton("FATURA SİL")->click();
            dialogButton("KAYDA GİT")->click();
            stayedOpen = dialog->isVisible();
            dialogButton("ÇIKIŞ")->click();
        }));
        QVERIFY(stayedOpen);
        QCOMPARE(folder->count(), 0u);
        QCOMPARE(text("SAYIN1")->text(), QStringLiteral("On screen"));
        QCOMPARE(window->editMode(), 'Y');
    }

    void exitAfterBrowsingLoadsNothing_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("ÇIKIŞ") << false;
        QTest::newRow("close box, after an earlier KAYDA GİT") << true;
    }
    void exitAfterBrowsingLoadsNothing()
    {
        QFETCH(bool, closeBox);
        start();
        folder->add({{"01.01.2026", "Birinci", "", ""}, {"02.01.2026", "İkinci", "", ""}});
        load(QStringLiteral("bir"));
        text("SAYIN2")->setText("typed since");
        QVERIFY(find([&] {
            dialog->searchBox(2)->setText(QStringLiteral("İki"));
            if (closeBox)
                dialog->close();
            else
                dialogButton("ÇIKIŞ")->click();
        }));
        QCOMPARE(text("SAYIN1")->text(), QStringLiteral("Birinci"));
        QCOMPARE(text("SAYIN2")->text(), QStringLiteral("typed since"));
        QVERIFY(!dialog->goToRecord());
    }

    // The dialog moved the table's current record to another invoice and was left without
    // choosing it: the save must still reach the invoice on screen, and only it.
    void saveAfterTheDialogMovedElsewhereUpdatesTheLoadedInvoice()
    {
        start();
        const auto ids = folder->add({{"01.01.2026", "Birinci", "", ""}, {"02.01.2026", "İkinci", "", ""},
                                      {"03.01.2026", "Üçüncü", "", ""}});
        load(QStringLiteral("İki")); // ANSI upper case: i is I, never İ
        QVERIFY(find([&] {
            dialog->searchBox(2)->setText(QStringLiteral("üç"));
            dialogButton("ÇIKIŞ")->click();
        }));
        QCOMPARE(window->archive().table().currentRecordId(), ids[2]);
        text("SAYIN1")->setText("İkinci, düzeltildi");
        save();
        QCOMPARE(storedName(ids[0]), QStringLiteral("Birinci"));
        QCOMPARE(storedName(ids[1]), QStringLiteral("İkinci, düzeltildi"));
        QCOMPARE(storedName(ids[2]), QStringLiteral("Üçüncü"));
        QCOMPARE(folder->count(), 3u);
    }

    // The table's current record was changed by another copy since this one last read it:
    // what is loaded is the invoice as it is stored now, and a record deleted meanwhile loads
    // nothing.
    void loadingReadsTheRecordAsStoredNow_data()
    {
        QTest::addColumn<bool>("deleted");
        QTest::newRow("changed by another copy") << false;
        QTest::newRow("deleted by another copy") << true;
    }
    void loadingReadsTheRecordAsStoredNow()
    {
        QFETCH(bool, deleted);
        start();
        const auto ids = folder->add({{"01.01.2026", "Birinci", "", ""}, {"02.01.2026", "İkinci", "", ""}});
        load(QStringLiteral("bir"));
        newInvoice();
        {
            engine::Cursor other = folder->open();
            QVERIFY(other.gotoRecordId(ids[0]));
            if (deleted) {
                other.deleteRecord();
            } else {
                other.edit();
                other.setText("SAYIN2", "Yeni adres");
                other.post();
            }
        }
        QVERIFY(find([&] { dialogButton("KAYDA GİT")->click(); }));
        if (deleted) {
            QCOMPARE(text("SAYIN1")->text(), QString());
            QCOMPARE(window->editMode(), 'Y');
        } else {
            QCOMPARE(text("SAYIN1")->text(), QStringLiteral("Birinci"));
            QCOMPARE(text("SAYIN2")->text(), QStringLiteral("Yeni adres"));
            QCOMPARE(window->editMode(), 'D');
        }
    }

    void saveAfterTheLoadedInvoiceWasDeletedStoresANewRecord_data()
    {
        QTest::addColumn<bool>("byAnotherCopy");
        QTest::newRow("deleted in the dialog") << false;
        QTest::newRow("deleted through another cursor") << true;
    }
    void saveAfterTheLoadedInvoiceWasDeletedStoresANewRecord()
    {
        QFETCH(bool, byAnotherCopy);
        start();
        const auto ids = folder->add({{"01.01.2026", "Birinci", "", ""}, {"02.01.2026", "İkinci", "", ""}});
        load(QStringLiteral("bir"));
        if (byAnotherCopy) {
            engine::Cursor other = folder->open();
            QVERIFY(other.gotoRecordId(ids[0]));
            other.deleteRecord();
        } else {
            fakes->boxes.answers << MessageBoxes::Answer::Yes;
            QVERIFY(find([&] {
                dialog->searchBox(2)->setText(QStringLiteral("bir"));
                dialogButton("FATURA SİL")->click();
                dialogButton("ÇIKIŞ")->click();
            }));
        }
        text("SAYIN2")->setText("kept");
        save();
        QCOMPARE(folder->names(), (QStringList{"İkinci", "Birinci"}));
        QCOMPARE(storedName(ids[1]), QStringLiteral("İkinci"));
        const std::int32_t added = window->archive().storedRecordId();
        QVERIFY(added != ids[0] && added != ids[1]);
        QCOMPARE(window->editMode(), 'D');
        // And the next save updates the new record, not a third one.
        save();
        QCOMPARE(folder->count(), 2u);
    }

    void failingStoreIsCancelledAndTheInvoiceStays()
    {
        folder = std::make_unique<ArchiveFolder>(false);
        // A required field that the invoice leaves empty makes the post fail.
        engine::TableDefinition strict = archive::invoiceTableDefinition();
        strict.fields[strict.fieldNumber("SAYIN2") - 1].required = true;
        engine::createTable(folder->folder(), archive::kInvoiceTableName, strict);
        window = std::make_unique<Tfatura_basimi>(folder->path());
        dialog = std::make_unique<Tfatura_bul>(window->archive(), window.get());
        window->setFindDialog(dialog.get());
        QVERIFY(showActive(*window));

        typeInvoice("01.02.2026", "Eksik");
        save();
        QCOMPARE(boxes().size(), 1);
        QCOMPARE(boxes()[0].kind, ShownBox::Error);
        QVERIFY2(boxes()[0].text.startsWith(QStringLiteral("TESKAV Engine Error # 9732 ")), qPrintable(boxes()[0].text));
        QCOMPARE(window->archive().table().state(), engine::CursorState::Browse);
        QCOMPARE(window->editMode(), 'Y');
        QCOMPARE(text("SAYIN1")->text(), QStringLiteral("Eksik"));
        QCOMPARE(folder->count(), 0u);

        text("SAYIN2")->setText("Tamam");
        save();
        QCOMPARE(boxes().size(), 1);
        QCOMPARE(folder->names(), QStringList{"Eksik"});
        QCOMPARE(window->editMode(), 'D');
    }

    void withoutTheArchiveFileEveryOperationMeetsAClosedTable()
    {
        start(false);
        QCOMPARE(boxes().size(), 1);
        QCOMPARE(boxes()[0].kind, ShownBox::Error);
        QCOMPARE(boxes()[0].text, QStringLiteral("TESKAV Engine Error # 11010 Table or backup file 'fatura' does not exist."));
        // The steps after the archive did not run.
        QCOMPARE(window->layoutPage()->position(0), QStringLiteral("0 | 0"));
        QVERIFY(text("TARIH")->text().isEmpty());
        QVERIFY(QFile::exists(folder->path() + QStringLiteral("fatura_ayar.ini")));

        const QString closed = QStringLiteral("tfatura: Cannot perform this operation on a closed dataset.");
        QVERIFY(!find([] {}));
        QCOMPARE(boxes().size(), 2);
        QCOMPARE(boxes()[1].kind, ShownBox::Error);
        QCOMPARE(boxes()[1].text, closed);

        // The date check comes before the table.
        save();
        QCOMPARE(boxes().size(), 3);
        QCOMPARE(boxes()[2].kind, ShownBox::Warn);

        text("TARIH")->setText("01.02.2026");
        number("M1")->setFocus();
        QTest::keyClicks(number("M1"), "3");
        save();
        QCOMPARE(boxes().size(), 4);
        QCOMPARE(boxes()[3].kind, ShownBox::Error);
        QCOMPARE(boxes()[3].text, closed);
        QCOMPARE(QApplication::focusWidget(), text("TARIH")); // the focus move happened first
        QCOMPARE(window->editMode(), 'Y');
    }
};

QTEST_MAIN(TestArchiveOperations)
#include "tst_archive_operations.moc"
