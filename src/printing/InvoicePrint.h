#pragma once
// The invoice on paper: places the 42 print labels and the page margins from the current
// layout, fills them with the invoice's values in their printed forms, and hands the page to
// the preview or the printer. Also the sample page that lines a layout up with the form.
//
// Reads the invoice through InvoiceSource and the layout through a function giving the 43
// position texts, so it depends on neither page's widgets. Keeps no state of its own: every
// output places and fills all labels anew.

#include "LayoutFile.h"

#include <QLocale>
#include <array>
#include <QString>

#include <functional>

namespace fatura {

namespace report {
class ReportOutput;
class ReportPage;
} // namespace report

// What printing reads of the invoice page.
class InvoiceSource {
public:
    virtual ~InvoiceSource() = default;
    // Moves the input focus to TARIH, so that the field being edited is left and its leave
    // actions (the totals) run before anything is read. Nothing happens when TARIH has it.
    virtual void focusDate() = 0;
    // The text of a text field: TARIH, SAYIN1 ... SAYIN3, VERGIDAIRESI, VERGIHESAPNO, Bn, Cn, YALNIZ.
    virtual QString text(const QString& name) = 0;
    // The value of a numeric entry field as it reads (rounded to two decimals): Mn, Fn, Tn,
    // YEKUN, KDV, TOPLAM.
    virtual long double value(const QString& name) = 0;
};

// A quantity and its unit as printed: "2,5 Adet"; empty for a quantity of 0, whatever the unit.
// The number in its shortest form of at most 15 significant digits, no thousands separator.
QString QuantityText(long double quantity, const QString& unit, const QLocale& locale = QLocale());

// A money value as printed: thousands separators and two decimals ("1.234,50", "-3,00");
// empty for 0, so that nothing shows in the box.
QString MoneyText(long double value, const QLocale& locale = QLocale());

// The fixed texts of the sample page, by print label 1 ... 42 (index 0 is label 1).
const std::array<QString, 42>& sampleTexts();

class InvoicePrint {
public:
    using Positions = std::function<LayoutCaptions()>;

    InvoicePrint(report::ReportPage& page, InvoiceSource& invoice, Positions positions, report::ReportOutput& output);

    // "ÖNİZLEME": returns when the preview has been closed.
    void PreviewInvoice();
    // "YAZDIR": returns when the page has been handed to the printer.
    void PrintInvoice();
    // "Örnek Rapor Göster": the sample texts at the current positions, previewed.
    void ShowSample();

    void PlaceLabels();
    void FillLabels();

private:
    // True (and the open preview raised) when a preview is already open: a second output is
    // refused rather than disturbing it.
    bool previewAlreadyOpen();

    report::ReportPage& page_;
    InvoiceSource& invoice_;
    Positions positions_;
    report::ReportOutput& output_;
};

} // namespace fatura
