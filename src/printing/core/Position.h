#pragma once
// Position texts: the top value, a vertical bar and the left value, as in "16 | 400".
// Report pixels for the printed fields, millimetres for the page margins; negative allowed.

#include <QString>
#include <QStringView>

namespace fatura {

struct SplitPositionResult {
    qint32 top = 0;
    qint32 left = 0;
    QString topText;  // the part before the bar, trimmed
    QString leftText; // the part after it, trimmed
};

// Splits at the last separator (with none, the whole text is the left part), trims blanks
// and control characters from both parts and reads each as a decimal whole number with an
// optional sign. A part that is empty, not such a number or outside 32 bits reads as 0,
// without affecting the other part.
SplitPositionResult SplitPosition(QStringView text, QChar separator = u'|');

// Direction codes as the nudge buttons carry them.
enum class NudgeDirection { Left = 1, Right = 2, Up = 3, Down = 4 };

// The position moved by step: up and down change the top, left and right the left. The moved
// side is written as a decimal number, the other side keeps its trimmed text even when that is
// not a number, and the result has one blank on each side of the bar. A result beyond 32 bits
// stops at the limit, so the text always reads back as the number it shows.
QString NudgePosition(QStringView position, NudgeDirection direction, int step);

} // namespace fatura
