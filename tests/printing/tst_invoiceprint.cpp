// The invoice print composition: labels placed from the layout captions, filled with the
// invoice's printed texts, and handed to the preview or the printer.
#include "InvoicePrint.h"
#include "LayoutTable.h"
#include "Page.h"
#include "ReportOutput.h"
#include "ReportPage.h"
#include "TurkishLocale.h"

#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QTest>

using namespace fatura;
using fatura::report::Page;
using fatura::report::ReportPage;

namespace {

// An invoice held in plain maps, recording when the focus was moved to the date.
class FakeInvoice final : public InvoiceSource {
public:
    QHash<QString, QString> texts;
    QHash<QString, long double> values;
    QStringList events;

    void focusDate() override { events << QStringLiteral("focusDate"); }
    QString text(const QString& name) override
    {
        events << name;
        return texts.value(name);
    }
    long double value(const QString& name) override
    {
        events << name;
        return values.value(name);
    }
};

class FakeOutput final : public report::ReportOutput {
public:
    bool previewOpen = false;
    int raised = 0;
    QList<Page> previewed;
    QList<Page> printed;

    bool raiseOpenPreview() override
    {
        if (previewOpen)
            ++raised;
        return previewOpen;
    }
    void preview(const Page& page) override { previewed << page; }
    void print(const Page& page) override { printed << page; }
};

LayoutCaptions defaultCaptions()
{
    LayoutCaptions captions;
    for (int i = 0; i < kLayoutEntries; ++i)
        captions[std::size_t(i)] = QStringLiteral("%1 | %2").arg(kLayoutTable[std::size_t(i)].defaultTop).arg(kLayoutTable[std::size_t(i)].defaultLeft);
    return captions;
}

struct Fixture {
    explicit Fixture(double ppi = 96) : page(ppi) {}
    ReportPage page;
    FakeInvoice invoice;
    FakeOutput output;
    LayoutCaptions captions = defaultCaptions();
    InvoicePrint print{page, invoice, [this] { return captions; }, output};
};

const report::PageLabel& label(const Page& page, int n) { return page.labels.at(std::size_t(n - 1)); }

// Ink box of the whole page painted at 254 dpi, where a pixel is a tenth of a millimetre.
QImage paintedAt254(const Page& page)
{
    QImage image(2100, 2970, QImage::Format_Grayscale8);
    image.setDotsPerMeterX(10000);
    image.setDotsPerMeterY(10000);
    image.fill(Qt::white);
    QPainter painter(&image);
    report::paintPage(page, painter, {254, 254, 0, 0});
    return image;
}

QRect ink(const QImage& image, QRect region)
{
    region = region.intersected(image.rect());
    QRect box;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            if (image.constScanLine(y)[x] < 160)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

class TestInvoicePrint : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { testing::pinTurkishLocale(); }

    void quantityText_data();
    void quantityText();
    void moneyText_data();
    void moneyText();

    void defaultLayoutPlacesTheDateAndSubtotal_data();
    void defaultLayoutPlacesTheDateAndSubtotal();
    void defaultLayoutInkOnThePaintedPage();
    void marginsComeFromTheLastCaption_data();
    void marginsComeFromTheLastCaption();
    void nudgedCaptionsArePrintedWithoutSaving();

    void fillLabelsPrintsTheInvoiceInItsPrintedForms();
    void emptyInvoicePrintsNothing();
    void focusMovesToTheDateBeforeAnythingIsRead();
    void sampleShowsTheFixedTextsAndTheNextPreviewReplacesThemAll();
    void secondOutputWhileAPreviewIsOpenIsRefused_data();
    void secondOutputWhileAPreviewIsOpenIsRefused();
};

void TestInvoicePrint::quantityText_data()
{
    QTest::addColumn<double>("quantity");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("text");
    QTest::newRow("2,5 Adet") << 2.5 << "Adet" << "2,5 Adet";
    QTest::newRow("whole number, no decimals") << 3.0 << "Kg" << "3 Kg";
    QTest::newRow("no unit: the number and one blank") << 3.0 << "" << "3 ";
    QTest::newRow("quantity 0 prints no unit") << 0.0 << "Adet" << "";
    QTest::newRow("negative keeps its sign") << -2.25 << "Adet" << "-2,25 Adet";
    QTest::newRow("no thousands separator") << 1234567.5 << "Adet" << "1234567,5 Adet";
    QTest::newRow("15 significant digits") << 123456789012.34 << "m" << "123456789012,34 m";
    QTest::newRow("exponent beyond 15 digits") << 1e20 << "m" << "1E20 m";
    QTest::newRow("unit unchanged") << 1.0 << " kutu " << "1  kutu ";
}

void TestInvoicePrint::quantityText()
{
    QFETCH(double, quantity);
    QFETCH(QString, unit);
    QFETCH(QString, text);
    QCOMPARE(QuantityText(quantity, unit), text);
}

void TestInvoicePrint::moneyText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("1.234,50") << 1234.5 << "1.234,50";
    QTest::newRow("0,50: a digit before the separator") << 0.5 << "0,50";
    QTest::newRow("-3,00") << -3.0 << "-3,00";
    QTest::newRow("one million: two thousands separators") << 1000000.0 << "1.000.000,00";
    QTest::newRow("-1.000,01") << -1000.01 << "-1.000,01";
    QTest::newRow("0 prints nothing") << 0.0 << "";
}

void TestInvoicePrint::moneyText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(MoneyText(value), text);
}

void TestInvoicePrint::defaultLayoutPlacesTheDateAndSubtotal_data()
{
    QTest::addColumn<double>("ppi");
    QTest::addColumn<double>("dateLeft"); // tenths of a mm from the sheet's corner
    QTest::addColumn<double>("dateTop");
    QTest::addColumn<double>("subtotalTop");
    QTest::addColumn<double>("subtotalRight");
    QTest::newRow("96 PPI: 115.83 / 14.23 mm, box to 139.12 mm at 113.72 mm")
        << 96.0 << 1158.33 << 142.33 << 1137.17 << 1391.17;
    // 20 % nearer the margin corner; the box is 112 whole report pixels at 120 PPI.
    QTest::newRow("120 PPI: 20 % nearer the margin corner")
        << 120.0 << 100 + 1058.33 * 0.8 << 100 + 42.33 * 0.8 << 100 + 1037.17 * 0.8 << 100 + (398 + 112) * 254.0 / 120;
}

void TestInvoicePrint::defaultLayoutPlacesTheDateAndSubtotal()
{
    QFETCH(double, ppi);
    QFETCH(double, dateLeft);
    QFETCH(double, dateTop);
    QFETCH(double, subtotalTop);
    QFETCH(double, subtotalRight);
    Fixture f(ppi);
    f.invoice.texts[QStringLiteral("TARIH")] = QStringLiteral("07.03.2026");
    f.print.PreviewInvoice();
    QCOMPARE(f.output.previewed.size(), 1);
    const Page& page = f.output.previewed.first();
    const auto near = [](double a, double b) { return std::abs(a - b) < 0.01; };
    QVERIFY2(near(label(page, 1).left, dateLeft), qPrintable(QString::number(label(page, 1).left)));
    QVERIFY2(near(label(page, 1).top, dateTop), qPrintable(QString::number(label(page, 1).top)));
    QVERIFY2(near(label(page, 39).top, subtotalTop), qPrintable(QString::number(label(page, 39).top)));
    QVERIFY2(near(label(page, 39).left + label(page, 39).boxWidth, subtotalRight),
             qPrintable(QString::number(label(page, 39).left + label(page, 39).boxWidth)));
}

void TestInvoicePrint::defaultLayoutInkOnThePaintedPage()
{
    Fixture f;
    f.invoice.texts[QStringLiteral("TARIH")] = QStringLiteral("07.03.2026");
    f.invoice.values[QStringLiteral("YEKUN")] = 1234.5;
    f.print.PreviewInvoice();
    const Page& page = f.output.previewed.first();
    const QImage image = paintedAt254(page);

    // The glyphs' own boxes in the page font: the ink starts a side bearing after the text box's
    // left and a little below its top (ascent above the tallest digit).
    QImage probe(1, 1, QImage::Format_Grayscale8);
    probe.setDotsPerMeterX(10000);
    probe.setDotsPerMeterY(10000);
    const QFontMetricsF metrics(report::pageFont(page, {254, 254, 0, 0}, &probe), &probe);
    const QRectF date = metrics.tightBoundingRect(QStringLiteral("07.03.2026")).translated(0, metrics.ascent());
    const QRectF sum = metrics.tightBoundingRect(QStringLiteral("1.234,50")).translated(0, metrics.ascent());

    const QRect dateInk = ink(image, QRect(1100, 100, 400, 120));
    const QRect sumInk = ink(image, QRect(1100, 1100, 320, 120));
    QVERIFY(!dateInk.isNull());
    QVERIFY(!sumInk.isNull());
    // Within 0.2 mm of 115.83 / 14.23 mm, and of the box's right end at 139.12 mm, top 113.72 mm.
    const auto within = [](double got, double want) { return std::abs(got - want) <= 2.0; };
    QVERIFY2(within(dateInk.left(), 1158.33 + date.left()), qPrintable(QString::number(dateInk.left())));
    QVERIFY2(within(dateInk.top(), 142.33 + date.top()), qPrintable(QString::number(dateInk.top())));
    QVERIFY2(within(sumInk.right() + 1, 1391.17 - (metrics.horizontalAdvance(QStringLiteral("1.234,50")) - sum.right())),
             qPrintable(QString::number(sumInk.right())));
    QVERIFY2(within(sumInk.top(), 1137.17 + sum.top()), qPrintable(QString::number(sumInk.top())));
}

void TestInvoicePrint::marginsComeFromTheLastCaption_data()
{
    QTest::addColumn<QString>("margins");
    QTest::addColumn<double>("dateLeft");
    QTest::addColumn<double>("dateTop");
    QTest::newRow("10 | 10") << "10 | 10" << 1158.33 << 142.33;
    QTest::newRow("top 20 mm") << "20 | 10" << 1158.33 << 242.33;
    QTest::newRow("left 250 mm: left and right 0") << "10 | 250" << 1058.33 << 142.33;
    QTest::newRow("negative margins are kept") << "-5 | -3" << 1058.33 - 30 << 42.33 - 50;
    QTest::newRow("decimal margin reads 0") << "10.5 | 10" << 1158.33 << 42.33;
}

void TestInvoicePrint::marginsComeFromTheLastCaption()
{
    QFETCH(QString, margins);
    QFETCH(double, dateLeft);
    QFETCH(double, dateTop);
    Fixture f;
    f.captions[kPageMarginsEntry] = margins;
    f.print.PrintInvoice();
    QCOMPARE(f.output.printed.size(), 1);
    const Page& page = f.output.printed.first();
    QVERIFY2(std::abs(label(page, 1).left - dateLeft) < 0.01, qPrintable(QString::number(label(page, 1).left)));
    QVERIFY2(std::abs(label(page, 1).top - dateTop) < 0.01, qPrintable(QString::number(label(page, 1).top)));
    QCOMPARE(page.size, QSizeF(2100, 2970));
}

void TestInvoicePrint::nudgedCaptionsArePrintedWithoutSaving()
{
    Fixture f;
    f.print.PreviewInvoice();
    f.captions[0] = QStringLiteral("17 | 401"); // as the nudge buttons leave it
    f.captions[38] = QStringLiteral("16 | 400"); // the subtotal onto the date: both print there
    f.print.PreviewInvoice();
    QCOMPARE(f.output.previewed.size(), 2);
    const Page& page = f.output.previewed.last();
    QVERIFY(std::abs(label(page, 1).left - (100 + 401 * 254.0 / 96)) < 0.01);
    QVERIFY(std::abs(label(page, 1).top - (100 + 17 * 254.0 / 96)) < 0.01);
    QVERIFY(std::abs(label(page, 39).left - (100 + 400 * 254.0 / 96)) < 0.01);
}

void TestInvoicePrint::fillLabelsPrintsTheInvoiceInItsPrintedForms()
{
    Fixture f;
    auto& t = f.invoice.texts;
    auto& v = f.invoice.values;
    t[QStringLiteral("TARIH")] = QStringLiteral("07.03.2026");
    t[QStringLiteral("SAYIN1")] = QStringLiteral("AHMET YALIN");
    t[QStringLiteral("SAYIN2")] = QStringLiteral("İNÖNÜ CAD. 5");
    t[QStringLiteral("SAYIN3")] = QStringLiteral("BOLU");
    t[QStringLiteral("VERGIDAIRESI")] = QStringLiteral("ÇINARALTI");
    t[QStringLiteral("VERGIHESAPNO")] = QStringLiteral("1234567890");
    v[QStringLiteral("M1")] = 2.5;
    t[QStringLiteral("B1")] = QStringLiteral("Adet");
    t[QStringLiteral("B2")] = QStringLiteral("Kg"); // a unit without a quantity
    t[QStringLiteral("C1")] = QStringLiteral("KALEM");
    v[QStringLiteral("F1")] = 1000000;
    v[QStringLiteral("T1")] = 2500000;
    v[QStringLiteral("YEKUN")] = 2500000;
    v[QStringLiteral("KDV")] = -3;
    v[QStringLiteral("TOPLAM")] = 0.5;
    t[QStringLiteral("YALNIZ")] = QStringLiteral("#İkiMilyon#");
    t[QStringLiteral("ORAN")] = QStringLiteral("18"); // no label carries the rate
    f.print.PrintInvoice();
    const Page& page = f.output.printed.first();

    QStringList texts;
    for (const auto& l : page.labels)
        texts << l.text;
    QStringList want(42);
    want[0] = QStringLiteral("07.03.2026");
    want[1] = QStringLiteral("AHMET YALIN");
    want[2] = QStringLiteral("İNÖNÜ CAD. 5");
    want[3] = QStringLiteral("BOLU");
    want[4] = QStringLiteral("ÇINARALTI");
    want[5] = QStringLiteral("1234567890");
    want[6] = QStringLiteral("2,5 Adet");
    want[14] = QStringLiteral("KALEM");
    want[22] = QStringLiteral("1.000.000,00");
    want[30] = QStringLiteral("2.500.000,00");
    want[38] = QStringLiteral("2.500.000,00");
    want[39] = QStringLiteral("-3,00");
    want[40] = QStringLiteral("0,50");
    want[41] = QStringLiteral("#İkiMilyon#");
    QCOMPARE(texts, want);
    QVERIFY(!f.invoice.events.contains(QStringLiteral("ORAN")));
}

void TestInvoicePrint::emptyInvoicePrintsNothing()
{
    Fixture f;
    f.print.PreviewInvoice();
    const Page& page = f.output.previewed.first();
    for (const auto& l : page.labels)
        QVERIFY(l.text.isEmpty());
    QVERIFY(ink(paintedAt254(page), QRect(0, 0, 2100, 2970)).isNull());
}

void TestInvoicePrint::focusMovesToTheDateBeforeAnythingIsRead()
{
    Fixture f;
    f.print.PrintInvoice();
    QVERIFY(!f.invoice.events.isEmpty());
    QCOMPARE(f.invoice.events.first(), QStringLiteral("focusDate"));
    QCOMPARE(f.invoice.events.count(QStringLiteral("focusDate")), 1);
    f.invoice.events.clear();
    f.print.PreviewInvoice();
    QCOMPARE(f.invoice.events.first(), QStringLiteral("focusDate"));
    // The sample neither moves the focus nor reads the invoice.
    f.invoice.events.clear();
    f.print.ShowSample();
    QVERIFY(f.invoice.events.isEmpty());
}

void TestInvoicePrint::sampleShowsTheFixedTextsAndTheNextPreviewReplacesThemAll()
{
    Fixture f;
    f.captions[5] = QStringLiteral("7 | 9");
    f.print.ShowSample();
    QCOMPARE(f.output.previewed.size(), 1);
    QVERIFY(f.output.printed.isEmpty());
    const Page& sample = f.output.previewed.first();
    const QStringList expected = {
        "01.01.2002", "AHMET YALIN", "YEŞİLTEPE BAHÇELİK MAH. NO:41", "YENİŞEHİR BOLU", "ÇINARALTI VERGİ DAİRESİ",
        "4082.316.907.5", "1 Adet", "2 Adet", "3 Adet", "4 Adet", "5 Adet", "6 Adet", "7 Adet", "8 Adet",
        "CİNSİ 1", "CİNSİ 2", "CİNSİ 3", "CİNSİ 4", "CİNSİ 5", "CİNSİ 6", "CİNSİ 7", "CİNSİ 8",
        "FİYATI 1", "FİYATI 2", "FİYATI 3", "FİYATI 4", "FİYATI 5", "FİYATI 6", "FİYATI 7", "FİYATI 8",
        "TUTARI 1", "TUTARI 2", "TUTARI 3", "TUTARI 4", "TUTARI 5", "TUTARI 6", "TUTARI 7", "TUTARI 8",
        "YEKÜN", "K.D.V %", "TOPLAM", "#Yalnız#"};
    QStringList texts;
    for (const auto& l : sample.labels)
        texts << l.text;
    QCOMPARE(texts, expected);
    // At the current positions: the tax number's caption put it at top 7, left 9.
    QVERIFY(std::abs(label(sample, 6).left - (100 + 9 * 254.0 / 96)) < 0.01);
    QVERIFY(std::abs(label(sample, 6).top - (100 + 7 * 254.0 / 96)) < 0.01);

    f.invoice.texts[QStringLiteral("SAYIN1")] = QStringLiteral("AYŞE");
    f.print.PreviewInvoice();
    const Page& invoice = f.output.previewed.last();
    for (int n = 1; n <= 42; ++n)
        QCOMPARE(label(invoice, n).text, n == 2 ? QStringLiteral("AYŞE") : QString());
}

void TestInvoicePrint::secondOutputWhileAPreviewIsOpenIsRefused_data()
{
    QTest::addColumn<int>("which");
    QTest::newRow("ÖNİZLEME") << 0;
    QTest::newRow("YAZDIR") << 1;
    QTest::newRow("Örnek Rapor Göster") << 2;
}

void TestInvoicePrint::secondOutputWhileAPreviewIsOpenIsRefused()
{
    QFETCH(int, which);
    Fixture f;
    f.output.previewOpen = true;
    f.page.setLabelText(1, QStringLiteral("shown now"));
    if (which == 0)
        f.print.PreviewInvoice();
    else if (which == 1)
        f.print.PrintInvoice();
    else
        f.print.ShowSample();
    QCOMPARE(f.output.raised, 1);
    QVERIFY(f.output.previewed.isEmpty());
    QVERIFY(f.output.printed.isEmpty());
    // Nothing was read or moved: the invoice's focus and the report page stay as they were.
    QVERIFY(f.invoice.events.isEmpty());
    QCOMPARE(f.page.labelText(1), QStringLiteral("shown now"));
}

QTEST_MAIN(TestInvoicePrint)
#include "tst_invoiceprint.moc"
