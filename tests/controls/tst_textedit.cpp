// The plain text field: characters outside code page 1254 never get in, by any road; focus
// signals only for real moves of the focus.
#include "ActiveWindow.h"
#include "FakePlatform.h"
#include "TextEdit.h"
#include "TurkishLocale.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMenu>
#include <QSet>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QtTest>
#include <memory>

using namespace fatura;

namespace {

struct Form {
    QWidget window;
    QLineEdit* before;
    TextEdit* field;
    QLineEdit* after;

    Form()
    {
        before = new QLineEdit(&window);
        field = new TextEdit(&window);
        after = new QLineEdit(&window);
        before->setGeometry(10, 10, 150, 20);
        field->setGeometry(10, 40, 150, 20);
        after->setGeometry(10, 70, 150, 20);
        window.resize(180, 100);
    }

    bool show() { return testing::showActive(window); }
};

// One key event per character (a surrogate pair stays together), as a keyboard layout or an
// on-screen keyboard would send them; QTest::keyClicks only knows Latin-1.
void typeText(QWidget* widget, const QString& text)
{
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, text.mid(i, length), Qt::NoModifier);
        i += length;
    }
}

} // namespace

class TestTextEdit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { testing::pinTurkishLocale(); }
    void init() { fake_ = std::make_unique<testing::FakePlatform>(); }
    void cleanup() { fake_.reset(); }

    void fitsExactlyWhatTheCodePageDecodesTo();
    void typing_data();
    void typing();
    void paste_data();
    void paste();
    void contextMenuPasteIsChecked();
    void inputMethodCommitIsChecked_data();
    void inputMethodCommitIsChecked();
    void focusSignalsOnlyForRealMoves();
    void longTextShowsItsBeginning_data();
    void longTextShowsItsBeginning();
    void typingAndKeysPlaceTheCaretAsUsual();

private:
    std::unique_ptr<testing::FakePlatform> fake_;
};

void TestTextEdit::fitsExactlyWhatTheCodePageDecodesTo()
{
    QStringDecoder decoder("windows-1254");
    if (!decoder.isValid())
        QSKIP("this Qt has no windows-1254 decoder to compare with");

    QSet<char16_t> decoded;
    for (int byte = 0; byte < 256; ++byte) {
        const char b = char(byte);
        const QString c = decoder.decode(QByteArrayView(&b, 1));
        QCOMPARE(c.size(), 1);
        if (c[0] != QChar::ReplacementCharacter)
            decoded.insert(c[0].unicode());
    }
    for (int u = 0; u <= 0xFFFF; ++u) {
        const QChar c{char16_t(u)};
        if (TextEdit::fitsCodePage1254(QString(c)) != decoded.contains(char16_t(u)))
            QFAIL(qPrintable(QStringLiteral("U+%1 judged wrongly").arg(u, 4, 16, QLatin1Char('0'))));
    }
    QVERIFY(!TextEdit::fitsCodePage1254(QString::fromUtf8("\U0001F600")));
}

void TestTextEdit::typing_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("beeps");

    QTest::newRow("Turkish letters") << QString::fromUtf8("Çağlayan Şişecilik İĞÜŞÖÇ ığüşöç")
                                     << QString::fromUtf8("Çağlayan Şişecilik İĞÜŞÖÇ ığüşöç") << 0;
    QTest::newRow("euro sign sits at 0x80") << QString::fromUtf8("100 €") << QString::fromUtf8("100 €") << 0;
    QTest::newRow("typographic marks") << QString::fromUtf8("“a” – b…") << QString::fromUtf8("“a” – b…") << 0;
    QTest::newRow("Chinese refused") << QString::fromUtf8("a中b") << "ab" << 1;
    QTest::newRow("a with macron refused") << QString::fromUtf8("ā") << "" << 1;
    QTest::newRow("Latin-1 eth is Ğ's place, refused") << QString::fromUtf8("Ð") << "" << 1;
    QTest::newRow("emoji refused") << QString::fromUtf8("x\U0001F600") << "x" << 1;
}

void TestTextEdit::typing()
{
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(int, beeps);

    Form form;
    QVERIFY(form.show());
    form.field->setFocus(Qt::TabFocusReason);
    typeText(form.field, typed);
    QCOMPARE(form.field->text(), text);
    QCOMPARE(fake_->beeper.beeps, beeps);
}

void TestTextEdit::paste_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("beeps");

    QTest::newRow("Turkish address") << QString::fromUtf8("Şişli Vergi Dairesi") << QString::fromUtf8("Şişli Vergi Dairesi") << 0;
    QTest::newRow("one foreign letter refuses it all") << QString::fromUtf8("Tōkyō Ltd") << "SAYIN" << 1;
}

void TestTextEdit::paste()
{
    QFETCH(QString, clipboard);
    QFETCH(QString, text);
    QFETCH(int, beeps);

    Form form;
    QVERIFY(form.show());
    form.field->setText(QStringLiteral("SAYIN"));
    form.field->setFocus(Qt::TabFocusReason);
    form.field->selectAll();
    QGuiApplication::clipboard()->setText(clipboard);
    QTest::keyClick(form.field, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(form.field->text(), text);
    QCOMPARE(fake_->beeper.beeps, beeps);
}

void TestTextEdit::contextMenuPasteIsChecked()
{
    Form form;
    QVERIFY(form.show());
    form.field->setFocus(Qt::TabFocusReason);
    QGuiApplication::clipboard()->setText(QString::fromUtf8("中文"));

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

    QCOMPARE(form.field->text(), QString());
    QCOMPARE(fake_->beeper.beeps, 1);
}

void TestTextEdit::inputMethodCommitIsChecked_data()
{
    QTest::addColumn<QString>("commit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("beeps");
    QTest::newRow("composed Turkish letter") << QString::fromUtf8("ş") << QString::fromUtf8("ş") << 0;
    QTest::newRow("composed circumflex") << QString::fromUtf8("â") << QString::fromUtf8("â") << 0;
    QTest::newRow("Chinese from an input method") << QString::fromUtf8("中文") << "" << 1;
}

void TestTextEdit::inputMethodCommitIsChecked()
{
    QFETCH(QString, commit);
    QFETCH(QString, text);
    QFETCH(int, beeps);

    Form form;
    QVERIFY(form.show());
    form.field->setFocus(Qt::TabFocusReason);
    QInputMethodEvent event;
    event.setCommitString(commit);
    QApplication::sendEvent(form.field, &event);
    QCOMPARE(form.field->text(), text);
    QCOMPARE(fake_->beeper.beeps, beeps);
}

void TestTextEdit::focusSignalsOnlyForRealMoves()
{
    Form form;
    QVERIFY(form.show());
    QSignalSpy entered(form.field, &TextEdit::focusEntered);
    QSignalSpy left(form.field, &TextEdit::focusLeft);
    form.before->setFocus(Qt::OtherFocusReason);

    QTest::keyClick(form.before, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.field);
    QCOMPARE(entered.count(), 1);

    QWidget other;
    other.resize(80, 40);
    other.show();
    QVERIFY(testing::activate(other));
    QVERIFY(testing::activate(form.window));
    QCOMPARE(QApplication::focusWidget(), form.field);
    QCOMPARE(entered.count(), 1);
    QCOMPARE(left.count(), 0);

    QTest::keyClick(form.field, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.after);
    QCOMPARE(left.count(), 1);

    // Moved by the program while the window is inactive, as right after a message box.
    form.field->setFocus(Qt::OtherFocusReason);
    QCOMPARE(entered.count(), 2);
    QVERIFY(testing::activate(other));
    form.before->setFocus(Qt::OtherFocusReason);
    QVERIFY(testing::activate(form.window));
    QCOMPARE(QApplication::focusWidget(), form.before);
    QCOMPARE(left.count(), 2);
}

namespace {

const QString kLongText = QStringLiteral("DOKUZYÜZKIRKÜÇMİLYONDOKUZYÜZDOKSANDOKUZBİN TL ALTMIŞ KR");

// The field as a plain line edit of its size would paint text scrolled to its beginning.
QImage beginningOf(QWidget& window, const QSize& size, const QString& text)
{
    QLineEdit reference(&window);
    reference.setFocusPolicy(Qt::NoFocus);
    reference.resize(size);
    reference.setText(text);
    reference.setCursorPosition(0);
    return reference.grab().toImage();
}

} // namespace

void TestTextEdit::longTextShowsItsBeginning_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("set while another field has the focus") << 0;
    QTest::newRow("same text set again after the user went to its end") << 1;
    QTest::newRow("set while the field has the focus") << 2;
    QTest::newRow("typed, then the focus leaves") << 3;
    QTest::newRow("inserted by the program") << 4;
}

void TestTextEdit::longTextShowsItsBeginning()
{
    QFETCH(int, how);
    Form form;
    QVERIFY(form.show());
    form.before->setFocus(Qt::OtherFocusReason);
    switch (how) {
    case 0:
        form.field->setText(kLongText);
        break;
    case 1:
        form.field->setText(kLongText);
        form.field->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(form.field, Qt::Key_End);
        QCOMPARE(form.field->cursorPosition(), int(kLongText.size()));
        form.before->setFocus(Qt::OtherFocusReason);
        form.field->setText(kLongText);
        break;
    case 2:
        form.field->setFocus(Qt::OtherFocusReason);
        form.field->setText(kLongText);
        break;
    case 3:
        form.field->setFocus(Qt::OtherFocusReason);
        typeText(form.field, kLongText);
        QCOMPARE(form.field->cursorPosition(), int(kLongText.size()));
        QTest::keyClick(form.field, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form.after);
        break;
    default:
        form.field->insert(kLongText);
        break;
    }
    QCOMPARE(form.field->text(), kLongText);
    QCOMPARE(form.field->cursorPosition(), 0);
    if (!form.field->hasFocus())
        QCOMPARE(form.field->grab().toImage(), beginningOf(form.window, form.field->size(), kLongText));
}

void TestTextEdit::typingAndKeysPlaceTheCaretAsUsual()
{
    Form form;
    QVERIFY(form.show());
    form.field->setFocus(Qt::MouseFocusReason);
    typeText(form.field, QStringLiteral("AB"));
    QCOMPARE(form.field->cursorPosition(), 2);
    QTest::keyClick(form.field, Qt::Key_Home);
    typeText(form.field, QStringLiteral("Ç"));
    QCOMPARE(form.field->text(), QStringLiteral("ÇAB"));
    QCOMPARE(form.field->cursorPosition(), 1);
    QTest::keyClick(form.field, Qt::Key_End);
    QCOMPARE(form.field->cursorPosition(), 3);
    // Entered by keyboard the whole text is selected, so typing replaces it.
    QTest::keyClick(form.field, Qt::Key_Tab);
    form.field->setFocus(Qt::TabFocusReason);
    QVERIFY(form.field->hasSelectedText());
    QCOMPARE(form.field->selectedText(), QStringLiteral("ÇAB"));
}

QTEST_MAIN(TestTextEdit)
#include "tst_textedit.moc"
