#include "ReportPage.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>
#include <stdexcept>

namespace fatura::report {

double screenPpi()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            if (screen->logicalDotsPerInchY() > 0)
                return screen->logicalDotsPerInchY();
    return 96.0;
}

ReportPage::ReportPage(double ppi)
    : ppi_(ppi > 0 ? ppi : 96.0), moneyBoxPixels_(int(std::lround(kMoneyBoxMm * ppi_ / 25.4)))
{
}

ReportPage::Label& ReportPage::at(int label)
{
    if (label < 1 || label > kLabels)
        throw std::out_of_range("print label out of range");
    return labels_[std::size_t(label - 1)];
}

const ReportPage::Label& ReportPage::at(int label) const { return const_cast<ReportPage*>(this)->at(label); }

void ReportPage::setLabelLeft(int label, int reportPixels) { at(label).left = reportPixels * reportPixel(); }

void ReportPage::setLabelTop(int label, int reportPixels) { at(label).top = reportPixels * reportPixel(); }

void ReportPage::setLabelText(int label, const QString& text) { at(label).text = text; }

Page ReportPage::produce()
{
    Page page;
    if (leftMargin_ + rightMargin_ > page.size.width())
        leftMargin_ = rightMargin_ = 0;
    if (topMargin_ + bottomMargin_ > page.size.height())
        topMargin_ = bottomMargin_ = 0;

    // The band starts at the margin corner and is printed once on the first page however tall
    // it is, so the page count never grows; labels fall wherever their positions put them.
    page.labels.reserve(kLabels);
    for (int n = 1; n <= kLabels; ++n) {
        const Label& label = at(n);
        PageLabel placed;
        placed.left = leftMargin_ + label.left;
        placed.top = topMargin_ + label.top;
        placed.rightAligned = isMoneyLabel(n);
        placed.boxWidth = placed.rightAligned ? moneyBoxWidth() : 0;
        placed.text = label.text;
        page.labels.push_back(placed);
    }
    return page;
}

} // namespace fatura::report
