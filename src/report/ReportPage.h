#pragma once
// The report page RAPORX: one A4 portrait sheet, its margins, and the 42 print labels of the
// field band. Positions come in report pixels (one screen pixel at 100 %, 25.4 / PPI mm) and
// margins in whole millimetres; both are kept as tenths of a millimetre without rounding, so
// fractions survive until a device pixel is chosen when the page is painted.

#include "Page.h"

#include <array>

namespace fatura::report {

// The screen's logical resolution, read once by the caller at start; 96 where there is no
// screen, which places the fields as a standard screen would.
double screenPpi();

class ReportPage {
public:
    static constexpr int kLabels = 42;
    static constexpr double kMoneyBoxMm = 23.8;

    explicit ReportPage(double ppi = 96.0);

    double ppi() const { return ppi_; }
    // Tenths of a millimetre per report pixel.
    double reportPixel() const { return 254.0 / ppi_; }

    // Labels are numbered 1 ... 42, as the layout numbers them.
    void setLabelLeft(int label, int reportPixels);
    void setLabelTop(int label, int reportPixels);
    void setLabelText(int label, const QString& text);
    QString labelText(int label) const { return at(label).text; }
    double labelLeft(int label) const { return at(label).left; } // tenths of a mm from the band
    double labelTop(int label) const { return at(label).top; }

    // Prices, amounts and totals stand right-aligned in a fixed box; the rest start at their left.
    static bool isMoneyLabel(int label) { return label >= 23 && label <= 41; }
    // The money box: the whole number of report pixels nearest to 23.8 mm, in tenths of a mm.
    double moneyBoxWidth() const { return moneyBoxPixels_ * reportPixel(); }
    int moneyBoxPixels() const { return moneyBoxPixels_; }

    void setTopMargin(int mm) { topMargin_ = mm * 10.0; }
    void setLeftMargin(int mm) { leftMargin_ = mm * 10.0; }
    // Tenths of a millimetre.
    double topMargin() const { return topMargin_; }
    double leftMargin() const { return leftMargin_; }
    double bottomMargin() const { return bottomMargin_; }
    double rightMargin() const { return rightMargin_; }

    // The single page for preview and printer. Margins that together exceed the sheet are both
    // set to 0 first, and stay 0 until set again (the bottom and right ones never are).
    Page produce();

private:
    struct Label {
        double left = 0;
        double top = 0;
        QString text;
    };
    Label& at(int label);
    const Label& at(int label) const;

    double ppi_;
    int moneyBoxPixels_;
    double topMargin_ = 100;
    double leftMargin_ = 100;
    double bottomMargin_ = 100;
    double rightMargin_ = 100;
    std::array<Label, kLabels> labels_{};
};

} // namespace fatura::report
