// The numeric entry field as the user meets it: what it shows with and without the focus,
// which keys it takes, pasting, and what its value is when the focus leaves.
#include "ActiveWindow.h"
#include "FakePlatform.h"
#include "LongDoubleOutput.h"
#include "NumericEdit.h"
#include "TurkishLocale.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>
#include <cstdio>
#include <memory>

using namespace fatura;

namespace {

// A small window: a line edit holding the focus first, the field under test, and a second
// numeric field that Tab reaches after it.
struct Form {
    QWidget window;
    QLineEdit* before;
    NumericEdit* field;
    NumericEdit* after;

    explicit Form(const char* pattern = NumericEdit::kAmountPattern)
    {
        before = new QLineEdit(&window);
        field = new NumericEdit(QString::fromLatin1(pattern), &window);
        after = new NumericEdit(QString::fromLatin1(NumericEdit::kAmountPattern), &window);
        before->setGeometry(10, 10, 100, 20);
        field->setGeometry(10, 40, 100, 20);
        after->setGeometry(10, 70, 100, 20);
        window.resize(200, 120);
    }

    bool show() { return testing::showActive(window); }

    // Into the field with Tab from the line edit before it.
    bool tabIn()
    {
        before->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(before, Qt::Key_Tab);
        return QApplication::focusWidget() == field;
    }
};

} // namespace

class TestNumericEdit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { testing::pinTurkishLocale(); }
    void init() { fake_ = std::make_unique<testing::FakePlatform>(); }
    void cleanup() { fake_.reset(); }

    void presentation_data();
    void presentation();
    void paintsDisplayTextRightAlignedWithoutFocus();
    void tooWideFigureShowsItsRightEndBehindAMark_data();
    void tooWideFigureShowsItsRightEndBehindAMark();
    void figureIsElidedExactlyWhereATextBoxWouldCutIt();
    void valueReadIsRoundedAndStoredBack();
    void unparsableTextReadsAsZeroSilently();
    void entrySelectsAllUnlessByMouse_data();
    void entrySelectsAllUnlessByMouse();
    void keyFilter_data();
    void keyFilter();
    void escapeRestoresEditTextSelected();
    void leavingMakesTypedTextTheValue_data();
    void leavingMakesTypedTextTheValue();
    void unparsableTextOnLeaveKeepsFocusAndShowsError();
    void paste_data();
    void paste();
    void contextMenuPasteIsChecked();
    void setValueRefusesNonFiniteFigures();
    void otherWindowTakingTheKeyboardIsNotALeave();
    void focusMovedWhileWindowInactiveStillLeaves();

private:
    std::unique_ptr<testing::FakePlatform> fake_;
};

void TestNumericEdit::presentation_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<long double>("value");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("edit");

    const QString amount = QString::fromLatin1(NumericEdit::kAmountPattern);
    const QString quantity = QString::fromLatin1(NumericEdit::kQuantityPattern);
    QTest::newRow("price of 0 shows 0,00, edits empty") << amount << 0.0L << "0,00" << "";
    QTest::newRow("quantity of 0 shows 0, edits empty") << quantity << 0.0L << "0" << "";
    QTest::newRow("quantity 1234.5 shows grouped, edits plain") << quantity << 1234.5L << "1.234,5" << "1234,5";
    QTest::newRow("amount 0.125 shows and edits 0,13") << amount << 0.125L << "0,13" << "0,13";
    QTest::newRow("negative amount") << amount << -7.1064L << "-7,11" << "-7,11";
}

void TestNumericEdit::presentation()
{
    QFETCH(QString, pattern);
    QFETCH(long double, value);
    QFETCH(QString, display);
    QFETCH(QString, edit);

    Form form(qPrintable(pattern));
    QVERIFY(form.show());
    form.field->setValue(value);
    QCOMPARE(form.field->displayText(), display);
    QCOMPARE(form.field->text(), edit);
    QVERIFY(form.field->alignment() & Qt::AlignRight);

    QVERIFY(form.tabIn());
    QCOMPARE(form.field->text(), edit);
    QVERIFY(form.field->alignment() & Qt::AlignLeft);

    QTest::keyClick(form.field, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.after);
    QCOMPARE(form.field->text(), edit);
    QCOMPARE(form.field->displayText(), display);
    QVERIFY(form.field->alignment() & Qt::AlignRight);
}

void TestNumericEdit::paintsDisplayTextRightAlignedWithoutFocus()
{
    Form form;
    auto* reference = new QLineEdit(&form.window);
    reference->setGeometry(10, 100, 100, 20);
    reference->setFocusPolicy(Qt::NoFocus);
    form.window.resize(200, 140);
    QVERIFY(form.show());
    form.before->setFocus();
    form.field->setValue(1234.5L);

    reference->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    reference->setText(QStringLiteral("1.234,50"));
    const QImage shown = form.field->grab().toImage();
    QCOMPARE(shown, reference->grab().toImage());

    // The comparison notices a figure drawn from the other side.
    reference->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QVERIFY(shown != reference->grab().toImage());
}

namespace {

// A plain line edit of the field's size, frame and font, right-aligned, showing text: what
// the field should look like without focus.
QImage lineEditShowing(const NumericEdit& field, const QString& text)
{
    QLineEdit reference(field.parentWidget());
    reference.setFocusPolicy(Qt::NoFocus);
    reference.setFrame(field.hasFrame());
    reference.setFont(field.font());
    reference.resize(field.size());
    reference.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    reference.setText(text);
    reference.setCursorPosition(0);
    return reference.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage rendering(NumericEdit& field) { return field.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// How many characters of the display text's right end the field shows behind "…", judged by
// its rendering alone; 0 when no rendering of that form matches.
int charactersShownAfterMark(NumericEdit& field)
{
    const QImage shown = rendering(field);
    const QString whole = field.displayText();
    for (int k = int(whole.size()) - 1; k > 0; --k)
        if (shown == lineEditShowing(field, QStringLiteral("…") + whole.right(k)))
            return k;
    return 0;
}

} // namespace

void TestNumericEdit::tooWideFigureShowsItsRightEndBehindAMark_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("width");
    QTest::addColumn<long double>("value");
    QTest::addColumn<bool>("fits");

    const QString amount = QString::fromLatin1(NumericEdit::kAmountPattern);
    const QString quantity = QString::fromLatin1(NumericEdit::kQuantityPattern);
    // The widths of the invoice page's quantity, price and amount columns.
    QTest::newRow("quantity 1.234.567,8 in 50") << quantity << 50 << 1234567.8L << false;
    QTest::newRow("price 1.234.567,89 in 60") << amount << 60 << 1234567.89L << false;
    QTest::newRow("total 943.999.905,60 in 67") << amount << 67 << 943999905.6L << false;
    QTest::newRow("negative total in 67") << amount << 67 << -943999905.6L << false;
    QTest::newRow("largest total in 67") << amount << 67 << 999999999999999.99L << false;
    QTest::newRow("price 12,50 fits in 60") << amount << 60 << 12.5L << true;
    QTest::newRow("total 943.999.905,60 fits in 200") << amount << 200 << 943999905.6L << true;
}

void TestNumericEdit::tooWideFigureShowsItsRightEndBehindAMark()
{
    QFETCH(QString, pattern);
    QFETCH(int, width);
    QFETCH(long double, value);
    QFETCH(bool, fits);

    Form form(qPrintable(pattern));
    form.field->setFrame(false);
    form.field->resize(width, 18);
    QVERIFY(form.show());
    form.before->setFocus();
    form.field->setValue(value);
    const QString whole = form.field->displayText();

    // Entered and left again, as after typing the figure.
    QVERIFY(form.tabIn());
    QVERIFY(form.field->toolTip().isEmpty());
    QTest::keyClick(form.field, Qt::Key_Tab);
    QVERIFY(!form.field->isEditing());

    if (fits) {
        QCOMPARE(rendering(*form.field), lineEditShowing(*form.field, whole));
        QVERIFY(form.field->toolTip().isEmpty());
        return;
    }
    // Cut the way a plain line edit would cut it, the figure would look whole.
    QVERIFY(rendering(*form.field) != lineEditShowing(*form.field, whole));
    const int k = charactersShownAfterMark(*form.field);
    QVERIFY2(k >= 4, qPrintable(QStringLiteral("shows %1 characters of %2").arg(k).arg(whole)));
    QCOMPARE(form.field->toolTip(), whole);

    // Made wide enough, it shows the whole figure again and needs no tooltip.
    form.field->resize(400, 18);
    QCOMPARE(rendering(*form.field), lineEditShowing(*form.field, whole));
    QVERIFY(form.field->toolTip().isEmpty());
}

void TestNumericEdit::figureIsElidedExactlyWhereATextBoxWouldCutIt()
{
    Form form;
    form.field->setFrame(false);
    QVERIFY(form.show());
    form.before->setFocus();
    form.field->setValue(943999905.6L);
    const QString whole = form.field->displayText();

    // A plain text box shows the whole text exactly when it does not matter where its caret is.
    QLineEdit box(&form.window);
    box.setFrame(false);
    box.setFocusPolicy(Qt::NoFocus);
    box.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    box.setText(whole);
    const auto showsWhole = [&box, &whole](int width) {
        box.resize(width, 18);
        box.setCursorPosition(0);
        const QImage atStart = box.grab().toImage();
        box.setCursorPosition(int(whole.size()));
        return atStart == box.grab().toImage();
    };
    int narrowest = 20;
    while (!showsWhole(narrowest) && narrowest < 400)
        ++narrowest;
    QVERIFY(narrowest > 20 && narrowest < 400);

    form.field->resize(narrowest, 18);
    QCOMPARE(rendering(*form.field), lineEditShowing(*form.field, whole));
    QVERIFY(form.field->toolTip().isEmpty());
    form.field->resize(narrowest - 1, 18);
    QVERIFY(rendering(*form.field) != lineEditShowing(*form.field, whole));
    QCOMPARE(form.field->toolTip(), whole);
}

void TestNumericEdit::valueReadIsRoundedAndStoredBack()
{
    NumericEdit field;
    field.setValue(0.125L);
    QCOMPARE(field.storedValue(), 0.125L);
    QCOMPARE(field.displayText(), QStringLiteral("0,13"));
    QCOMPARE(field.value(), 0.13L);
    QCOMPARE(field.storedValue(), 0.13L);
    QCOMPARE(field.text(), QStringLiteral("0,13"));
}

void TestNumericEdit::unparsableTextReadsAsZeroSilently()
{
    NumericEdit field;
    field.setValue(8);
    field.setText(QStringLiteral("abc"));
    QCOMPARE(field.value(), 0.0L);
    QCOMPARE(field.storedValue(), 0.0L);
    QCOMPARE(fake_->beeper.beeps, 0);
    QVERIFY(fake_->boxes.shown.isEmpty());
}

void TestNumericEdit::entrySelectsAllUnlessByMouse_data()
{
    QTest::addColumn<int>("how");
    QTest::addColumn<bool>("selected");
    QTest::newRow("Tab selects all") << 0 << true;
    QTest::newRow("program call selects all") << 1 << true;
    QTest::newRow("mouse click places the caret") << 2 << false;
}

void TestNumericEdit::entrySelectsAllUnlessByMouse()
{
    QFETCH(int, how);
    QFETCH(bool, selected);

    Form form;
    QVERIFY(form.show());
    form.field->setValue(12.5L);
    QSignalSpy entered(form.field, &NumericEdit::focusEntered);
    form.before->setFocus();
    switch (how) {
    case 0:
        QTest::keyClick(form.before, Qt::Key_Tab);
        break;
    case 1:
        form.field->setFocus(Qt::OtherFocusReason);
        break;
    default:
        QTest::mouseClick(form.field, Qt::LeftButton, {}, QPoint(5, 10));
        break;
    }
    QCOMPARE(QApplication::focusWidget(), form.field);
    QCOMPARE(entered.count(), 1);
    QCOMPARE(form.field->text(), QStringLiteral("12,5"));
    QCOMPARE(form.field->selectedText(), selected ? QStringLiteral("12,5") : QString());
}

void TestNumericEdit::keyFilter_data()
{
    QTest::addColumn<long double>("start");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("beeps");

    QTest::newRow("dot in an empty field gives the decimal comma") << 0.0L << "." << "," << 0;
    QTest::newRow("12,345 stops at 12,34") << 0.0L << "12,345" << "12,34" << 1;
    QTest::newRow("dot key inside a figure") << 0.0L << "3.5" << "3,5" << 0;
    QTest::newRow("second separator refused") << 0.0L << "1,2,3" << "1,23" << 1;
    QTest::newRow("lower-case exponent") << 0.0L << "1e5" << "1e5" << 0;
    QTest::newRow("upper-case exponent with sign") << 0.0L << "2E-3" << "2E-3" << 0;
    QTest::newRow("two decimals then an exponent") << 0.0L << "1,25e10" << "1,25e10" << 0;
    QTest::newRow("exponent letter without a figure") << 0.0L << "e" << "" << 1;
    QTest::newRow("other letters beep") << 0.0L << "1a2b" << "12" << 2;
    QTest::newRow("leading minus") << 0.0L << "-4,5" << "-4,5" << 0;
    QTest::newRow("minus after a digit") << 0.0L << "4-" << "4" << 1;
    QTest::newRow("lone plus") << 0.0L << "+" << "" << 1;
    QTest::newRow("typing replaces the selected figure") << 12.5L << "7" << "7" << 0;
    QTest::newRow("exponent beyond any number") << 0.0L << "1e5000" << "1e500" << 1;
}

void TestNumericEdit::keyFilter()
{
    QFETCH(long double, start);
    QFETCH(QString, keys);
    QFETCH(QString, text);
    QFETCH(int, beeps);

    Form form;
    QVERIFY(form.show());
    form.field->setValue(start);
    QVERIFY(form.tabIn());
    QTest::keyClicks(form.field, keys);
    QCOMPARE(form.field->text(), text);
    QCOMPARE(fake_->beeper.beeps, beeps);
    QCOMPARE(form.field->storedValue(), start);
}

void TestNumericEdit::escapeRestoresEditTextSelected()
{
    Form form;
    QVERIFY(form.show());
    form.field->setValue(12.5L);
    QCOMPARE(form.field->displayText(), QStringLiteral("12,50"));
    QVERIFY(form.tabIn());
    QTest::keyClicks(form.field, QStringLiteral("99"));
    QCOMPARE(form.field->text(), QStringLiteral("99"));

    QTest::keyClick(form.field, Qt::Key_Escape);
    QCOMPARE(form.field->text(), QStringLiteral("12,5"));
    QCOMPARE(form.field->selectedText(), QStringLiteral("12,5"));
    QCOMPARE(form.field->storedValue(), 12.5L);
    QCOMPARE(QApplication::focusWidget(), form.field);
    QCOMPARE(fake_->beeper.beeps, 0);
}

void TestNumericEdit::leavingMakesTypedTextTheValue_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<long double>("value");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("display");

    QTest::newRow("decimal figure") << "3,75" << 3.75L << "3,75" << "3,75";
    QTest::newRow("exponent written out") << "1e3" << 1000.0L << "1000" << "1.000,00";
    QTest::newRow("exponent with decimals") << "2,5e-1" << 0.25L << "0,25" << "0,25";
    QTest::newRow("exponent too small for a cent") << "1e-3" << 0.0L << "" << "0,00";
    QTest::newRow("lone minus is zero") << "-" << 0.0L << "" << "0,00";
    QTest::newRow("lone separator is zero") << "," << 0.0L << "" << "0,00";
    QTest::newRow("exponent letter without digits") << "4e" << 4.0L << "4" << "4,00";
}

void TestNumericEdit::leavingMakesTypedTextTheValue()
{
    QFETCH(QString, keys);
    QFETCH(long double, value);
    QFETCH(QString, edit);
    QFETCH(QString, display);

    Form form;
    QVERIFY(form.show());
    form.field->setValue(99);
    long double seenByHandler = -1;
    connect(form.field, &NumericEdit::focusLeft, form.field, [&] { seenByHandler = form.field->storedValue(); });
    QSignalSpy left(form.field, &NumericEdit::focusLeft);

    QVERIFY(form.tabIn());
    QTest::keyClicks(form.field, keys);
    QTest::keyClick(form.field, Qt::Key_Tab);

    QCOMPARE(QApplication::focusWidget(), form.after);
    QCOMPARE(left.count(), 1);
    QCOMPARE(seenByHandler, value);
    QCOMPARE(form.field->storedValue(), value);
    QCOMPARE(form.field->text(), edit);
    QCOMPARE(form.field->displayText(), display);
    QCOMPARE(form.field->cursorPosition(), 0);
    QVERIFY(!form.field->isEditing());
}

void TestNumericEdit::unparsableTextOnLeaveKeepsFocusAndShowsError()
{
    Form form;
    QVERIFY(form.show());
    form.field->setValue(5);
    QSignalSpy left(form.field, &NumericEdit::focusLeft);
    QSignalSpy afterEntered(form.after, &NumericEdit::focusEntered);

    // The key check takes "1e5"; deleting the 1 leaves text no key could have produced.
    QVERIFY(form.tabIn());
    QTest::keyClicks(form.field, QStringLiteral("1e5"));
    QTest::keyClick(form.field, Qt::Key_Home);
    QTest::keyClick(form.field, Qt::Key_Delete);
    QCOMPARE(form.field->text(), QStringLiteral("e5"));

    QTest::keyClick(form.field, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.field);
    QCOMPARE(form.field->text(), QStringLiteral("5"));
    QCOMPARE(form.field->selectedText(), QStringLiteral("5"));
    QCOMPARE(form.field->storedValue(), 5.0L);
    QCOMPARE(left.count(), 0);
    QCOMPARE(afterEntered.count(), 0);

    QTRY_COMPARE(fake_->boxes.shown.size(), 1);
    const testing::ShownBox box = fake_->boxes.shown.first();
    QCOMPARE(box.kind, testing::ShownBox::Error);
    QCOMPARE(box.title, applicationTitle());
    QCOMPARE(box.text, QStringLiteral("'e5' is not a valid number."));

    // With the figure back, the field can be left as usual.
    QTest::keyClick(form.field, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.after);
    QCOMPARE(left.count(), 1);
    QCOMPARE(fake_->boxes.shown.size(), 1);
}

void TestNumericEdit::paste_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("text");
    QTest::addColumn<long double>("value");
    QTest::addColumn<int>("beeps");

    QTest::newRow("figure replaces the selection") << "12,75" << "12,75" << 12.75L << 0;
    QTest::newRow("grouped figure") << "1.234,5" << "1.234,5" << 1234.5L << 0;
    QTest::newRow("third decimal stays in the text, value rounded") << "1,235" << "1,235" << 1.24L << 0;
    QTest::newRow("empty clipboard clears the selection") << "" << "" << 0.0L << 0;
    QTest::newRow("words refused") << "abc" << "5" << 5.0L << 1;
    QTest::newRow("overflow refused") << "1e5000" << "5" << 5.0L << 1;
}

void TestNumericEdit::paste()
{
    QFETCH(QString, clipboard);
    QFETCH(QString, text);
    QFETCH(long double, value);
    QFETCH(int, beeps);

    Form form;
    QVERIFY(form.show());
    form.field->setValue(5);
    QVERIFY(form.tabIn());
    QGuiApplication::clipboard()->setText(clipboard);
    QTest::keyClick(form.field, Qt::Key_V, Qt::ControlModifier);

    QCOMPARE(form.field->text(), text);
    QCOMPARE(form.field->storedValue(), value);
    QCOMPARE(fake_->beeper.beeps, beeps);
    QCOMPARE(QApplication::focusWidget(), form.field);
    if (beeps)
        QCOMPARE(form.field->selectedText(), text);
}

void TestNumericEdit::contextMenuPasteIsChecked()
{
    Form form;
    QVERIFY(form.show());
    form.field->setValue(5);
    QVERIFY(form.tabIn());
    QGuiApplication::clipboard()->setText(QStringLiteral("abc"));

    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), form.field->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(form.field, &event);
    QPointer<QMenu> menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu);
    QAction* pasteAction = nullptr;
    for (QAction* action : menu->actions())
        if (action->text().startsWith(QLatin1String("&Paste")))
            pasteAction = action;
    QVERIFY(pasteAction);
    pasteAction->trigger();
    menu->close();

    QCOMPARE(form.field->text(), QStringLiteral("5"));
    QCOMPARE(fake_->beeper.beeps, 1);
}

void TestNumericEdit::setValueRefusesNonFiniteFigures()
{
    NumericEdit field;
    field.setValue(3);
    QVERIFY_THROWS_EXCEPTION(std::overflow_error, field.setValue(HUGE_VALL));
    QVERIFY_THROWS_EXCEPTION(std::overflow_error, field.setValue(-HUGE_VALL));
    QVERIFY_THROWS_EXCEPTION(std::domain_error, field.setValue(std::nanl("")));
    QCOMPARE(field.storedValue(), 3.0L);
    QCOMPARE(field.text(), QStringLiteral("3"));
}

void TestNumericEdit::otherWindowTakingTheKeyboardIsNotALeave()
{
    Form form;
    QVERIFY(form.show());
    QSignalSpy entered(form.field, &NumericEdit::focusEntered);
    QSignalSpy left(form.field, &NumericEdit::focusLeft);
    QVERIFY(form.tabIn());
    QTest::keyClicks(form.field, QStringLiteral("7"));

    QWidget other;
    other.resize(80, 40);
    other.show();
    QVERIFY(testing::activate(other));
    QCOMPARE(left.count(), 0);
    QVERIFY(form.field->isEditing());

    QVERIFY(testing::activate(form.window));
    QCOMPARE(QApplication::focusWidget(), form.field);
    QCOMPARE(entered.count(), 1);
    QCOMPARE(form.field->text(), QStringLiteral("7"));

    QTest::keyClick(form.field, Qt::Key_Tab);
    QCOMPARE(left.count(), 1);
    QCOMPARE(form.field->storedValue(), 7.0L);
}

void TestNumericEdit::focusMovedWhileWindowInactiveStillLeaves()
{
    // As after a message box: the program moves the focus before its window is active again.
    Form form;
    QVERIFY(form.show());
    QSignalSpy left(form.field, &NumericEdit::focusLeft);
    QVERIFY(form.tabIn());
    QTest::keyClicks(form.field, QStringLiteral("7"));

    QWidget other;
    other.resize(80, 40);
    other.show();
    QVERIFY(testing::activate(other));
    form.before->setFocus(Qt::OtherFocusReason);
    QCOMPARE(left.count(), 0);

    QVERIFY(testing::activate(form.window));
    QCOMPARE(QApplication::focusWidget(), form.before);
    QCOMPARE(left.count(), 1);
    QVERIFY(!form.field->isEditing());
    QCOMPARE(form.field->storedValue(), 7.0L);
    QCOMPARE(form.field->displayText(), QStringLiteral("7,00"));
}

QTEST_MAIN(TestNumericEdit)
#include "tst_numericedit.moc"
