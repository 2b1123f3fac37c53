#include "Position.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace fatura {

namespace {

bool isTrimmed(QChar c)
{
    return c.unicode() <= 0x20;
}

QStringView trimmed(QStringView v)
{
    while (!v.isEmpty() && isTrimmed(v.front()))
        v = v.sliced(1);
    while (!v.isEmpty() && isTrimmed(v.back()))
        v.chop(1);
    return v;
}

std::optional<qint32> wholeNumber(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    // Magnitude up to one past the largest int32, enough to tell any overflow.
    constexpr qint64 limit = qint64(std::numeric_limits<qint32>::max()) + 1;
    qint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        magnitude = std::min(magnitude * 10 + (c - u'0'), limit + 1);
    }
    const qint64 value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(value);
}

qint32 saturated(qint64 value)
{
    return qint32(std::clamp<qint64>(value, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}

} // namespace

SplitPositionResult SplitPosition(QStringView text, QChar separator)
{
    const qsizetype bar = text.lastIndexOf(separator);
    const QStringView top = bar < 0 ? QStringView() : trimmed(text.first(bar));
    const QStringView left = trimmed(bar < 0 ? text : text.sliced(bar + 1));
    SplitPositionResult result;
    result.topText = top.toString();
    result.leftText = left.toString();
    result.top = wholeNumber(top).value_or(0);
    result.left = wholeNumber(left).value_or(0);
    return result;
}

QString NudgePosition(QStringView position, NudgeDirection direction, int step)
{
    SplitPositionResult p = SplitPosition(position);
    switch (direction) {
    case NudgeDirection::Up:
        p.topText = QString::number(saturated(qint64(p.top) - step));
        break;
    case NudgeDirection::Down:
        p.topText = QString::number(saturated(qint64(p.top) + step));
        break;
    case NudgeDirection::Left:
        p.leftText = QString::number(saturated(qint64(p.left) - step));
        break;
    case NudgeDirection::Right:
        p.leftText = QString::number(saturated(qint64(p.left) + step));
        break;
    }
    return p.topText + QStringLiteral(" | ") + p.leftText;
}

} // namespace fatura
