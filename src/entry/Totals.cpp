#include "Totals.h"

#include "InvoicePage.h"
#include "NumericEdit.h"
#include "SayiOku.h"
#include "SpinEdit.h"
#include "TextEdit.h"

#include <QStringDecoder>

namespace fatura {
namespace {

NumericEdit& field(InvoicePage& page, char column, int row)
{
    return *page.number(QStringLiteral("%1%2").arg(QLatin1Char(column)).arg(row));
}

NumericEdit& field(InvoicePage& page, const char* name) { return *page.number(QString::fromLatin1(name)); }

} // namespace

void RecalculateTotals(InvoicePage& page)
{
    for (int n = 1; n <= 8; ++n) {
        const long double price = field(page, 'F', n).value();
        const long double quantity = field(page, 'M', n).value();
        field(page, 'T', n).setValue(quantity * price);
    }

    // Odd rows first, then even ones: the order in which the sum has always been taken, kept
    // so that stored invoices recompute to the same last digit.
    long double sum = 0;
    for (int n : {1, 3, 5, 7, 2, 4, 6, 8})
        sum += field(page, 'T', n).value();
    const double subtotal = static_cast<double>(sum);

    TextEdit& words = *page.text(QStringLiteral("YALNIZ"));
    if (subtotal > 0) {
        const long double s = subtotal;
        field(page, "YEKUN").setValue(s);
        field(page, "KDV").setValue(static_cast<long double>(page.rate()->value()) * s / 100);
        field(page, "TOPLAM").setValue(static_cast<long double>(page.rate()->value()) * s / 100 + s);
        const double total = static_cast<double>(field(page, "TOPLAM").value());
        const std::string text = AmountToWords(1, 0, total);
        QStringDecoder decode("windows-1254");
        words.setText(decode(QByteArrayView(text.data(), qsizetype(text.size()))));
    } else {
        field(page, "YEKUN").setValue(0);
        field(page, "KDV").setValue(0);
        field(page, "TOPLAM").setValue(0);
        words.clear();
    }
}

} // namespace fatura
