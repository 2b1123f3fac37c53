#pragma once
// Finding where text landed on a rendered page: the bounding box of dark pixels in a region.
#include <QImage>
#include <QRect>

namespace fatura::testing {

// Bounding box of the pixels darker than threshold (grey 0 ... 255) inside region; null when
// the region holds no ink.
inline QRect inkBounds(const QImage& image, QRect region = {}, int threshold = 160)
{
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    region = region.isNull() ? grey.rect() : region.intersected(grey.rect());
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        const uchar* line = grey.constScanLine(y);
        for (int x = region.left(); x <= region.right(); ++x)
            if (line[x] < threshold) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    }
    if (left == INT_MAX)
        return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// A white picture of the whole sheet at dpi dots per inch, its logical resolution set to match.
inline QImage whiteSheet(double dpi)
{
    QImage image(int(210.0 / 25.4 * dpi + 0.5), int(297.0 / 25.4 * dpi + 0.5), QImage::Format_RGB32);
    image.setDotsPerMeterX(int(dpi / 0.0254 + 0.5));
    image.setDotsPerMeterY(int(dpi / 0.0254 + 0.5));
    image.fill(Qt::white);
    return image;
}

} // namespace fatura::testing
