#include "ActiveWindow.h"
#include "Engine.h"
#include "FakePlatform.h"
#include "MainWindowFixture.h"
#include "InvoiceSchema.h"
#include "InvoicePage.h"
#include "LayoutFile.h"
#include "LayoutPage.h"
#include "NumericEdit.h"
#include "SpinEdit.h"
#include "TextEdit.h"
#include "Tfatura_basimi.h"
#include "Tucretsiz_yazilimlar_icin_bilgi.h"
#include "TurkishLocale.h"

#include <QLabel>
#include <QLineEdit>
#include <QTextBrowser>
#include <QMenu>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <memory>

using namespace fatura;
using fatura::testing::FakePlatform;
using fatura::testing::ShownBox;

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<FakePlatform> fakes;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<Tfatura_basimi> window;

    QWidget* field(const QString& name) { return window->findChild<QWidget*>(name); }
    QWidget* focused() { return QApplication::focusWidget(); }

    void showWindow()
    {
        QVERIFY(fatura::testing::showActive(*window));
    }

    void focusField(const QString& name)
    {
        QWidget* w = field(name);
        QVERIFY2(w, qPrintable(name));
        if (auto* spin = qobject_cast<SpinEdit*>(w))
            w = spin->lineEdit();
        w->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(focused(), w);
    }

    QString focusedName()
    {
        QWidget* w = focused();
        if (w && qobject_cast<SpinEdit*>(w->parentWidget()))
            w = w->parentWidget();
        return w ? w->objectName() : QString();
    }

private slots:
    void initTestCase() { fatura::testing::pinTurkishLocale(); }

    void init()
    {
        fakes = std::make_unique<FakePlatform>();
        folder = std::make_unique<QTemporaryDir>();
        window = std::make_unique<Tfatura_basimi>(programFolder(*folder));
    }

    void cleanup()
    {
        window.reset();
        folder.reset();
        fakes.reset();
    }

    void windowHasItsTitleSizeAndPages()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("VERNOLA 1.0  [ Güncelleme : 08 Ocak 2009 ]"));
        QCOMPARE(window->size(), QSize(466, 472));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QStackedWidget* pages = window->pages();
        QCOMPARE(pages->objectName(), QStringLiteral("SAYFA"));
        QStringList names;
        for (int i = 0; i < pages->count(); ++i)
            names << pages->widget(i)->objectName();
        QCOMPARE(names, (QStringList{"FATURA", "AYAR", "RAPOR"}));
        QCOMPARE(window->currentPageName(), QStringLiteral("FATURA"));
    }

    void toolStripButtons_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("width");
        QTest::newRow("YENİ") << "YENİ" << 5 << 60;
        QTest::newRow("KAYDET") << "KAYDET" << 69 << 60;
        QTest::newRow("BUL") << "BUL" << 133 << 60;
        QTest::newRow("RAPOR") << "RAPOR" << 212 << 76;
        QTest::newRow("RAPOR AYARLARI") << "RAPOR AYARLARI" << 295 << 117;
        QTest::newRow("????") << "????" << 417 << 43;
    }
    void toolStripButtons()
    {
        QFETCH(QString, caption);
        QFETCH(int, left);
        QFETCH(int, width);
        QToolButton* b = window->toolButton(caption);
        QVERIFY(b);
        QCOMPARE(b->geometry(), QRect(left, 5, width, 22));
        QCOMPARE(b->focusPolicy(), Qt::NoFocus);
        QVERIFY(b->font().bold());
    }

    void toolStripHasALoweredOuterAndARaisedInnerBevel()
    {
        auto* strip = window->findChild<QFrame*>("ARACLAR");
        QVERIFY(strip);
        QCOMPARE(strip->geometry(), QRect(0, 0, 466, 31));
        const QImage image = strip->grab().toImage();
        const QColor face(0xD3, 0xCE, 0xA9);
        const auto lightness = [&image](int x, int y) { return image.pixelColor(x, y).lightness(); };
        const int right = image.width() - 1, bottom = image.height() - 1;
        QCOMPARE(image.pixelColor(2, 2), face);
        QCOMPARE(image.pixelColor(right - 2, bottom - 2), face);
        // Outer edge: shadow at the top and left, light at the bottom and right.
        QVERIFY(lightness(5, 0) < face.lightness() && lightness(0, 15) < face.lightness());
        QVERIFY(lightness(200, bottom) > face.lightness() && lightness(right, 15) > face.lightness());
        // Inner edge, one pixel in: the other way round.
        QVERIFY(lightness(5, 1) > face.lightness() && lightness(1, 15) > face.lightness());
        QVERIFY(lightness(200, bottom - 1) < face.lightness() && lightness(right - 1, 15) < face.lightness());
    }

    void reportMenuHasPreviewAndPrint()
    {
        QStringList items;
        for (QAction* a : window->reportMenu()->actions())
            items << a->text();
        QCOMPARE(items, (QStringList{"ÖNİZLEME", "YAZDIR"}));
        QCOMPARE(window->reportMenu()->objectName(), QStringLiteral("MNMENU"));
    }

    void startupPutsTodaysDateAndFocusesTarih()
    {
        fakes->clock.date = QDate(2026, 3, 7);
        showWindow();
        QCOMPARE(window->invoicePage()->text("TARIH")->text(), QLocale().toString(QDate(2026, 3, 7), QLocale::ShortFormat));
        QCOMPARE(window->editMode(), 'Y');
        QTRY_COMPARE(focusedName(), QStringLiteral("TARIH"));
        QVERIFY(fakes->boxes.shown.isEmpty());
    }

    void firstStartWritesTheDefaultLayoutAndLoadsIt()
    {
        showWindow();
        QFile ini(folder->filePath("fatura_ayar.ini"));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QCOMPARE(ini.readAll(), defaultLayoutFile());
        QCOMPARE(window->layoutPage()->position(0), QStringLiteral("16 | 400"));
        QVERIFY(fakes->boxes.shown.isEmpty());
    }

    void existingLayoutFileIsLeftAsItIs()
    {
        const QByteArray own = "; mine\r\n[FATURE_AYAR]\r\nTARIH=1 | 2\r\n";
        QFile ini(folder->filePath("fatura_ayar.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(own);
        ini.close();
        showWindow();
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QCOMPARE(ini.readAll(), own);
        QCOMPARE(window->layoutPage()->position(0), QStringLiteral("1 | 2"));
        QCOMPARE(window->layoutPage()->position(1), QStringLiteral("0 | 0"));
    }

    void unwritableProgramFolderStopsTheStartUp()
    {
        // A folder that cannot exist: its parent is a plain file. (Tests run as root, for whom
        // permission bits would not stop the write.)
        QFile blocker(folder->filePath("not-a-folder"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString programFolder = blocker.fileName() + QLatin1Char('/');
        window = std::make_unique<Tfatura_basimi>(programFolder);
        showWindow();
        QCOMPARE(fakes->boxes.shown.size(), 1);
        QCOMPARE(fakes->boxes.shown[0].kind, ShownBox::Error);
        QVERIFY2(fakes->boxes.shown[0].text.startsWith(
                     QStringLiteral("Cannot create file \"%1fatura_ayar.ini\". ").arg(programFolder)),
                 qPrintable(fakes->boxes.shown[0].text));
        QCOMPARE(window->layoutPage()->position(0), QStringLiteral("0 | 0"));
        QVERIFY(window->invoicePage()->text("TARIH")->text().isEmpty());
        QVERIFY(window->isVisible());
    }

    void failingStartupStepShowsErrorAndSkipsTheRest()
    {
        auto& steps = window->startupSteps();
        const int dateStep = int(std::find_if(steps.begin(), steps.end(),
                                              [](const auto& s) { return s.name == "PutTodaysDate"; })
                                 - steps.begin());
        QVERIFY(dateStep > 0 && dateStep < steps.size());
        steps.insert(dateStep, {QStringLiteral("Broken"), [] { throw std::runtime_error("Archive cannot be opened"); }});
        showWindow();
        QCOMPARE(fakes->boxes.shown.size(), 1);
        QCOMPARE(fakes->boxes.shown[0].kind, ShownBox::Error);
        QCOMPARE(fakes->boxes.shown[0].title, applicationTitle());
        QCOMPARE(fakes->boxes.shown[0].text, QStringLiteral("Archive cannot be opened."));
        QVERIFY(window->invoicePage()->text("TARIH")->text().isEmpty());
        QVERIFY(window->isVisible());
        focusField("SAYIN1");
        QTest::keyClicks(focused(), "ACME");
        QCOMPARE(window->invoicePage()->text("SAYIN1")->text(), QStringLiteral("ACME"));
    }

    void enterWalksTheTabOrder_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<QString>("to");
        QTest::newRow("F8 wraps to TARIH") << "F8" << false << "TARIH";
        QTest::newRow("Shift+Enter TARIH back to F8") << "TARIH" << true << "F8";
        QTest::newRow("SAYIN3 to VERGIDAIRESI") << "SAYIN3" << false << "VERGIDAIRESI";
        QTest::newRow("VERGIHESAPNO to M1") << "VERGIHESAPNO" << false << "M1";
        QTest::newRow("C1 to F1") << "C1" << false << "F1";
        QTest::newRow("F1 skips T1 to M2") << "F1" << false << "M2";
        QTest::newRow("M2 back to F1") << "M2" << true << "F1";
        QTest::newRow("ORAN, no tab stop, wraps to TARIH") << "ORAN" << false << "TARIH";
    }
    void enterWalksTheTabOrder()
    {
        QFETCH(QString, from);
        QFETCH(bool, shift);
        QFETCH(QString, to);
        showWindow();
        focusField(from);
        QTest::keyClick(focused(), Qt::Key_Return, shift ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(focusedName(), to);
    }

    void enterOnLayoutPageDoesNotMoveTheFocus()
    {
        showWindow();
        window->toolButton("RAPOR AYARLARI")->click();
        QCOMPARE(window->currentPageName(), QStringLiteral("AYAR"));
        focusField("A1");
        QTest::keyClick(focused(), Qt::Key_Return);
        QCOMPARE(focusedName(), QStringLiteral("A1"));
    }

    void enterDoesNotReachTheField()
    {
        showWindow();
        focusField("SAYIN1");
        QTest::keyClicks(focused(), "AB");
        QTest::keyClick(focused(), Qt::Key_Return);
        QCOMPARE(window->invoicePage()->text("SAYIN1")->text(), QStringLiteral("AB"));
        QCOMPARE(focusedName(), QStringLiteral("SAYIN2"));
    }

    void upDownRings_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("to");
        const int up = Qt::Key_Up, down = Qt::Key_Down;
        QTest::newRow("Up M1 -> M8") << "M1" << up << "M8";
        QTest::newRow("Down M8 -> M1") << "M8" << down << "M1";
        QTest::newRow("Up B3 -> M2") << "B3" << up << "M2";
        QTest::newRow("Down B8 -> M1") << "B8" << down << "M1";
        QTest::newRow("Down B1 -> M2") << "B1" << down << "M2";
        QTest::newRow("Up C1 -> C8") << "C1" << up << "C8";
        QTest::newRow("Down C4 -> C5") << "C4" << down << "C5";
        QTest::newRow("Up F1 -> F8") << "F1" << up << "F8";
        QTest::newRow("Down F8 -> F1") << "F8" << down << "F1";
        QTest::newRow("Up T1 -> TOPLAM") << "T1" << up << "TOPLAM";
        QTest::newRow("Down T8 -> YEKUN") << "T8" << down << "YEKUN";
        QTest::newRow("Down YEKUN -> KDV") << "YEKUN" << down << "KDV";
        QTest::newRow("Up YEKUN -> T8") << "YEKUN" << up << "T8";
        QTest::newRow("Down TOPLAM -> T1") << "TOPLAM" << down << "T1";
        QTest::newRow("Up KDV -> YEKUN") << "KDV" << up << "YEKUN";
        QTest::newRow("SAYIN2 stays") << "SAYIN2" << up << "SAYIN2";
        QTest::newRow("YALNIZ stays") << "YALNIZ" << down << "YALNIZ";
    }
    void upDownRings()
    {
        QFETCH(QString, from);
        QFETCH(int, key);
        QFETCH(QString, to);
        showWindow();
        focusField(from);
        QTest::keyClick(focused(), Qt::Key(key), Qt::ControlModifier);
        QCOMPARE(focusedName(), to);
    }

    void newInvoiceAnsweredYesClearsAllButTheRate()
    {
        fakes->clock.date = QDate(2026, 12, 1);
        showWindow();
        InvoicePage* page = window->invoicePage();
        page->text("SAYIN1")->setText("MÜŞTERİ");
        page->text("C3")->setText("Vida");
        page->number("F3")->setValue(12.5L);
        page->number("TOPLAM")->setValue(99);
        page->text("TARIH")->setText("x");
        page->rate()->setValue(8);
        focusField("C3");
        fakes->boxes.answers = {MessageBoxes::Answer::Yes};
        window->toolButton("YENİ")->click();
        QCOMPARE(fakes->boxes.shown.size(), 1);
        QCOMPARE(fakes->boxes.shown[0].kind, ShownBox::Ask);
        QCOMPARE(fakes->boxes.shown[0].text,
                 QStringLiteral("\r\nYENİ KAYDA GEÇİLECEK.\r\n\r\nEKRANDAKİ BİLGİLER SİLİNECEK."));
        QVERIFY(page->text("SAYIN1")->text().isEmpty());
        QVERIFY(page->text("C3")->text().isEmpty());
        QCOMPARE(double(page->number("F3")->storedValue()), 0.0);
        QCOMPARE(double(page->number("TOPLAM")->storedValue()), 0.0);
        QCOMPARE(page->text("TARIH")->text(), QLocale().toString(QDate(2026, 12, 1), QLocale::ShortFormat));
        QCOMPARE(page->rate()->value(), 8);
        QCOMPARE(focusedName(), QStringLiteral("TARIH"));
        QCOMPARE(window->editMode(), 'Y');
    }

    void newInvoiceAnsweredNoChangesNothing()
    {
        showWindow();
        InvoicePage* page = window->invoicePage();
        page->text("SAYIN1")->setText("MÜŞTERİ");
        page->number("M1")->setValue(3);
        focusField("C2");
        fakes->boxes.answers = {MessageBoxes::Answer::No};
        window->toolButton("YENİ")->click();
        QCOMPARE(page->text("SAYIN1")->text(), QStringLiteral("MÜŞTERİ"));
        QCOMPARE(double(page->number("M1")->storedValue()), 3.0);
        QCOMPARE(focusedName(), QStringLiteral("C2"));
    }

    void newInvoiceBoxClosedCountsAsYes()
    {
        showWindow();
        window->invoicePage()->text("SAYIN2")->setText("x");
        window->toolButton("YENİ")->click(); // no scripted answer: the box was closed
        QVERIFY(window->invoicePage()->text("SAYIN2")->text().isEmpty());
    }

    void f12ClosesOnEveryPage_data()
    {
        QTest::addColumn<QString>("page");
        QTest::newRow("invoice page") << "FATURA";
        QTest::newRow("layout page") << "AYAR";
    }
    void f12ClosesOnEveryPage()
    {
        QFETCH(QString, page);
        showWindow();
        window->invoicePage()->text("SAYIN1")->setText("unsaved");
        window->showPage(page);
        QWidget* target = page == "FATURA" ? field("SAYIN1") : window->pages()->currentWidget();
        target->setFocus();
        QTest::keyClick(target, Qt::Key_F12, Qt::ShiftModifier);
        QVERIFY(!window->isVisible());
        QVERIFY(fakes->boxes.shown.isEmpty());
    }

    void aboutMissingShowsTheErrorBox()
    {
        showWindow();
        window->toolButton("????")->click();
        QCOMPARE(fakes->boxes.shown.size(), 1);
        QCOMPARE(fakes->boxes.shown[0].kind, ShownBox::Error);
        QCOMPARE(fakes->boxes.shown[0].title, QStringLiteral("Error"));
        QCOMPARE(fakes->boxes.shown[0].text, QStringLiteral("\r\nDosya bulunamadı.\r\n\r\nabout.exe"));
        QVERIFY(fakes->shell.started.isEmpty());
    }

    void aboutPresentIsStartedWithTheProgramName()
    {
        QFile about(folder->filePath("about.exe"));
        QVERIFY(about.open(QIODevice::WriteOnly));
        about.close();
        showWindow();
        window->toolButton("????")->click();
        QVERIFY(fakes->boxes.shown.isEmpty());
        QCOMPARE(fakes->shell.started, QStringList{folder->filePath("about.exe") + "|fatura"});
    }

    void informationLinkShowsTheWindowOnce()
    {
        Tucretsiz_yazilimlar_icin_bilgi info;
        window->setInformationWindow(&info);
        showWindow();
        auto* link = window->findChild<QLabel*>("BILGI");
        QVERIFY(link);
        QTest::mouseClick(link, Qt::LeftButton);
        QTRY_VERIFY(info.isVisible());
        QCOMPARE(info.windowTitle(), QStringLiteral("Bilgi:"));
        QCOMPARE(info.loadCount(), 1);
        QVERIFY(info.view()->toPlainText().contains(QStringLiteral("Ücretsiz")));
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(info.loadCount(), 1);
        info.hide();
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(info.loadCount(), 2);
    }

    void webLinksOpenInTheBrowser()
    {
        showWindow();
        QTest::mouseClick(window->findChild<QLabel*>("ADRES"), Qt::LeftButton);
        QTest::mouseClick(window->findChild<QLabel*>("UCRETLI"), Qt::LeftButton);
        QCOMPARE(fakes->shell.urls.size(), 2);
        QVERIFY(fakes->shell.urls[0].startsWith("https://"));
        QVERIFY(fakes->shell.urls[1] != fakes->shell.urls[0]);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
