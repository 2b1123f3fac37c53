#include "NumericEdit.h"

#include "CheckedPaste.h"

#include "NumberFormat.h"
#include "Platform.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionFrame>
#include <cmath>
#include <stdexcept>

namespace fatura {
namespace {

int digitsAfterSeparator(const QString& normalised, const QString& point)
{
    const qsizetype at = normalised.indexOf(point);
    if (at < 0)
        return 0;
    int count = 0;
    for (qsizetype i = at + point.size(); i < normalised.size(); ++i) {
        const QChar c = normalised[i];
        if (c == u'E' || c == u'e')
            break;
        if (c >= u'0' && c <= u'9')
            ++count;
    }
    return count;
}

bool onlyNumberCharacters(QString normalised, const QString& point)
{
    normalised.remove(point);
    for (QChar c : std::as_const(normalised)) {
        const bool ok = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'E' || c == u'e';
        if (!ok)
            return false;
    }
    return true;
}

// Focus going to a popup or to another window is not leaving the field.
bool leavesField(const QFocusEvent* event)
{
    return event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
}

} // namespace

NumericEdit::NumericEdit(const QString& displayPattern, QWidget* parent)
    : QLineEdit(parent), pattern_(displayPattern), face_(new QLineEdit(this))
{
    face_->setFocusPolicy(Qt::NoFocus);
    face_->setAttribute(Qt::WA_TransparentForMouseEvents);
    face_->hide();
    // A drop would bypass the key check; the field has nothing to gain from drag and drop.
    setAcceptDrops(false);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // When the program moves the focus while the window is inactive (say right after a
    // message box), Qt sends this field no focus-out at all; the leave must still happen.
    // Popups and other windows taking the keyboard are not a leave either.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (editing_ && now && now != this && now->window() == window() && !hasFocus())
            finishEditing();
    });
}

void NumericEdit::setValue(long double x)
{
    if (std::isnan(x))
        throw std::domain_error("Invalid floating point operation");
    if (std::isinf(x))
        throw std::overflow_error("Floating point overflow");
    value_ = x == 0 ? 0.0L : x;
    setText(editTextOf(value_));
    // Set while the field is being edited, the figure shows from its beginning.
    setCursorPosition(0);
    refreshToolTip();
    update();
}

long double NumericEdit::value()
{
    const std::optional<long double> parsed = parseNumberText(normaliseNumberText(text()));
    if (!parsed) {
        value_ = 0;
        return value_;
    }
    value_ = roundToDecimals(*parsed, kDecimals);
    if (!editing_) {
        const QString canonical = editTextOf(value_);
        if (text() != canonical)
            setText(canonical);
    }
    refreshToolTip();
    return value_;
}

QString NumericEdit::displayText() const { return formatNumber(value_, pattern_); }

// The width a line edit of this size, frame and margins can show text in without scrolling it.
int NumericEdit::textRoom() const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this).marginsRemoved(textMargins());
    // The line edit keeps 2 pixels clear on either side.
    return contents.width() - 2 * 2;
}

QString NumericEdit::shownText() const
{
    const QString whole = displayText();
    const int room = textRoom();
    // The line edit's own test of whether a text fits, before it starts to scroll.
    if (qRound(QFontMetricsF(font()).horizontalAdvance(whole)) + 1 <= room)
        return whole;
    return QFontMetrics(font()).elidedText(whole, Qt::ElideLeft, room - 1);
}

void NumericEdit::refreshToolTip()
{
    const QString whole = displayText();
    const QString tip = !editing_ && shownText() != whole ? whole : QString();
    if (toolTip() != tip)
        setToolTip(tip);
}

QString NumericEdit::withDecimalSeparator(QString typed) const
{
    const QString point = QLocale().decimalPoint();
    QString out;
    for (QChar c : std::as_const(typed)) {
        if (c == u',' || c == u'.')
            out += point;
        else
            out += c;
    }
    return out;
}

bool NumericEdit::acceptsTyping(const QString& typed) const
{
    QString would = text();
    if (hasSelectedText())
        would.replace(selectionStart(), selectionLength(), typed);
    else
        would.insert(cursorPosition(), typed);

    const QLocale locale;
    const QString point = locale.decimalPoint();
    const QString normalised = normaliseNumberText(would, locale);
    return digitsAfterSeparator(normalised, point) <= kDecimals && onlyNumberCharacters(normalised, point)
        && parseNumberText(normalised, locale).has_value();
}

void NumericEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        setText(editTextOf(value_));
        selectAll();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        insertFromClipboard();
        event->accept();
        return;
    }
    if (!typesText(event)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const QString typed = withDecimalSeparator(event->text());
    if (!acceptsTyping(typed)) {
        platform().beeper->beep();
        event->accept();
        return;
    }
    QKeyEvent mapped(event->type(), event->key(), event->modifiers(), typed, event->isAutoRepeat(),
                     quint16(event->count()));
    QLineEdit::keyPressEvent(&mapped);
    event->setAccepted(mapped.isAccepted());
}

void NumericEdit::inputMethodEvent(QInputMethodEvent* event)
{
    if (event->commitString().isEmpty()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent checked(event->preeditString(), event->attributes());
    const QString typed = withDecimalSeparator(event->commitString());
    if (acceptsTyping(typed)) {
        checked.setCommitString(typed, event->replacementStart(), event->replacementLength());
    } else {
        platform().beeper->beep();
        checked.setCommitString(QString());
    }
    QLineEdit::inputMethodEvent(&checked);
}

void NumericEdit::insertFromClipboard(QClipboard::Mode mode)
{
    const QString before = text();
    if (mode == QClipboard::Clipboard)
        paste();
    else
        insert(QGuiApplication::clipboard()->text(mode));

    const std::optional<long double> parsed = parseNumberText(normaliseNumberText(text()));
    if (!parsed) {
        setText(before);
        selectAll();
        setFocus(Qt::OtherFocusReason);
        platform().beeper->beep();
        return;
    }
    value_ = roundToDecimals(*parsed, kDecimals);
    if (!editing_)
        setText(editTextOf(value_));
    refreshToolTip();
}

void NumericEdit::contextMenuEvent(QContextMenuEvent* event)
{
    popupMenuWithCheckedPaste(this, event, [this](QClipboard::Mode mode) { insertFromClipboard(mode); });
}

void NumericEdit::mouseReleaseEvent(QMouseEvent* event)
{
    if (!pasteSelectionOnMiddleClick(this, event, [this](QClipboard::Mode mode) { insertFromClipboard(mode); }))
        QLineEdit::mouseReleaseEvent(event);
}

void NumericEdit::focusInEvent(QFocusEvent* event)
{
    if (editing_) {
        // Back from another window or a popup, or taken back after a failed leave: the
        // typing stays as it is.
        QLineEdit::focusInEvent(event);
        return;
    }
    editing_ = true;
    // While typing, the field scrolls its edit text as any text box; the tooltip belongs to
    // the painted figure.
    refreshToolTip();
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setText(editTextOf(value_));
    QLineEdit::focusInEvent(event);
    // Coming by keyboard or by the program, typing replaces the whole figure; a click
    // places the caret where it landed.
    if (event->reason() != Qt::MouseFocusReason)
        selectAll();
    emit focusEntered();
}

void NumericEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (editing_ && leavesField(event))
        finishEditing();
}

void NumericEdit::finishEditing()
{
    const QString typed = text();
    const std::optional<long double> parsed = parseNumberText(normaliseNumberText(typed));
    if (!parsed) {
        // Only text that got past the key check lands here (deleting the digits in front of
        // an exponent, cutting, undo). Back to the value and back into the field; the box
        // waits for the event loop so that it does not open in the middle of a focus change.
        setText(editTextOf(value_));
        selectAll();
        setFocus(Qt::OtherFocusReason);
        QMetaObject::invokeMethod(
            this, [this, typed] { showStandardError(this, QStringLiteral("'%1' is not a valid number").arg(typed)); },
            Qt::QueuedConnection);
        return;
    }
    value_ = roundToDecimals(*parsed, kDecimals);
    editing_ = false;
    setText(editTextOf(value_));
    setCursorPosition(0);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    refreshToolTip();
    update();
    emit focusLeft();
}

void NumericEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    face_->resize(size());
    refreshToolTip();
}

void NumericEdit::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        refreshToolTip();
}

void NumericEdit::paintEvent(QPaintEvent* event)
{
    if (editing_) {
        QLineEdit::paintEvent(event);
        return;
    }
    face_->setFrame(hasFrame());
    face_->setTextMargins(textMargins());
    face_->setAlignment(alignment());
    face_->setText(shownText());
    face_->setCursorPosition(0);
    // Rendered into a pixmap first: rendering a child straight into this widget's own painter
    // works for grab() but paints nothing on a real screen.
    QPixmap picture(size() * devicePixelRatioF());
    picture.setDevicePixelRatio(devicePixelRatioF());
    picture.fill(Qt::transparent);
    face_->render(&picture, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture);
}

} // namespace fatura
