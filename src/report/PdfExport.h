#pragma once
// The pages as a PDF: each on a sheet of its own size (A4 for an invoice), painted as on paper
// with the sheet's edge as origin, the fonts embedded so that the file prints the same
// elsewhere.

#include "Page.h"

#include <QString>

#include <vector>

namespace fatura::report {

// Throws std::runtime_error when the file cannot be written.
void savePdf(const QString& path, const std::vector<Page>& pages);

} // namespace fatura::report
