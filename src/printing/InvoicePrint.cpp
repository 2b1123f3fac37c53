#include "InvoicePrint.h"

#include "LayoutTable.h"
#include "NumberFormat.h"
#include "Position.h"
#include "ReportOutput.h"
#include "ReportPage.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace fatura {
namespace {

QString rowName(char column, int row) { return QStringLiteral("%1%2").arg(QLatin1Char(column)).arg(row); }

// Shortest decimal form with at most 15 significant digits; exponent form once the number
// needs more than 15 digits before the point, or is below 0.00001.
QString generalNumber(long double value, const QLocale& locale)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14Le", value);
    const long exponent = std::strtol(std::strchr(buf, 'e') + 1, nullptr, 10);
    const bool scientific = exponent >= 15 || exponent < -5;
    if (!scientific) {
        std::snprintf(buf, sizeof buf, "%.*Lf", int(std::max(0L, 14 - exponent)), value);
        std::string text = buf;
        if (text.find('.') != std::string::npos) {
            while (text.back() == '0')
                text.pop_back();
            if (text.back() == '.')
                text.pop_back();
        }
        return QString::fromLatin1(text.data(), qsizetype(text.size())).replace(u'.', locale.decimalPoint());
    }
    std::string mantissa(buf, std::strchr(buf, 'e'));
    while (mantissa.back() == '0')
        mantissa.pop_back();
    if (mantissa.back() == '.')
        mantissa.pop_back();
    return QString::fromLatin1(mantissa.data(), qsizetype(mantissa.size())).replace(u'.', locale.decimalPoint())
           + QStringLiteral("E") + QString::number(exponent);
}

} // namespace

QString QuantityText(long double quantity, const QString& unit, const QLocale& locale)
{
    if (quantity == 0)
        return QString();
    return generalNumber(quantity, locale) + u' ' + unit;
}

QString MoneyText(long double value, const QLocale& locale)
{
    if (value == 0)
        return QString();
    return formatNumber(value, QStringLiteral("#,###0.00"), locale);
}

const std::array<QString, 42>& sampleTexts()
{
    static const std::array<QString, 42> texts = [] {
        std::array<QString, 42> t;
        t[0] = QStringLiteral("01.01.2002");
        t[1] = QStringLiteral("AHMET YALIN");
        t[2] = QStringLiteral("YEŞİLTEPE BAHÇELİK MAH. NO:41");
        t[3] = QStringLiteral("YENİŞEHİR BOLU");
        t[4] = QStringLiteral("ÇINARALTI VERGİ DAİRESİ");
        t[5] = QStringLiteral("4082.316.907.5");
        for (int n = 1; n <= 8; ++n) {
            t[std::size_t(5 + n)] = QStringLiteral("%1 Adet").arg(n);
            t[std::size_t(13 + n)] = QStringLiteral("CİNSİ %1").arg(n);
            t[std::size_t(21 + n)] = QStringLiteral("FİYATI %1").arg(n);
            t[std::size_t(29 + n)] = QStringLiteral("TUTARI %1").arg(n);
        }
        t[38] = QStringLiteral("YEKÜN");
        t[39] = QStringLiteral("K.D.V %");
        t[40] = QStringLiteral("TOPLAM");
        t[41] = QStringLiteral("#Yalnız#");
        return t;
    }();
    return texts;
}

InvoicePrint::InvoicePrint(report::ReportPage& page, InvoiceSource& invoice, Positions positions,
                           report::ReportOutput& output)
    : page_(page), invoice_(invoice), positions_(std::move(positions)), output_(output)
{
}

bool InvoicePrint::previewAlreadyOpen() { return output_.raiseOpenPreview(); }

void InvoicePrint::PreviewInvoice()
{
    if (previewAlreadyOpen())
        return;
    invoice_.focusDate();
    PlaceLabels();
    FillLabels();
    output_.preview(page_.produce());
}

void InvoicePrint::PrintInvoice()
{
    if (previewAlreadyOpen())
        return;
    invoice_.focusDate();
    PlaceLabels();
    FillLabels();
    output_.print(page_.produce());
}

void InvoicePrint::ShowSample()
{
    if (previewAlreadyOpen())
        return;
    PlaceLabels();
    const auto& samples = sampleTexts();
    for (int n = 1; n <= report::ReportPage::kLabels; ++n)
        page_.setLabelText(n, samples[std::size_t(n - 1)]);
    output_.preview(page_.produce());
}

void InvoicePrint::PlaceLabels()
{
    const LayoutCaptions captions = positions_();
    for (int entry = 0; entry < kLayoutEntries; ++entry) {
        const SplitPositionResult p = SplitPosition(captions[std::size_t(entry)]);
        const int label = kLayoutTable[std::size_t(entry)].printLabel;
        if (entry == kPageMarginsEntry) {
            page_.setTopMargin(p.top);
            page_.setLeftMargin(p.left);
        } else {
            page_.setLabelLeft(label, p.left);
            page_.setLabelTop(label, p.top);
        }
    }
}

void InvoicePrint::FillLabels()
{
    const auto set = [this](int label, const QString& text) { page_.setLabelText(label, text); };
    set(1, invoice_.text(QStringLiteral("TARIH")));
    set(2, invoice_.text(QStringLiteral("SAYIN1")));
    set(3, invoice_.text(QStringLiteral("SAYIN2")));
    set(4, invoice_.text(QStringLiteral("SAYIN3")));
    set(5, invoice_.text(QStringLiteral("VERGIDAIRESI")));
    set(6, invoice_.text(QStringLiteral("VERGIHESAPNO")));
    for (int row = 1; row <= 8; ++row)
        set(6 + row, QuantityText(invoice_.value(rowName('M', row)), invoice_.text(rowName('B', row))));
    for (int row = 1; row <= 8; ++row)
        set(14 + row, invoice_.text(rowName('C', row)));
    for (int row = 1; row <= 8; ++row)
        set(22 + row, MoneyText(invoice_.value(rowName('F', row))));
    for (int row = 1; row <= 8; ++row)
        set(30 + row, MoneyText(invoice_.value(rowName('T', row))));
    set(39, MoneyText(invoice_.value(QStringLiteral("YEKUN"))));
    set(40, MoneyText(invoice_.value(QStringLiteral("KDV"))));
    set(41, MoneyText(invoice_.value(QStringLiteral("TOPLAM"))));
    set(42, invoice_.text(QStringLiteral("YALNIZ")));
}

} // namespace fatura
