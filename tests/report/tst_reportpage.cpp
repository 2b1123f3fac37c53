// The report page model and its painting: positions in tenths of a millimetre from the sheet's
// corner, the margin checks, and where the ink of each label lands on a device.
#include "Ink.h"
#include "Page.h"
#include "ReportPage.h"
#include "ReportPrinter.h"

#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace fatura::report;
using fatura::testing::inkBounds;
using fatura::testing::whiteSheet;

namespace {

// At 254 dpi one device pixel is one tenth of a millimetre, so ink is read off in page units.
constexpr double kTenthDpi = 254.0;

QImage painted(const Page& page, double dpi = kTenthDpi, PageDevice device = {})
{
    QImage image = whiteSheet(dpi);
    device.dpiX = device.dpiY = dpi;
    QPainter painter(&image);
    paintPage(page, painter, device);
    return image;
}

Page pageWith(std::vector<PageLabel> labels)
{
    Page page;
    page.labels = std::move(labels);
    return page;
}

PageLabel leftLabel(double left, double top, const QString& text) { return {left, top, 0, false, text}; }

PageLabel moneyLabel(double left, double top, double width, const QString& text) { return {left, top, width, true, text}; }

// Where the ink of line should be, from the font's own glyph boxes: independent of paintPage's
// arithmetic apart from the device pixel it chose.
QRectF expectedInk(const Page& page, const PlacedLine& line, const QImage& image, const PageDevice& device)
{
    const QFont font = pageFont(page, device, &image);
    const QFontMetricsF metrics(font, &image);
    return metrics.tightBoundingRect(line.text).translated(line.topLeft.x(), line.topLeft.y() + metrics.ascent());
}

bool pdfToolsPresent() { return !QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty(); }

} // namespace

class TestReportPage : public QObject {
    Q_OBJECT
private slots:
    void positionsAreKeptInTenthsOfAMillimetre_data();
    void positionsAreKeptInTenthsOfAMillimetre();
    void moneyBoxIsTheNearestWholeReportPixels_data();
    void moneyBoxIsTheNearestWholeReportPixels();
    void marginsBeyondTheSheetResetToZeroAndStayZero();
    void noScreenMeansNinetySixPpi();

    void inkLandsAtTheDevicePixelOfEachLabel_data();
    void inkLandsAtTheDevicePixelOfEachLabel();
    void devicePixelsAreRoundedFromTheSheetEdge();
    void unprintableOffsetsAreSubtracted();
    void moneyTextWrapsBetweenWordsEachLineEndingAtTheRightEdge();
    void moneyWordWiderThanItsBoxIsPrintedWholeRunningLeft();
    void leftLabelsNeverWrap();
    void carriageReturnStartsALineAndLineFeedIsDropped_data();
    void carriageReturnStartsALineAndLineFeedIsDropped();
    void linesFollowAtTheHeightOfW();
    void overlappingLabelsBothShow();
    void emptyTextsPrintNothing();
    void arialResolvesToAMetricCompatibleFamilyOnEveryDevice();

    void printerStartsWithOneCopyOfA4PortraitFromTheSheetCorner();
    void printsOnePageToAPdfAtTheSamePlaces();
    void cancelInTheProgressWindowStopsThePrintout();
    void noPrinterPrintsNothing();
};

void TestReportPage::positionsAreKeptInTenthsOfAMillimetre_data()
{
    QTest::addColumn<double>("ppi");
    QTest::addColumn<int>("leftPx");
    QTest::addColumn<int>("topPx");
    QTest::addColumn<double>("left"); // tenths of a mm from the sheet's corner
    QTest::addColumn<double>("top");
    // 10 mm margins; 25.4 / PPI mm per report pixel, fractions kept.
    QTest::newRow("date at 96 PPI") << 96.0 << 400 << 16 << 1158.33 << 142.33;
    QTest::newRow("date at 120 PPI, 20 % nearer the corner") << 120.0 << 400 << 16 << 946.67 << 133.87;
    QTest::newRow("subtotal at 96 PPI") << 96.0 << 398 << 392 << 1153.04 << 1137.17;
    QTest::newRow("negative position above the band") << 96.0 << -20 << -5 << 47.08 << 86.77;
}

void TestReportPage::positionsAreKeptInTenthsOfAMillimetre()
{
    QFETCH(double, ppi);
    QFETCH(int, leftPx);
    QFETCH(int, topPx);
    QFETCH(double, left);
    QFETCH(double, top);
    ReportPage report(ppi);
    report.setTopMargin(10);
    report.setLeftMargin(10);
    report.setLabelLeft(1, leftPx);
    report.setLabelTop(1, topPx);
    report.setLabelText(1, QStringLiteral("x"));
    const Page page = report.produce();
    QCOMPARE(page.labels.size(), std::size_t(42));
    QVERIFY2(std::abs(page.labels[0].left - left) < 0.01, qPrintable(QString::number(page.labels[0].left)));
    QVERIFY2(std::abs(page.labels[0].top - top) < 0.01, qPrintable(QString::number(page.labels[0].top)));
    QCOMPARE(page.size, QSizeF(2100, 2970));
}

void TestReportPage::moneyBoxIsTheNearestWholeReportPixels_data()
{
    QTest::addColumn<double>("ppi");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<double>("rightEnd"); // box at left 398 with 10 mm margin, tenths of a mm
    QTest::newRow("96 PPI: 90 pixels, right end at 139.12 mm") << 96.0 << 90 << 1391.17;
    QTest::newRow("120 PPI: 112 pixels (112.4 exact)") << 120.0 << 112 << 1179.50;
    QTest::newRow("144 PPI: 135 pixels (134.9 exact)") << 144.0 << 135 << 1040.15;
}

void TestReportPage::moneyBoxIsTheNearestWholeReportPixels()
{
    QFETCH(double, ppi);
    QFETCH(int, pixels);
    QFETCH(double, rightEnd);
    ReportPage report(ppi);
    QCOMPARE(report.moneyBoxPixels(), pixels);
    report.setLabelLeft(39, 398);
    const Page page = report.produce();
    const PageLabel& subtotal = page.labels[38];
    QVERIFY(subtotal.rightAligned);
    QVERIFY2(std::abs(subtotal.left + subtotal.boxWidth - rightEnd) < 0.01,
             qPrintable(QString::number(subtotal.left + subtotal.boxWidth)));
    // Only prices, amounts and totals are boxed.
    for (int n = 1; n <= 42; ++n)
        QCOMPARE(page.labels[std::size_t(n - 1)].rightAligned, n >= 23 && n <= 41);
}

void TestReportPage::marginsBeyondTheSheetResetToZeroAndStayZero()
{
    ReportPage report;
    report.setLabelLeft(1, 0);
    report.setLeftMargin(250);
    Page page = report.produce();
    QCOMPARE(report.leftMargin(), 0.0);
    QCOMPARE(report.rightMargin(), 0.0);
    QCOMPARE(page.labels[0].left, 0.0);

    // Only the left margin is ever set again; the right one stays at 0 for the run.
    report.setLeftMargin(205);
    page = report.produce();
    QCOMPARE(report.leftMargin(), 2050.0);
    QCOMPARE(report.rightMargin(), 0.0);

    report.setTopMargin(20);
    page = report.produce();
    QCOMPARE(report.topMargin(), 200.0);
    QCOMPARE(report.bottomMargin(), 100.0);
    report.setTopMargin(288);
    report.produce();
    QCOMPARE(report.topMargin(), 0.0);
    QCOMPARE(report.bottomMargin(), 0.0);

    // A negative margin is not beyond the sheet.
    ReportPage other;
    other.setLeftMargin(-5);
    other.setLabelLeft(1, 0);
    QCOMPARE(other.produce().labels[0].left, -50.0);
    QCOMPARE(other.rightMargin(), 100.0);
}

void TestReportPage::noScreenMeansNinetySixPpi()
{
    // Under the offscreen platform there is a screen; a report page given no usable PPI takes 96.
    QCOMPARE(ReportPage(0).ppi(), 96.0);
    QVERIFY(screenPpi() > 0);
}

void TestReportPage::inkLandsAtTheDevicePixelOfEachLabel_data()
{
    QTest::addColumn<double>("dpi");
    QTest::newRow("254 dpi, one pixel a tenth of a mm") << 254.0;
    QTest::newRow("300 dpi printer") << 300.0;
    QTest::newRow("96 dpi screen") << 96.0;
}

void TestReportPage::inkLandsAtTheDevicePixelOfEachLabel()
{
    QFETCH(double, dpi);
    const Page page = pageWith({leftLabel(1158.33, 142.33, QStringLiteral("07.03.2026")),
                                moneyLabel(1153.04, 1137.17, 238.13, QStringLiteral("1.234,50"))});
    PageDevice device{dpi, dpi, 0, 0};
    const QImage image = painted(page, dpi);
    const std::vector<PlacedLine> lines = placeLines(page, device, &image);
    QCOMPARE(lines.size(), std::size_t(2));

    const double px = dpi / 254.0;
    QCOMPARE(lines[0].topLeft, QPointF(std::round(1158.33 * px), std::round(142.33 * px)));
    QCOMPARE(lines[1].topLeft.x() + lines[1].width, std::round((1153.04 + 238.13) * px));

    for (const PlacedLine& line : lines) {
        const QRectF expected = expectedInk(page, line, image, device);
        const QRect ink = inkBounds(image, expected.toAlignedRect().adjusted(-20, -20, 20, 20));
        QVERIFY2(!ink.isNull(), qPrintable(line.text));
        const QString where = QStringLiteral("%1: ink %2,%3 - %4,%5, expected %6,%7 - %8,%9")
                                  .arg(line.text)
                                  .arg(ink.left()).arg(ink.top()).arg(ink.right() + 1).arg(ink.bottom() + 1)
                                  .arg(expected.left()).arg(expected.top()).arg(expected.right()).arg(expected.bottom());
        // Anti-aliased edges: a column or two of faint ink either way.
        QVERIFY2(std::abs(ink.left() - expected.left()) <= 2.0, qPrintable(where));
        QVERIFY2(std::abs(ink.top() - expected.top()) <= 2.0, qPrintable(where));
        QVERIFY2(std::abs(ink.right() + 1 - expected.right()) <= 2.0, qPrintable(where));
    }
}

void TestReportPage::devicePixelsAreRoundedFromTheSheetEdge()
{
    // 100.5 tenths at 254 dpi is 100.5 device pixels: rounds to 101, not truncated to 100.
    const Page page = pageWith({leftLabel(100.5, 199.4, QStringLiteral("I"))});
    const QImage image = whiteSheet(kTenthDpi);
    const std::vector<PlacedLine> lines = placeLines(page, {kTenthDpi, kTenthDpi, 0, 0}, &image);
    QCOMPARE(lines.size(), std::size_t(1));
    QCOMPARE(lines[0].topLeft, QPointF(101, 199));
}

void TestReportPage::unprintableOffsetsAreSubtracted()
{
    // A printer whose printable area starts 4.2 mm in and 3 mm down: the ink moves by exactly
    // that on its device, so it lands in the same place on the sheet.
    const Page page = pageWith({leftLabel(500, 500, QStringLiteral("TARIH"))});
    const QRect atEdge = inkBounds(painted(page));
    const QRect offset = inkBounds(painted(page, kTenthDpi, {0, 0, 42, 30}));
    QVERIFY(!atEdge.isNull());
    QCOMPARE(offset.topLeft(), atEdge.topLeft() - QPoint(42, 30));
    QCOMPARE(offset.size(), atEdge.size());
}

void TestReportPage::moneyTextWrapsBetweenWordsEachLineEndingAtTheRightEdge()
{
    const double left = 1000, width = 238.13;
    const QString text = QStringLiteral("FİYATI BİR İKİ ÜÇ DÖRT");
    const Page page = pageWith({moneyLabel(left, 500, width, text)});
    const QImage image = painted(page);
    const std::vector<PlacedLine> lines = placeLines(page, {kTenthDpi, kTenthDpi, 0, 0}, &image);
    QVERIFY2(lines.size() >= 2, "the text is wider than its box and must wrap");

    QStringList words;
    const int right = int(std::round(left + width));
    for (const PlacedLine& line : lines) {
        QVERIFY2(line.width <= width + 0.5, qPrintable(line.text));
        QVERIFY2(!line.text.startsWith(u' ') && !line.text.endsWith(u' '), qPrintable(line.text));
        QCOMPARE(line.topLeft.x() + line.width, double(right));
        words += line.text.split(u' ');
    }
    QCOMPARE(words.join(u' '), text);
    // Greedy: no line could have taken the next line's first word.
    const QFontMetricsF metrics(pageFont(page, {kTenthDpi, kTenthDpi, 0, 0}, &image), &image);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const QString longer = lines[i].text + u' ' + lines[i + 1].text.section(u' ', 0, 0);
        QVERIFY2(metrics.horizontalAdvance(longer) > width, qPrintable(longer));
    }
    // The ink of every line stays inside the box and reaches its right edge.
    const QRect ink = inkBounds(image);
    QVERIFY(ink.left() >= left);
    QVERIFY2(std::abs(ink.right() + 1 - right) <= 8, qPrintable(QString::number(ink.right())));
}

void TestReportPage::moneyWordWiderThanItsBoxIsPrintedWholeRunningLeft()
{
    const double left = 1000, width = 238.13;
    const QString amount = QStringLiteral("123.456.789.012,00");
    const Page page = pageWith({moneyLabel(left, 500, width, amount)});
    const QImage image = painted(page);
    const std::vector<PlacedLine> lines = placeLines(page, {kTenthDpi, kTenthDpi, 0, 0}, &image);
    QCOMPARE(lines.size(), std::size_t(1));
    QCOMPARE(lines[0].text, amount);
    QVERIFY(lines[0].width > width);
    QCOMPARE(lines[0].topLeft.x() + lines[0].width, std::round(left + width));

    // Every digit is on paper: the ink spans the whole advance, reaching left of the box.
    const QRect ink = inkBounds(image);
    QVERIFY2(ink.left() < left - 10, qPrintable(QString::number(ink.left())));
    QVERIFY2(ink.width() > lines[0].width - 10, qPrintable(QString::number(ink.width())));

    // A blank in it still breaks it between the words, each part kept whole.
    const Page split = pageWith({moneyLabel(left, 500, width, amount + QStringLiteral(" TL"))});
    const std::vector<PlacedLine> two = placeLines(split, {kTenthDpi, kTenthDpi, 0, 0}, &image);
    QCOMPARE(two.size(), std::size_t(2));
    QCOMPARE(two[0].text, amount);
    QCOMPARE(two[1].text, QStringLiteral("TL"));
}

void TestReportPage::leftLabelsNeverWrap()
{
    const QString words = QStringLiteral("YALNIZ BİR MİLYON İKİ YÜZ OTUZ DÖRT BİN BEŞ YÜZ ALTMIŞ YEDİ TÜRK LİRASI");
    const Page page = pageWith({leftLabel(1500, 500, words)});
    const QImage image = painted(page);
    const std::vector<PlacedLine> lines = placeLines(page, {kTenthDpi, kTenthDpi, 0, 0}, &image);
    QCOMPARE(lines.size(), std::size_t(1));
    QCOMPARE(lines[0].text, words);
    // It runs off the sheet's right edge: ink up to the last column.
    QCOMPARE(inkBounds(image).right(), image.width() - 1);
}

void TestReportPage::carriageReturnStartsALineAndLineFeedIsDropped_data()
{
    QTest::addColumn<bool>("money");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF in a name") << false << QStringLiteral("AHMET\r\nYALIN") << QStringList{"AHMET", "YALIN"};
    QTest::newRow("LF alone joins") << false << QStringLiteral("AHMET\nYALIN") << QStringList{"AHMETYALIN"};
    QTest::newRow("CR in a money box") << true << QStringLiteral("1,00\r2,00") << QStringList{"1,00", "2,00"};
}

void TestReportPage::carriageReturnStartsALineAndLineFeedIsDropped()
{
    QFETCH(bool, money);
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    const Page page = pageWith({money ? moneyLabel(500, 500, 238.13, text) : leftLabel(500, 500, text)});
    const QImage image = whiteSheet(kTenthDpi);
    QStringList got;
    for (const PlacedLine& line : placeLines(page, {kTenthDpi, kTenthDpi, 0, 0}, &image))
        got << line.text;
    QCOMPARE(got, lines);
}

void TestReportPage::linesFollowAtTheHeightOfW()
{
    const Page page = pageWith({leftLabel(500, 500, QStringLiteral("A\r\rB"))});
    for (double dpi : {96.0, 300.0, 600.0}) {
        QImage image = whiteSheet(dpi);
        const std::vector<PlacedLine> lines = placeLines(page, {dpi, dpi, 0, 0}, &image);
        QCOMPARE(lines.size(), std::size_t(2)); // the empty middle line takes its place but paints nothing
        const QFontMetricsF metrics(pageFont(page, {dpi, dpi, 0, 0}, &image), &image);
        const double w = std::round(metrics.boundingRect(QStringLiteral("W")).height());
        QCOMPARE(lines[1].topLeft.y() - lines[0].topLeft.y(), 2 * w);
        // 10 point Liberation Sans: a cell of 1.15 em, about 4.06 mm.
        QVERIFY2(std::abs(w / dpi * 25.4 - 4.06) < 0.15, qPrintable(QString::number(w)));
    }
}

void TestReportPage::overlappingLabelsBothShow()
{
    const PageLabel first = leftLabel(500, 500, QStringLiteral("IIIII"));
    const PageLabel second = leftLabel(500, 500, QStringLiteral("_____"));
    const QImage both = painted(pageWith({first, second})).convertToFormat(QImage::Format_Grayscale8);
    for (const PageLabel& alone : {first, second}) {
        const QImage single = painted(pageWith({alone})).convertToFormat(QImage::Format_Grayscale8);
        const QRect box = inkBounds(single);
        QVERIFY(!box.isNull());
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                if (single.constScanLine(y)[x] < 100)
                    QVERIFY2(both.constScanLine(y)[x] < 160, qPrintable(QStringLiteral("%1,%2 lost").arg(x).arg(y)));
    }
}

void TestReportPage::emptyTextsPrintNothing()
{
    const Page page = pageWith({leftLabel(500, 500, QString()), moneyLabel(800, 800, 238, QString())});
    QVERIFY(inkBounds(painted(page)).isNull());
}

void TestReportPage::arialResolvesToAMetricCompatibleFamilyOnEveryDevice()
{
    const Page page;
    const QImage image = whiteSheet(300);
    QCOMPARE(QFontInfo(pageFont(page, {300, 300, 0, 0}, &image)).family(), QStringLiteral("Liberation Sans"));

    QTemporaryDir dir;
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(dir.filePath(QStringLiteral("font.pdf")));
    QPainter painter(&pdf);
    const QFont font = pageFont(page, {double(pdf.logicalDpiX()), double(pdf.logicalDpiY()), 0, 0}, &pdf);
    painter.setFont(font);
    QCOMPARE(QFontInfo(painter.font()).family(), QStringLiteral("Liberation Sans"));
    // 10 points on the printer, whatever its resolution.
    QVERIFY2(std::abs(QFontInfo(painter.font()).pointSizeF() - 10.0) < 0.05, qPrintable(QString::number(QFontInfo(painter.font()).pointSizeF())));
    painter.drawText(100, 100, QStringLiteral("TARIH"));
    painter.end();
    QFile file(dir.filePath(QStringLiteral("font.pdf")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("LiberationSans"));
}

void TestReportPage::printerStartsWithOneCopyOfA4PortraitFromTheSheetCorner()
{
    ReportPrinter printer;
    QPrinter& p = printer.printer();
    QCOMPARE(p.copyCount(), 1);
    QCOMPARE(p.pageLayout().pageSize().id(), QPageSize::A4);
    QCOMPARE(p.pageLayout().orientation(), QPageLayout::Portrait);
    QVERIFY(p.fullPage());
    QCOMPARE(p.pageLayout().margins(QPageLayout::Millimeter), QMarginsF(0, 0, 0, 0));
    QCOMPARE(p.printRange(), QPrinter::AllPages);
    const PageDevice device = printer.device();
    QCOMPARE(device.offsetLeft, 0.0);
    QCOMPARE(device.offsetTop, 0.0);
    QCOMPARE(device.dpiX, double(p.logicalDpiX()));

    // Where a driver keeps margins, the origin moves by them and the page is measured from the edge.
    p.setFullPage(false);
    p.setPageMargins(QMarginsF(4.2, 3, 0, 0), QPageLayout::Millimeter);
    QVERIFY(std::abs(printer.device().offsetLeft - 42) < 0.01);
    QVERIFY(std::abs(printer.device().offsetTop - 30) < 0.01);
}

void TestReportPage::printsOnePageToAPdfAtTheSamePlaces()
{
    if (!pdfToolsPresent()) {
        // The set-up installs poppler-utils; in CI its absence is a broken set-up, not a skip.
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            QFAIL("pdftoppm (poppler-utils) is not installed");
        QSKIP("pdftoppm (poppler-utils) is not installed");
    }
    // A top margin of 20 mm with a label at the band's foot: still exactly one page.
    ReportPage report;
    report.setTopMargin(20);
    report.setLabelLeft(1, 400);
    report.setLabelTop(1, 16);
    report.setLabelText(1, QStringLiteral("07.03.2026"));
    report.setLabelLeft(42, 32);
    report.setLabelTop(42, 1030);
    report.setLabelText(42, QStringLiteral("YALNIZ"));
    report.setLabelLeft(39, 398);
    report.setLabelTop(39, 392);
    report.setLabelText(39, QStringLiteral("1.000.000,00"));
    const Page page = report.produce();

    QTemporaryDir dir;
    ReportPrinter printer;
    printer.printer().setOutputFormat(QPrinter::PdfFormat);
    printer.printer().setOutputFileName(dir.filePath(QStringLiteral("page.pdf")));
    QVERIFY(printer.hasPrinter());
    QCOMPARE(printer.device().offsetLeft, 0.0);
    QVERIFY(printer.print(page, nullptr));

    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {dir.filePath(QStringLiteral("page.pdf"))});
    QVERIFY(info.waitForFinished(30000));
    const QString out = QString::fromUtf8(info.readAllStandardOutput());
    QVERIFY2(out.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("595.276 x 841.89")) || out.contains(QStringLiteral("595 x 842")), qPrintable(out));

    QProcess render;
    render.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("254"), QStringLiteral("-gray"),
                                              QStringLiteral("-png"), QStringLiteral("-singlefile"),
                                              dir.filePath(QStringLiteral("page.pdf")), dir.filePath(QStringLiteral("page"))});
    QVERIFY(render.waitForFinished(60000));
    const QImage fromPdf(dir.filePath(QStringLiteral("page.png")));
    QVERIFY(!fromPdf.isNull());
    const QImage reference = painted(page);
    for (const PlacedLine& line : placeLines(page, {kTenthDpi, kTenthDpi, 0, 0}, &reference)) {
        const QRect region = QRectF(line.topLeft - QPointF(30, 30), QSizeF(line.width + 60, 100)).toAlignedRect();
        const QRect want = inkBounds(reference, region);
        const QRect got = inkBounds(fromPdf, region);
        const QString where = QStringLiteral("%1: pdf %2,%3 picture %4,%5").arg(line.text).arg(got.left()).arg(got.top())
                                  .arg(want.left()).arg(want.top());
        // Within 0.3 mm of the same page painted straight into a picture.
        QVERIFY2(!got.isNull(), qPrintable(where));
        QVERIFY2(std::abs(got.left() - want.left()) <= 3 && std::abs(got.top() - want.top()) <= 3, qPrintable(where));
        QVERIFY2(std::abs(got.right() - want.right()) <= 3, qPrintable(where));
    }
}

void TestReportPage::cancelInTheProgressWindowStopsThePrintout()
{
    QTemporaryDir dir;
    ReportPrinter printer;
    printer.printer().setOutputFormat(QPrinter::PdfFormat);
    printer.printer().setOutputFileName(dir.filePath(QStringLiteral("cancelled.pdf")));
    QString title;
    QString button;
    printer.setBeforeProducing([&](QWidget* progress) {
        title = progress->windowTitle();
        auto* cancel = progress->findChild<QPushButton*>();
        QVERIFY(cancel);
        button = cancel->text();
        QVERIFY(progress->isVisible());
        cancel->click();
    });
    const Page page = pageWith({leftLabel(500, 500, QStringLiteral("TARIH"))});
    QVERIFY(!printer.print(page, nullptr));
    QCOMPARE(title, QStringLiteral("Printing progress"));
    QCOMPARE(button, QStringLiteral("Cancel"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("cancelled.pdf"))));
}

void TestReportPage::noPrinterPrintsNothing()
{
    // A PDF printer without a file stands for a run without any printer: no window, no file.
    ReportPrinter printer;
    printer.printer().setOutputFileName(QString());
    printer.printer().setOutputFormat(QPrinter::PdfFormat);
    bool shown = false;
    printer.setBeforeProducing([&](QWidget*) { shown = true; });
    QVERIFY(!printer.hasPrinter());
    QVERIFY(!printer.print(pageWith({leftLabel(500, 500, QStringLiteral("x"))}), nullptr));
    QVERIFY(!shown);
}

QTEST_MAIN(TestReportPage)
#include "tst_reportpage.moc"
