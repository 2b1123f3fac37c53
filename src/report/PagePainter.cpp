#include "Page.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

#include <cmath>

namespace fatura::report {
namespace {

// Families the layouts name and the metric-compatible ones Debian ships in their place. Same
// advance widths means the same line breaks in the money boxes and the same right ends.
struct StandIn {
    const char* family;
    const char* standIn;
};
constexpr StandIn kStandIns[] = {
    {"Arial", "Liberation Sans"},
    {"Times New Roman", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
};

void installStandIns()
{
    // Printer and PDF engines resolve fonts through the same database as the screen, so one
    // substitution serves every device; fontconfig's own aliases are not relied upon.
    static const bool installed = [] {
        for (const StandIn& s : kStandIns) {
            const QString family = QString::fromLatin1(s.family);
            if (!QFontDatabase::hasFamily(family))
                QFont::insertSubstitution(family, QString::fromLatin1(s.standIn));
        }
        return true;
    }();
    (void)installed;
}

int devicePixel(double tenths, double offset, double dpi) { return int(std::lround((tenths - offset) * dpi / 254.0)); }

// Each CR starts a line; LF never shows.
QStringList paragraphs(const QString& text)
{
    QString cleaned = text;
    cleaned.remove(QLatin1Char('\n'));
    return cleaned.split(QLatin1Char('\r'));
}

// Breaks between words so that each line fits width. A word wider than the box gets a line
// of its own and stays whole: an amount is never cut short.
QStringList wrapped(const QString& paragraph, const QFontMetricsF& metrics, double width)
{
    QStringList lines;
    int start = 0;
    int lineEnd = -1; // end of the last word that fits, -1 when none yet
    int i = 0;
    const int n = int(paragraph.size());
    while (i <= n) {
        // A break stands where a word ends: before a blank or at the end, not inside a run of blanks.
        const bool atBreak = (i == n || paragraph.at(i) == u' ') && i > start && paragraph.at(i - 1) != u' ';
        if (!atBreak) {
            ++i;
            continue;
        }
        const QString candidate = paragraph.mid(start, i - start);
        if (lineEnd >= 0 && metrics.horizontalAdvance(candidate) > width) {
            lines.append(paragraph.mid(start, lineEnd - start));
            start = lineEnd;
            while (start < n && paragraph.at(start) == u' ')
                ++start;
            lineEnd = -1;
            i = start;
            continue;
        }
        lineEnd = i;
        ++i;
    }
    lines.append(paragraph.mid(start, (lineEnd < 0 ? n : lineEnd) - start));
    return lines;
}

} // namespace

QFont pageFont(const Page& page, const PageDevice& device, const QPaintDevice* target)
{
    installStandIns();
    QFont font(page.fontFamily);
    const double targetDpi = target ? target->logicalDpiY() : device.dpiY;
    font.setPointSizeF(page.pointSize * device.dpiY / targetDpi);
    // Advances as the layouts were measured: glyph by glyph, without pair kerning.
    font.setKerning(false);
    return font;
}

std::vector<PlacedLine> placeLines(const Page& page, const PageDevice& device, const QPaintDevice* target)
{
    const QFont font = pageFont(page, device, target);
    const QFontMetricsF metrics = target ? QFontMetricsF(font, target) : QFontMetricsF(font);
    // The height of "W" is the font's cell height: every letter of a line shares it.
    const double step = std::round(metrics.boundingRect(QStringLiteral("W")).height());

    std::vector<PlacedLine> placed;
    for (std::size_t l = 0; l < page.labels.size(); ++l) {
        const PageLabel& label = page.labels[l];
        if (label.text.isEmpty())
            continue;
        const int left = devicePixel(label.left, device.offsetLeft, device.dpiX);
        const int top = devicePixel(label.top, device.offsetTop, device.dpiY);
        const int right = devicePixel(label.left + label.boxWidth, device.offsetLeft, device.dpiX);
        int row = 0;
        for (const QString& paragraph : paragraphs(label.text)) {
            const QStringList lines = label.rightAligned ? wrapped(paragraph, metrics, right - left) : QStringList{paragraph};
            for (const QString& line : lines) {
                const double width = metrics.horizontalAdvance(line);
                const double x = label.rightAligned ? right - width : left;
                if (!line.isEmpty())
                    placed.push_back({int(l), QPointF(x, top + row * step), width, line});
                ++row;
            }
        }
    }
    return placed;
}

void paintPage(const Page& page, QPainter& painter, const PageDevice& device)
{
    painter.save();
    const QFont font = pageFont(page, device, painter.device());
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::TransparentMode);
    const double ascent = QFontMetricsF(font, painter.device()).ascent();
    for (const PlacedLine& line : placeLines(page, device, painter.device()))
        painter.drawText(QPointF(line.topLeft.x(), line.topLeft.y() + ascent), line.text);
    painter.restore();
}

} // namespace fatura::report
