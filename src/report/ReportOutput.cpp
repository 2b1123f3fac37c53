#include "ReportOutput.h"

#include "PreviewWindow.h"
#include "ReportPrinter.h"

namespace fatura::report {

bool ScreenAndPrinter::raiseOpenPreview() { return fatura::report::raiseOpenPreview(); }

void ScreenAndPrinter::preview(const Page& page) { showPreview(page, printer_, parent_); }

void ScreenAndPrinter::print(const Page& page) { printer_.print(page, parent_); }

} // namespace fatura::report
