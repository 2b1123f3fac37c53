#pragma once

namespace fatura {

class InvoicePage;

// Turns the quantities and unit prices on the page into row amounts, subtotal, VAT, grand
// total and the grand total in words. Keeps no state; every run reads the fields afresh.
// Figures are carried in extended precision and never rounded here: each field rounds to two
// decimals when it shows or is read, and the figures are read back through that rounding.
void RecalculateTotals(InvoicePage& page);

} // namespace fatura
