#pragma once
// The run's printer: the settings every printout uses, from the default printer at start to
// whatever the preview's printer setup chose since. Printing never shows a printer dialog.

#include "Page.h"

#include <QPrinter>

#include <functional>

class QWidget;

namespace fatura::report {

class ReportPrinter {
public:
    // The system's default printer, one copy, A4 portrait, the painter's origin at the sheet's
    // corner (full page, no margins).
    ReportPrinter();

    // The settings later printouts use; the printer setup edits them in place.
    QPrinter& printer() { return printer_; }

    // False when there is no printer to print to (none installed, no default).
    bool hasPrinter() const;

    // Sends the page to the printer, showing "Printing progress" with a bar and "Cancel" while
    // it is produced, and returns once the page has been handed over. Does nothing, silently,
    // when there is no printer or the user cancels. Returns whether the page was handed over.
    bool print(const Page& page, QWidget* parent);

    // Where the painter's origin lies on the sheet, in tenths of a millimetre, and the device's
    // resolution: what paintPage needs to measure from the sheet's edge.
    PageDevice device() const;

    // Tests: runs once the progress window is up, before the page is produced (to press Cancel).
    void setBeforeProducing(std::function<void(QWidget* progress)> hook) { beforeProducing_ = std::move(hook); }

private:
    QPrinter printer_;
    std::function<void(QWidget*)> beforeProducing_;
};

} // namespace fatura::report
