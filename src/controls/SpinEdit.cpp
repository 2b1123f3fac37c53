#include "SpinEdit.h"

#include "Platform.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QStyle>
#include <QToolButton>
#include <algorithm>
#include <climits>
#include <optional>

namespace fatura {
namespace {

// Optional sign and ASCII digits, nothing else; saturates at the ends of int.
std::optional<int> wholeNumber(const QString& text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    if (i == text.size())
        return std::nullopt;
    long long magnitude = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < u'0' || c > u'9')
            return std::nullopt;
        magnitude = std::min<long long>(magnitude * 10 + (c.unicode() - u'0'), 1LL + INT_MAX);
    }
    const long long n = negative ? -magnitude : magnitude;
    return int(std::clamp<long long>(n, INT_MIN, INT_MAX));
}

} // namespace

SpinEdit::SpinEdit(int minimum, int maximum, int initial, QWidget* parent)
    : QWidget(parent), min_(minimum), max_(maximum), edit_(new QLineEdit(this)), up_(new QToolButton(this)),
      down_(new QToolButton(this))
{
    setFocusProxy(edit_);
    edit_->installEventFilter(this);
    connect(edit_, &QLineEdit::textChanged, this, &SpinEdit::textChanged);

    for (QToolButton* b : {up_, down_}) {
        b->setArrowType(b == up_ ? Qt::UpArrow : Qt::DownArrow);
        b->setAutoRepeat(true);
        b->setAutoRepeatDelay(kRepeatDelayMs);
        b->setAutoRepeatInterval(kRepeatIntervalMs);
        b->setFocusPolicy(Qt::NoFocus);
        b->setIconSize(QSize(7, 7));
    }
    connect(up_, &QToolButton::pressed, this, [this] {
        if (tabStop_)
            edit_->setFocus(Qt::MouseFocusReason);
    });
    connect(down_, &QToolButton::pressed, this, [this] {
        if (tabStop_)
            edit_->setFocus(Qt::MouseFocusReason);
    });
    connect(up_, &QToolButton::clicked, this, [this] { step(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });

    setTabStop(false);
    setValue(initial);
}

int SpinEdit::value() const { return wholeNumber(edit_->text()).value_or(min_); }

void SpinEdit::setValue(int n)
{
    if (min_ != max_)
        n = std::clamp(n, min_, max_);
    edit_->setText(QString::number(n));
}

QString SpinEdit::text() const { return edit_->text(); }

void SpinEdit::setText(const QString& text) { edit_->setText(text); }

void SpinEdit::setTabStop(bool on)
{
    tabStop_ = on;
    edit_->setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus);
}

void SpinEdit::step(int delta)
{
    long long next = static_cast<long long>(value()) + delta;
    next = std::clamp<long long>(next, INT_MIN, INT_MAX);
    setValue(int(next));
}

void SpinEdit::clampOnLeave()
{
    const std::optional<int> n = wholeNumber(edit_->text());
    if (n && min_ != max_ && (*n < min_ || *n > max_))
        setValue(*n);
}

void SpinEdit::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The arrows sit over the right end of the text box, inside its border.
    const int frame = edit_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit_);
    const int buttonWidth = 15;
    edit_->setGeometry(rect());
    edit_->setTextMargins(0, 0, buttonWidth, 0);
    const int inner = height() - 2 * frame;
    const int x = width() - frame - buttonWidth;
    up_->setGeometry(x, frame, buttonWidth, inner / 2);
    down_->setGeometry(x, frame + inner / 2, buttonWidth, inner - inner / 2);
}

bool SpinEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != edit_)
        return QWidget::eventFilter(watched, event);

    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            step(key->key() == Qt::Key_Up ? +1 : -1);
            return true;
        }
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if (mods == Qt::ControlModifier || mods == (Qt::ShiftModifier | Qt::ControlModifier))
            return false;
        const QString point = QLocale().decimalPoint();
        const QString text = key->text();
        const bool accepted = std::all_of(text.begin(), text.end(), [&point](QChar c) {
            const bool control = c.unicode() < 32 || c.unicode() == 0x7F;
            return (control && c != u'\r') || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || point == QString(c);
        });
        if (!accepted) {
            platform().beeper->beep();
            return true;
        }
        return false;
    }
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            clampOnLeave();
    }
    return false;
}

} // namespace fatura
