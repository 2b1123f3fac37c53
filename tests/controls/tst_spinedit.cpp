// The whole-number spin field: reading its text, stepping, the key filter, clamping when the
// focus leaves, and arrows that leave the focus where it was.
#include "ActiveWindow.h"
#include "FakePlatform.h"
#include "SpinEdit.h"
#include "TurkishLocale.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>
#include <climits>
#include <memory>

using namespace fatura;

namespace {

// A line edit holding the focus, the rate field ORAN (0..999) and the step field AAO (0..255),
// then one more line edit, in this tab order.
struct Form {
    QWidget window;
    QLineEdit* before;
    SpinEdit* oran;
    SpinEdit* aao;
    QLineEdit* after;

    Form()
    {
        before = new QLineEdit(&window);
        oran = new SpinEdit(0, 999, 18, &window);
        oran->setObjectName(QStringLiteral("ORAN"));
        aao = new SpinEdit(0, 255, 1, &window);
        aao->setObjectName(QStringLiteral("AAO"));
        after = new QLineEdit(&window);
        before->setGeometry(10, 10, 80, 20);
        oran->setGeometry(10, 40, 49, 22);
        aao->setGeometry(70, 40, 49, 22);
        after->setGeometry(10, 70, 80, 20);
        window.resize(160, 100);
    }

    SpinEdit* spin(const QString& name) { return name == QLatin1String("ORAN") ? oran : aao; }

    bool show() { return testing::showActive(window); }

    // Into the field as a click would bring it, with its text selected so typing replaces it.
    bool enter(SpinEdit* spin)
    {
        spin->lineEdit()->setFocus(Qt::MouseFocusReason);
        spin->lineEdit()->selectAll();
        return QApplication::focusWidget() == spin->lineEdit();
    }
};

} // namespace

class TestSpinEdit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { testing::pinTurkishLocale(); }
    void init() { fake_ = std::make_unique<testing::FakePlatform>(); }
    void cleanup() { fake_.reset(); }

    void readsTheTextAsAWholeNumber_data();
    void readsTheTextAsAWholeNumber();
    void setValueClamps_data();
    void setValueClamps();
    void upAndDownKeysStepWithinLimits_data();
    void upAndDownKeysStepWithinLimits();
    void keyFilter_data();
    void keyFilter();
    void leavingClampsOnlyWholeNumbers_data();
    void leavingClampsOnlyWholeNumbers();
    void textChangedOnEveryChange();
    void arrowClickLeavesFocusUnlessTabStop_data();
    void arrowClickLeavesFocusUnlessTabStop();
    void holdingAnArrowRepeatsAfterADelay();
    void tabPassesOverTheField();

private:
    std::unique_ptr<testing::FakePlatform> fake_;
};

void TestSpinEdit::readsTheTextAsAWholeNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    // Lower limit 10 so that "not a number" is told apart from a zero.
    QTest::newRow("digits") << "18" << 18;
    QTest::newRow("plus sign") << "+7" << 7;
    QTest::newRow("minus sign, below the limits") << "-3" << -3;
    QTest::newRow("above the limits, not clamped") << "1500" << 1500;
    QTest::newRow("empty reads the lower limit") << "" << 10;
    QTest::newRow("lone sign reads the lower limit") << "-" << 10;
    QTest::newRow("decimal comma reads the lower limit") << "1,5" << 10;
    QTest::newRow("blank reads the lower limit") << " 5" << 10;
    QTest::newRow("beyond int saturates") << "99999999999999999999" << INT_MAX;
    QTest::newRow("below int saturates") << "-99999999999999999999" << INT_MIN;
}

void TestSpinEdit::readsTheTextAsAWholeNumber()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    SpinEdit spin(10, 999, 18);
    spin.setText(text);
    QCOMPARE(spin.value(), value);
}

void TestSpinEdit::setValueClamps_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("set");
    QTest::addColumn<QString>("text");
    QTest::newRow("within") << 0 << 999 << 25 << "25";
    QTest::newRow("above the upper limit") << 0 << 999 << 1500 << "999";
    QTest::newRow("below the lower limit") << 0 << 255 << -1 << "0";
    QTest::newRow("equal limits mean none") << 0 << 0 << -40 << "-40";
}

void TestSpinEdit::setValueClamps()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, set);
    QFETCH(QString, text);
    SpinEdit spin(minimum, maximum, 0);
    spin.setValue(set);
    QCOMPARE(spin.text(), text);
}

void TestSpinEdit::upAndDownKeysStepWithinLimits_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");

    QTest::newRow("ORAN up") << "ORAN" << "18" << int(Qt::Key_Up) << "19";
    QTest::newRow("ORAN at 999 stays on Up") << "ORAN" << "999" << int(Qt::Key_Up) << "999";
    QTest::newRow("AAO down") << "AAO" << "5" << int(Qt::Key_Down) << "4";
    QTest::newRow("AAO at 0 stays on Down") << "AAO" << "0" << int(Qt::Key_Down) << "0";
    QTest::newRow("out-of-range text comes back within") << "ORAN" << "1500" << int(Qt::Key_Up) << "999";
    QTest::newRow("non-number steps from the lower limit") << "ORAN" << "1,5" << int(Qt::Key_Up) << "1";
    QTest::newRow("saturated text does not overflow") << "ORAN" << "99999999999" << int(Qt::Key_Up) << "999";
}

void TestSpinEdit::upAndDownKeysStepWithinLimits()
{
    QFETCH(QString, field);
    QFETCH(QString, start);
    QFETCH(int, key);
    QFETCH(QString, text);

    Form form;
    QVERIFY(form.show());
    SpinEdit* spin = form.spin(field);
    spin->setText(start);
    QVERIFY(form.enter(spin));
    QTest::keyClick(spin->lineEdit(), Qt::Key(key));
    QCOMPARE(spin->text(), text);
    QCOMPARE(fake_->beeper.beeps, 0);
}

void TestSpinEdit::keyFilter_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("beeps");

    QTest::newRow("digits") << "25" << "25" << 0;
    QTest::newRow("signs") << "+-" << "+-" << 0;
    QTest::newRow("decimal comma taken") << "1,5" << "1,5" << 0;
    QTest::newRow("dot is not the decimal separator here") << "1.5" << "15" << 1;
    QTest::newRow("letters beep") << "1a2B" << "12" << 2;
    QTest::newRow("exponent letter beeps too") << "1e" << "1" << 1;
    QTest::newRow("carriage return beeps") << "1\r" << "1" << 1;
    QTest::newRow("backspace passes") << "12\b" << "1" << 0;
}

void TestSpinEdit::keyFilter()
{
    QFETCH(QString, keys);
    QFETCH(QString, text);
    QFETCH(int, beeps);

    Form form;
    QVERIFY(form.show());
    QVERIFY(form.enter(form.aao));
    QTest::keyClicks(form.aao->lineEdit(), keys);
    QCOMPARE(form.aao->text(), text);
    QCOMPARE(fake_->beeper.beeps, beeps);
}

void TestSpinEdit::leavingClampsOnlyWholeNumbers_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("whileTyped");
    QTest::addColumn<QString>("afterLeave");

    QTest::newRow("1500 becomes 999") << "1500" << 1500 << "999";
    QTest::newRow("-5 becomes 0") << "-5" << -5 << "0";
    QTest::newRow("within limits unchanged") << "25" << 25 << "25";
    QTest::newRow("1,5 reads 0 and stays") << "1,5" << 0 << "1,5";
    QTest::newRow("lone minus stays") << "-" << 0 << "-";
    QTest::newRow("huge number becomes 999") << "99999999999" << INT_MAX << "999";
}

void TestSpinEdit::leavingClampsOnlyWholeNumbers()
{
    QFETCH(QString, keys);
    QFETCH(int, whileTyped);
    QFETCH(QString, afterLeave);

    Form form;
    QVERIFY(form.show());
    QVERIFY(form.enter(form.oran));
    QTest::keyClicks(form.oran->lineEdit(), keys);
    QCOMPARE(form.oran->text(), keys);
    QCOMPARE(form.oran->value(), whileTyped);

    QSignalSpy changed(form.oran, &SpinEdit::textChanged);
    QTest::mouseClick(form.after, Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), form.after);
    QCOMPARE(form.oran->text(), afterLeave);
    QCOMPARE(changed.count(), afterLeave == keys ? 0 : 1);
}

void TestSpinEdit::textChangedOnEveryChange()
{
    Form form;
    QVERIFY(form.show());
    QSignalSpy changed(form.oran, &SpinEdit::textChanged);
    QVERIFY(form.enter(form.oran));

    QTest::keyClick(form.oran->lineEdit(), Qt::Key_Backspace); // "18" selected -> ""
    QCOMPARE(changed.count(), 1);
    QTest::keyClicks(form.oran->lineEdit(), QStringLiteral("25"));
    QCOMPARE(changed.count(), 3);
    QTest::keyClick(form.oran->lineEdit(), Qt::Key_Up);
    QCOMPARE(changed.count(), 4);
    QTest::mouseClick(form.oran->downButton(), Qt::LeftButton);
    QCOMPARE(changed.count(), 5);
    QCOMPARE(changed.last().first().toString(), QStringLiteral("25"));
    QTest::keyClicks(form.oran->lineEdit(), QStringLiteral("x"));
    QCOMPARE(changed.count(), 5);
    form.oran->setValue(25); // same text
    QCOMPARE(changed.count(), 5);
}

void TestSpinEdit::arrowClickLeavesFocusUnlessTabStop_data()
{
    QTest::addColumn<bool>("tabStop");
    QTest::newRow("no tab stop: focus stays where it was") << false;
    QTest::newRow("tab stop: focus comes into the field") << true;
}

void TestSpinEdit::arrowClickLeavesFocusUnlessTabStop()
{
    QFETCH(bool, tabStop);
    Form form;
    form.oran->setTabStop(tabStop);
    QVERIFY(form.show());
    form.before->setFocus(Qt::OtherFocusReason);

    QTest::mouseClick(form.oran->upButton(), Qt::LeftButton);
    QCOMPARE(form.oran->text(), QStringLiteral("19"));
    QCOMPARE(QApplication::focusWidget(), tabStop ? form.oran->lineEdit() : static_cast<QWidget*>(form.before));
    QTest::mouseClick(form.oran->downButton(), Qt::LeftButton);
    QTest::mouseClick(form.oran->downButton(), Qt::LeftButton);
    QCOMPARE(form.oran->text(), QStringLiteral("17"));
}

void TestSpinEdit::holdingAnArrowRepeatsAfterADelay()
{
    Form form;
    QVERIFY(form.show());
    form.oran->setValue(100);
    QElapsedTimer held;
    held.start();
    QTest::mousePress(form.oran->upButton(), Qt::LeftButton);
    QTest::qWait(300);
    // A timer never fires early, so this holds however slow the machine is.
    if (held.elapsed() < SpinEdit::kRepeatDelayMs)
        QCOMPARE(form.oran->text(), QStringLiteral("100"));
    QTRY_VERIFY_WITH_TIMEOUT(form.oran->value() >= 103, 5000);
    QTest::mouseRelease(form.oran->upButton(), Qt::LeftButton);
    const int released = form.oran->value();
    QTest::qWait(250);
    QCOMPARE(form.oran->value(), released);
}

void TestSpinEdit::tabPassesOverTheField()
{
    Form form;
    QVERIFY(form.show());
    form.before->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(form.before, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.after);
}

QTEST_MAIN(TestSpinEdit)
#include "tst_spinedit.moc"
