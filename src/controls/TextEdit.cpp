#include "TextEdit.h"

#include "CheckedPaste.h"

#include "Platform.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <algorithm>
#include <iterator>

namespace fatura {
namespace {

// What code page 1254 puts at 0x80-0x9F, and the six Turkish letters that take the places of
// Latin-1's Ð, Ý, Þ, ð, ý, þ. Every other byte means the Latin-1 character of the same value.
// The five bytes the code page leaves undefined are read as the C1 controls of their value.
constexpr char16_t kHighHalf[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x008E, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x009E, 0x0178,
};
constexpr char16_t kTurkishLetters[6] = {0x011E, 0x0130, 0x015E, 0x011F, 0x0131, 0x015F}; // Ğ İ Ş ğ ı ş
constexpr char16_t kReplacedLatin1[6] = {0x00D0, 0x00DD, 0x00DE, 0x00F0, 0x00FD, 0x00FE};

bool fits(char16_t c)
{
    const auto in = [c](const auto& table) { return std::find(std::begin(table), std::end(table), c) != std::end(table); };
    if (c < 0x80)
        return true;
    if (c >= 0xA0 && c <= 0xFF)
        return !in(kReplacedLatin1);
    return in(kHighHalf) || in(kTurkishLetters);
}

} // namespace

TextEdit::TextEdit(QWidget* parent) : QLineEdit(parent)
{
    // A drop would bypass the code page check.
    setAcceptDrops(false);
    // The program may move the focus while the window is inactive (right after a message
    // box); Qt then sends no focus-out, but the field has still been left.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (entered_ && now && now != this && now->window() == window() && !hasFocus())
            leave();
    });
    // A line edit puts the caret after a text it is given, so a long text would show its
    // end and hide its beginning. A selection is left alone: the program selects on purpose.
    connect(this, &QLineEdit::cursorPositionChanged, this, [this](int, int now) {
        if (handling_ == 0 && now != 0 && !hasSelectedText())
            setCursorPosition(0);
    });
}

bool TextEdit::event(QEvent* event)
{
    ++handling_;
    const bool handled = QLineEdit::event(event);
    --handling_;
    return handled;
}

bool TextEdit::fitsCodePage1254(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return fits(c.unicode()); });
}

void TextEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Paste)) {
        insertFromClipboard();
        event->accept();
        return;
    }
    if (typesText(event) && !fitsCodePage1254(event->text())) {
        platform().beeper->beep();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TextEdit::inputMethodEvent(QInputMethodEvent* event)
{
    if (fitsCodePage1254(event->commitString())) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    platform().beeper->beep();
    QInputMethodEvent checked(event->preeditString(), event->attributes());
    checked.setCommitString(QString());
    QLineEdit::inputMethodEvent(&checked);
}

void TextEdit::insertFromClipboard(QClipboard::Mode mode)
{
    const QString clip = QGuiApplication::clipboard()->text(mode);
    if (!fitsCodePage1254(clip)) {
        platform().beeper->beep();
        return;
    }
    if (mode == QClipboard::Clipboard)
        paste();
    else
        insert(clip);
}

void TextEdit::contextMenuEvent(QContextMenuEvent* event)
{
    popupMenuWithCheckedPaste(this, event, [this](QClipboard::Mode mode) { insertFromClipboard(mode); });
}

void TextEdit::mouseReleaseEvent(QMouseEvent* event)
{
    if (!pasteSelectionOnMiddleClick(this, event, [this](QClipboard::Mode mode) { insertFromClipboard(mode); }))
        QLineEdit::mouseReleaseEvent(event);
}

void TextEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (entered_)
        return;
    entered_ = true;
    // Entered by keyboard or by the program, typing replaces the field; a click places the
    // caret where it landed.
    if (event->reason() != Qt::MouseFocusReason)
        selectAll();
    emit focusEntered();
}

void TextEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (entered_ && event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        leave();
}

void TextEdit::leave()
{
    entered_ = false;
    setCursorPosition(0);
    emit focusLeft();
}

} // namespace fatura
