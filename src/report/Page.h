#pragma once
// One produced report page as plain data: what the preview shows, the printer prints and a page
// file keeps. Lengths are tenths of a millimetre measured from the top-left corner of the sheet,
// already resolved from margins and report pixels; nothing here depends on an output device.
// Turning it into device pixels (unprintable offsets, rounding, line breaking, line height)
// happens when it is painted, because those depend on the device.

#include <QFont>
#include <QPointF>
#include <QSizeF>
#include <QString>

#include <vector>

class QPainter;
class QPaintDevice;

namespace fatura::report {

struct PageLabel {
    double left = 0;         // of the label's text box
    double top = 0;
    double boxWidth = 0;     // the fixed box of a right-aligned label; 0 for a left-aligned one
    bool rightAligned = false;
    QString text;            // CR starts a line; LF is dropped when painted
};

struct Page {
    QSizeF size{2100.0, 2970.0}; // A4 portrait
    QString fontFamily = QStringLiteral("Arial");
    double pointSize = 10.0;
    std::vector<PageLabel> labels; // painted in this order
};

// Where a page is painted: the device's resolution and the unprintable offsets of its printable
// area from the sheet's edge (0 on screen, in a picture and in a PDF).
struct PageDevice {
    double dpiX = 96.0;
    double dpiY = 96.0;
    double offsetLeft = 0; // tenths of a millimetre
    double offsetTop = 0;
};

// Paints the page onto a painter whose origin is the device's printable top-left corner.
// Only the texts are painted: labels are transparent and the sheet's white is the device's own
// (a preview fills it first). The painter's font and pen are restored afterwards.
void paintPage(const Page& page, QPainter& painter, const PageDevice& device);

// The page's font for a painter on target, sized so that its point size holds at device's
// resolution even where the target's own logical resolution differs (a zoomed picture).
// Where the family is not installed a metric-compatible one stands in (Arial -> Liberation
// Sans), so that widths and line breaks match the form the layout was made for.
QFont pageFont(const Page& page, const PageDevice& device, const QPaintDevice* target);

// One line of text as paintPage places it: its text box's top-left corner in device pixels
// (the baseline lies one ascent below it). Right-aligned labels are already broken into lines.
struct PlacedLine {
    int label = 0;   // index into Page::labels
    QPointF topLeft;
    double width = 0; // advance of the text in device pixels
    QString text;
};
std::vector<PlacedLine> placeLines(const Page& page, const PageDevice& device, const QPaintDevice* target);

} // namespace fatura::report
