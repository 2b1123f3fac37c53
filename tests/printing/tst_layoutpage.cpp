#include "FakePlatform.h"
#include "LayoutPage.h"
#include "SpinEdit.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace fatura;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QStringList creationOrderNames()
{
    QStringList names{"A1", "A2", "A3", "A4", "A6", "A5"};
    for (int n = 7; n <= 43; ++n)
        names << QStringLiteral("A%1").arg(n);
    return names;
}

// A page shown as its own window, as the main window would show it, on a fresh folder that
// holds the default settings file.
struct Fixture {
    QTemporaryDir dir;
    testing::FakePlatform fakes;
    LayoutPage page{dir.path() + "/"};

    Fixture()
    {
        EnsureLayoutFile(dir.path());
        page.LoadLayout(dir.path());
        page.show();
        page.activateWindow();
    }
    QCheckBox* box(const char* name) const { return page.findChild<QCheckBox*>(QLatin1String(name)); }
    QToolButton* button(const char* name) const { return page.findChild<QToolButton*>(QLatin1String(name)); }
    void click(const char* name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    void typeStep(const QString& text) const
    {
        QLineEdit* edit = page.stepField()->lineEdit();
        edit->setFocus();
        edit->selectAll();
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Backspace);
        else
            QTest::keyClicks(edit, text);
    }
};

// The colour covering most of a widget as it paints itself.
QColor dominantColour(QWidget* widget)
{
    const QImage image = widget->grab().toImage();
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y) | 0xFF000000u];
    QRgb best = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            best = it.key();
            most = it.value();
        }
    return QColor(best);
}

} // namespace

class TestLayoutPage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setEffectEnabled(Qt::UI_AnimateTooltip, false); }

    void boxesCarryNameHintAndStartingCaption();
    void boxesStandApartInsideThePage();
    void tabVisitsBoxesInCreationOrderSkippingStep();
    void paintedColours_data();
    void paintedColours();
    void loadFillsCaptionsAsRead();

    void nudgeButtonsMoveTickedBoxes_data();
    void nudgeButtonsMoveTickedBoxes();
    void stepOfTenMovesTheQuantityColumnTogether();
    void checkAllMovesEveryFieldAndTheMargin();
    void typedStepBeyondLimitsIsBroughtIn_data();
    void typedStepBeyondLimitsIsBroughtIn();

    void saveWritesEveryCaptionTickedOrNot();
    void saveFailureIsShownAndCaptionsStay();
    void toolbarKeepsFocusAndShowsHints();
    void sampleAndBackAreSignalled();
};

void TestLayoutPage::boxesCarryNameHintAndStartingCaption()
{
    LayoutPage page(QString{});
    const QList<QCheckBox*> boxes = page.findChildren<QCheckBox*>();
    QStringList names;
    for (QCheckBox* b : boxes)
        names << b->objectName();
    QCOMPARE(names, creationOrderNames());

    for (int i = 0; i < kLayoutEntries; ++i) {
        QCheckBox* b = page.checkBox(i);
        QCOMPARE(b->objectName(), QLatin1String(kLayoutTable[i].checkBox));
        QCOMPARE(b->toolTip(), QLatin1String(kLayoutTable[i].key));
        QCOMPARE(b->text(), QStringLiteral("0 | 0"));
        QVERIFY(!b->isChecked());
    }
    QCOMPARE(page.findChild<QCheckBox*>("A5")->toolTip(), QStringLiteral("VERGIDAIRESI"));
    QCOMPARE(page.findChild<QCheckBox*>("A6")->toolTip(), QStringLiteral("VERGIHESAPNO"));
}

void TestLayoutPage::boxesStandApartInsideThePage()
{
    LayoutPage page(QString{});
    QCOMPARE(page.size(), QSize(466, 472));
    const QRect area = page.rect();
    for (int i = 0; i < kLayoutEntries; ++i) {
        const QRect r = page.checkBox(i)->geometry();
        QVERIFY2(area.contains(r) && r.top() > 31 && r.height() == 15, kLayoutTable[i].checkBox);
        for (int j = i + 1; j < kLayoutEntries; ++j)
            QVERIFY2(!r.intersects(page.checkBox(j)->geometry()),
                     qPrintable(QStringLiteral("%1 overlaps %2").arg(kLayoutTable[i].checkBox, kLayoutTable[j].checkBox)));
    }
    // Item rows line up: row n of every column shares a top.
    for (int row = 0; row < 8; ++row) {
        const int top = page.findChild<QCheckBox*>(QStringLiteral("A%1").arg(7 + row))->y();
        QCOMPARE(top, 174 + 17 * row);
        for (int column = 1; column < 4; ++column)
            QCOMPARE(page.findChild<QCheckBox*>(QStringLiteral("A%1").arg(7 + row + 8 * column))->y(), top);
    }
    QCOMPARE(page.findChild<QCheckBox*>("A5")->geometry(), QRect(104, 123, 140, 15));
    QCOMPARE(page.findChild<QCheckBox*>("A6")->geometry(), QRect(336, 123, 116, 15));
    QCOMPARE(page.findChild<QCheckBox*>("A43")->geometry(), QRect(107, 341, 86, 15));
}

void TestLayoutPage::paintedColours_data()
{
    QTest::addColumn<QString>("caption"); // label text or check box name; empty: the page itself
    QTest::addColumn<QColor>("colour");
    const QColor caption(192, 172, 135), head(88, 184, 126), box(228, 224, 201);
    QTest::newRow("page") << QString() << QColor(220, 215, 186);
    QTest::newRow("caption FATURA TARİHİ") << "FATURA TARİHİ" << caption;
    QTest::newRow("caption MİKTARI") << "MİKTARI" << caption;
    QTest::newRow("caption RAPOR SAYFASI") << "RAPOR SAYFASI " << caption;
    QTest::newRow("head FİYATI") << "FİYATI" << head;
    QTest::newRow("head TUTARI") << "TUTARI" << head;
    QTest::newRow("note") << " NOT: Üst-Alt Kenar Boşluk | Sağ - Sol Kenar Boşluk " << QColor(0, 128, 0);
    for (const char* name : {"A1", "A2", "A6", "A7", "A30", "A41", "A42", "A43"})
        QTest::newRow(qPrintable(QStringLiteral("check box %1").arg(QLatin1String(name)))) << QString::fromLatin1(name) << box;
}

void TestLayoutPage::paintedColours()
{
    QFETCH(QString, caption);
    QFETCH(QColor, colour);
    LayoutPage page(QString{});
    QWidget* widget = &page;
    if (!caption.isEmpty()) {
        widget = page.findChild<QCheckBox*>(caption);
        for (QLabel* label : page.findChildren<QLabel*>())
            if (label->text() == caption)
                widget = label;
    }
    QVERIFY2(widget, qPrintable(caption));
    QCOMPARE(dominantColour(widget), colour);
}

void TestLayoutPage::tabVisitsBoxesInCreationOrderSkippingStep()
{
    Fixture f;
    QVERIFY(QTest::qWaitForWindowActive(&f.page));
    f.box("A1")->setFocus();
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < kLayoutEntries; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, creationOrderNames() << "A1");
}

void TestLayoutPage::loadFillsCaptionsAsRead()
{
    QTemporaryDir dir;
    QFile file(dir.filePath("fatura_ayar.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[FATURE_AYAR]\r\nKDV=\r\nTARIH=5|6\r\n");
    file.close();

    LayoutPage page(dir.path());
    page.LoadLayout(dir.path());
    QCOMPARE(page.findChild<QCheckBox*>("A40")->text(), QString());
    QCOMPARE(page.position(0), QStringLiteral("5|6"));
    QCOMPARE(page.position(1), QStringLiteral("0 | 0"));
    QCOMPARE(page.position(kPageMarginsEntry), QStringLiteral("10 | 10"));
}

void TestLayoutPage::nudgeButtonsMoveTickedBoxes_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("a1");
    QTest::newRow("UST moves up") << QByteArray("UST") << "15 | 400";
    QTest::newRow("ALT moves down") << QByteArray("ALT") << "17 | 400";
    QTest::newRow("SOL moves left") << QByteArray("SOL") << "16 | 399";
    QTest::newRow("SAG moves right") << QByteArray("SAG") << "16 | 401";
}

void TestLayoutPage::nudgeButtonsMoveTickedBoxes()
{
    QFETCH(QByteArray, button);
    Fixture f;
    f.box("A1")->setChecked(true);
    f.box("A2")->setText("40|32");
    f.click(button.constData());
    QTEST(f.box("A1")->text(), "a1");
    QCOMPARE(f.box("A2")->text(), QStringLiteral("40|32"));
    QVERIFY(f.box("A1")->isChecked());
    QCOMPARE(readAll(f.dir.filePath("fatura_ayar.ini")), defaultLayoutFile());
}

void TestLayoutPage::stepOfTenMovesTheQuantityColumnTogether()
{
    Fixture f;
    const LayoutCaptions before = f.page.positions();
    for (int n = 7; n <= 14; ++n)
        f.page.findChild<QCheckBox*>(QStringLiteral("A%1").arg(n))->setChecked(true);
    f.typeStep("10");
    f.click("ALT");
    for (int i = 0; i < kLayoutEntries; ++i) {
        const bool quantity = i >= 6 && i < 14;
        const QString expected = quantity ? QStringLiteral("%1 | 32").arg(kLayoutTable[i].defaultTop + 10) : before[i];
        QCOMPARE(f.page.position(i), expected);
    }
}

void TestLayoutPage::checkAllMovesEveryFieldAndTheMargin()
{
    Fixture f;
    f.click("TUMUNU_ONAYLA");
    f.click("ALT");
    for (int i = 0; i < kLayoutEntries; ++i) {
        QVERIFY(f.page.checkBox(i)->isChecked());
        QCOMPARE(f.page.position(i), QStringLiteral("%1 | %2").arg(kLayoutTable[i].defaultTop + 1).arg(kLayoutTable[i].defaultLeft));
    }
    QCOMPARE(f.box("A43")->text(), QStringLiteral("11 | 10"));

    f.click("SECIMLERI_TEMIZLE");
    f.click("ALT");
    for (int i = 0; i < kLayoutEntries; ++i)
        QVERIFY(!f.page.checkBox(i)->isChecked());
    QCOMPARE(f.box("A43")->text(), QStringLiteral("11 | 10"));
}

void TestLayoutPage::typedStepBeyondLimitsIsBroughtIn_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("a1");
    QTest::newRow("above the upper limit uses 255") << "300" << "16 | 655";
    QTest::newRow("just above uses 255") << "256" << "16 | 655";
    QTest::newRow("upper limit itself") << "255" << "16 | 655";
    QTest::newRow("negative uses 0") << "-7" << "16 | 400";
    QTest::newRow("empty counts as 0") << "" << "16 | 400";
}

void TestLayoutPage::typedStepBeyondLimitsIsBroughtIn()
{
    QFETCH(QString, typed);
    Fixture f;
    QVERIFY(QTest::qWaitForWindowActive(&f.page));
    f.box("A1")->setChecked(true);
    f.box("A1")->setText("16|400");
    f.typeStep(typed);
    QCOMPARE(f.page.stepField()->text(), typed);
    f.click("SAG");
    QTEST(f.box("A1")->text(), "a1");
    // The button took no focus, so the field was not left and still shows what was typed.
    QCOMPARE(QApplication::focusWidget(), f.page.stepField()->lineEdit());
    QCOMPARE(f.page.stepField()->text(), typed);
}

void TestLayoutPage::saveWritesEveryCaptionTickedOrNot()
{
    Fixture f;
    f.box("A6")->setChecked(true);
    f.click("SAG");
    f.box("A42")->setText(QString::fromUtf8("Ş | 1"));
    f.click("AYARLARI_KAYDET");

    QByteArray expected = defaultLayoutFile();
    expected.replace("VERGIHESAPNO=120 | 344", "VERGIHESAPNO=120 | 345");
    expected.replace("YALNIZ=488 | 32", "YALNIZ=\xde | 1");
    QCOMPARE(readAll(f.dir.filePath("fatura_ayar.ini")), expected);
    QVERIFY(f.fakes.boxes.shown.isEmpty());
}

void TestLayoutPage::saveFailureIsShownAndCaptionsStay()
{
    Fixture f;
    const QString path = f.dir.filePath("fatura_ayar.ini");
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    f.box("A1")->setText("1 | 2");
    f.click("AYARLARI_KAYDET");

    QCOMPARE(f.fakes.boxes.shown.size(), 1);
    QCOMPARE(f.fakes.boxes.shown[0].kind, testing::ShownBox::Error);
    QCOMPARE(f.fakes.boxes.shown[0].text, QStringLiteral("Unable to write to %1.").arg(path));
    QCOMPARE(f.box("A1")->text(), QStringLiteral("1 | 2"));
    QCOMPARE(readAll(path), defaultLayoutFile());
}

void TestLayoutPage::toolbarKeepsFocusAndShowsHints()
{
    Fixture f;
    const QList<QPair<const char*, const char*>> hints{
        {"TUMUNU_ONAYLA", "Tümünü Onayla"},
        {"SECIMLERI_TEMIZLE", "Seçimleri Temizle"},
        {"AYARLARI_KAYDET", "Ayarları Kaydet"},
        {"ORNEK_RAPOR", "Ayarlara Dayanılarak Örnek Bir Rapor Hazırlar."},
        {"UST", "Üste Kaydır -  ( ? |  x )"},
        {"ALT", "Aşağı Kaydır +  ( ? |  x )"},
        {"SOL", "Sola Kaydır -  ( x |  ? )"},
        {"SAG", "Sağa Kaydır +  ( x |  ? )"},
    };
    for (const auto& [name, hint] : hints)
        QCOMPARE(f.button(name)->toolTip(), QString::fromUtf8(hint));
    QCOMPARE(f.button("ORNEK_RAPOR")->text(), QStringLiteral("Örnek Rapor Göster"));
    QCOMPARE(f.button("GERI_DON")->text(), QStringLiteral("Geri Dön"));

    QVERIFY(QTest::qWaitForWindowActive(&f.page));
    f.box("A3")->setFocus();
    for (QToolButton* b : f.page.findChildren<QToolButton*>()) {
        if (b->parent() == f.page.stepField())
            continue;
        QCOMPARE(b->focusPolicy(), Qt::NoFocus);
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), f.box("A3"));
    }
}

void TestLayoutPage::sampleAndBackAreSignalled()
{
    Fixture f;
    QSignalSpy sample(&f.page, &LayoutPage::sampleRequested);
    QSignalSpy back(&f.page, &LayoutPage::backRequested);
    f.click("ORNEK_RAPOR");
    QCOMPARE(sample.count(), 1);
    QCOMPARE(back.count(), 0);
    f.click("GERI_DON");
    QCOMPARE(back.count(), 1);
    QCOMPARE(sample.count(), 1);
}

QTEST_MAIN(TestLayoutPage)
#include "tst_layoutpage.moc"
