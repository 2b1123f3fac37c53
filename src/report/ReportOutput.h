#pragma once
// Where a produced page goes: the preview window or the printer. The print composition talks
// to this, so that it can be tried without windows or a printer.

#include "Page.h"

class QWidget;

namespace fatura::report {

class ReportPrinter;

class ReportOutput {
public:
    virtual ~ReportOutput() = default;
    // When a preview window is open: brings it to the front and returns true.
    virtual bool raiseOpenPreview() = 0;
    // Shows the page in the preview window; returns when that window has been closed.
    virtual void preview(const Page& page) = 0;
    // Sends the page to the run's printer without a dialog; silent when there is no printer.
    virtual void print(const Page& page) = 0;
};

} // namespace fatura::report

namespace fatura::report {

// The real ones: the preview window and the run's printer. parent places the preview on its
// screen and owns the progress window of a printout.
class ScreenAndPrinter final : public ReportOutput {
public:
    ScreenAndPrinter(ReportPrinter& printer, QWidget* parent) : printer_(printer), parent_(parent) {}
    bool raiseOpenPreview() override;
    void preview(const Page& page) override;
    void print(const Page& page) override;

private:
    ReportPrinter& printer_;
    QWidget* parent_;
};

} // namespace fatura::report
