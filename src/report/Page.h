#pragma once
// One produced report page as plain data: what the preview shows, the printer prints and a page
// file keeps. Lengths are tenths of a millimetre measured from the top-left corner of the sheet,
// already resolved from margins and report pixels; nothing here depends on an output device.
// Turning it into device pixels (unprintable offsets, rounding, line breaking, line height)
// happens when it is painted, because those depend on the device.

#include <QSizeF>
#include <QString>

#include <vector>

class QPainter;

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
void paintPage(const Page& page, QPainter& painter, const PageDevice& device);

} // namespace fatura::report
