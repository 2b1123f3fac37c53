// End to end: "YAZDIR" through the print system's default queue (a PDF printer), the page
// rendered back at 300 dpi, and the ink of the date, a name, a price and the words found
// within 0.3 mm of where the layout puts them on the sheet.
//
// Needs a running cupsd whose default printer writes PDF files (scripts/start-cups.sh sets one
// up). Without it the test is skipped, except where CI=true: there a skip would hide a broken
// set-up, so it fails.
#include "ActiveWindow.h"
#include "FakePlatform.h"
#include "MainWindowFixture.h"
#include "InvoicePage.h"
#include "Page.h"
#include "ReportPage.h"
#include "ReportPrinter.h"
#include "TextEdit.h"
#include "Tfatura_basimi.h"
#include "TurkishLocale.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QImage>
#include <QMenu>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace fatura;

namespace {

constexpr double kDpi = 300;
constexpr double kToleranceMm = 0.3;

bool inCi() { return qEnvironmentVariable("CI") == QLatin1String("true"); }

#define REQUIRE_SETUP(condition, why)                                                                  \
    do {                                                                                               \
        if (!(condition)) {                                                                            \
            if (inCi())                                                                                \
                QFAIL(why);                                                                            \
            QSKIP(why);                                                                                \
        }                                                                                              \
    } while (false)

QString run(const QString& program, const QStringList& arguments, int* exitCode = nullptr)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000))
        return {};
    if (exitCode)
        *exitCode = p.exitCode();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Where cups-pdf writes the jobs of this user: its "Out" setting, ${HOME} filled in.
QString pdfFolder()
{
    QString out = QStringLiteral("${HOME}/PDF");
    QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
    if (conf.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QRegularExpression line(QStringLiteral("^\\s*Out\\s+(\\S+)"), QRegularExpression::MultilineOption);
        const auto m = line.match(QString::fromUtf8(conf.readAll()));
        if (m.hasMatch())
            out = m.captured(1);
    }
    return out.replace(QStringLiteral("${HOME}"), QDir::homePath());
}

QRect inkBounds(const QImage& grey, QRect region)
{
    region = region.intersected(grey.rect());
    QRect box;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        const uchar* line = grey.constScanLine(y);
        for (int x = region.left(); x <= region.right(); ++x)
            if (line[x] < 160)
                box |= QRect(x, y, 1, 1);
    }
    return box;
}

} // namespace

class TestCupsPrint : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { testing::pinTurkishLocale(); }
    void printedInvoiceLandsWhereTheLayoutPutsIt();
};

void TestCupsPrint::printedInvoiceLandsWhereTheLayoutPutsIt()
{
    REQUIRE_SETUP(run(QStringLiteral("lpstat"), {QStringLiteral("-r")}).contains(QStringLiteral("scheduler is running")),
                  "cupsd is not running (scripts/start-cups.sh)");
    REQUIRE_SETUP(!QPrinterInfo::defaultPrinterName().isEmpty(), "no default printer (scripts/start-cups.sh)");
    REQUIRE_SETUP(!QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty(), "pdftoppm is missing (poppler-utils)");
    const QString folder = pdfFolder();

    testing::FakePlatform fakes;
    QTemporaryDir programFolder;
    Tfatura_basimi window(fatura::programFolder(programFolder));
    QVERIFY(testing::showActive(window));
    InvoicePage* invoice = window.invoicePage();
    const auto type = [&](const QString& name, const QString& text) {
        QWidget* w = window.findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        w->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), w);
        QTest::keyClicks(w, text);
    };
    invoice->text(QStringLiteral("TARIH"))->setText(QStringLiteral("07.03.2026"));
    type(QStringLiteral("SAYIN1"), QStringLiteral("AHMET YALIN"));
    type(QStringLiteral("M1"), QStringLiteral("2"));
    type(QStringLiteral("C1"), QStringLiteral("KALEM"));
    type(QStringLiteral("F1"), QStringLiteral("1250"));

    // A job name of our own picks our file out of the folder, whoever else prints.
    const QString token = QStringLiteral("faturae2e%1x%2").arg(QCoreApplication::applicationPid()).arg(QDateTime::currentMSecsSinceEpoch());
    report::ReportPrinter& printer = window.reportPrinter();
    QVERIFY2(printer.hasPrinter(), "the default printer is there but the report's printer does not see it");
    printer.printer().setDocName(token);
    menuEntry(window, QStringLiteral("YAZDIR"))->trigger();
    QVERIFY(fakes.boxes.shown.isEmpty());

    // Which page was sent, as the layout computed it.
    const report::Page page = window.reportPage().produce();
    struct Probe {
        int label;
        const char* what;
    };
    const Probe probes[] = {{1, "date"}, {2, "name"}, {23, "price"}, {42, "words"}};
    QCOMPARE(page.labels[22].text, QStringLiteral("1.250,00"));
    QVERIFY(!page.labels[41].text.isEmpty());

    QString pdf;
    QElapsedTimer waited;
    waited.start();
    while (pdf.isEmpty() && waited.elapsed() < 90000) {
        const QStringList found = QDir(folder).entryList({QStringLiteral("*%1*.pdf").arg(token)}, QDir::Files);
        if (!found.isEmpty()) {
            int status = -1;
            run(QStringLiteral("pdfinfo"), {QDir(folder).filePath(found.first())}, &status);
            if (status == 0)
                pdf = QDir(folder).filePath(found.first());
        }
        if (pdf.isEmpty())
            QTest::qWait(200);
    }
    QVERIFY2(!pdf.isEmpty(), qPrintable(QStringLiteral("no PDF named after %1 in %2").arg(token, folder)));
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))), qPrintable(info));

    QTemporaryDir work;
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(kDpi), QStringLiteral("-gray"), QStringLiteral("-png"),
                                     QStringLiteral("-singlefile"), pdf, work.filePath(QStringLiteral("page"))});
    const QImage sheet = QImage(work.filePath(QStringLiteral("page.png"))).convertToFormat(QImage::Format_Grayscale8);
    QVERIFY(!sheet.isNull());
    QVERIFY2(std::abs(sheet.width() - 210 / 25.4 * kDpi) < 3 && std::abs(sheet.height() - 297 / 25.4 * kDpi) < 3,
             qPrintable(QStringLiteral("%1 x %2").arg(sheet.width()).arg(sheet.height())));

    // The computed place of each text's ink: its box on the sheet in millimetres, from the
    // layout, plus the glyphs' own extent in the page font, measured finely enough that pixel
    // hinting does not add up along a line.
    constexpr double kFine = 2400;
    QImage probe(1, 1, QImage::Format_Grayscale8);
    probe.setDotsPerMeterX(int(kFine / 0.0254 + 0.5));
    probe.setDotsPerMeterY(int(kFine / 0.0254 + 0.5));
    const QFontMetricsF metrics(report::pageFont(page, {kFine, kFine, 0, 0}, &probe), &probe);
    const double mmPerFine = 25.4 / kFine;
    const double mmPerPixel = 25.4 / kDpi;
    QStringList measured;
    for (const Probe& p : probes) {
        const report::PageLabel& label = page.labels[std::size_t(p.label - 1)];
        const double advance = metrics.horizontalAdvance(label.text) * mmPerFine;
        const double boxLeft = label.rightAligned ? (label.left + label.boxWidth) / 10 - advance : label.left / 10;
        const QRectF glyphs = metrics.tightBoundingRect(label.text).translated(0, metrics.ascent());
        const QRectF want(boxLeft + glyphs.left() * mmPerFine, label.top / 10 + glyphs.top() * mmPerFine,
                          glyphs.width() * mmPerFine, glyphs.height() * mmPerFine);
        const QRect search = QRectF((want.left() - 2) / mmPerPixel, (want.top() - 1.5) / mmPerPixel,
                                    (want.width() + 4) / mmPerPixel, (want.height() + 3) / mmPerPixel)
                                 .toAlignedRect();
        const QRect ink = inkBounds(sheet, search);
        QVERIFY2(!ink.isNull(), p.what);
        const double left = ink.left() * mmPerPixel, top = ink.top() * mmPerPixel;
        const double right = (ink.right() + 1) * mmPerPixel, bottom = (ink.bottom() + 1) * mmPerPixel;
        const QString where = QStringLiteral("%1 \"%2\": ink %3 %4 - %5 %6 mm, computed %7 %8 - %9 %10 mm")
                                  .arg(QLatin1String(p.what), label.text)
                                  .arg(left, 0, 'f', 2).arg(top, 0, 'f', 2).arg(right, 0, 'f', 2).arg(bottom, 0, 'f', 2)
                                  .arg(want.left(), 0, 'f', 2).arg(want.top(), 0, 'f', 2)
                                  .arg(want.right(), 0, 'f', 2).arg(want.bottom(), 0, 'f', 2);
        measured << where;
        QVERIFY2(std::abs(left - want.left()) <= kToleranceMm, qPrintable(where));
        QVERIFY2(std::abs(top - want.top()) <= kToleranceMm, qPrintable(where));
        QVERIFY2(std::abs(right - want.right()) <= kToleranceMm, qPrintable(where));
        QVERIFY2(std::abs(bottom - want.bottom()) <= kToleranceMm, qPrintable(where));
    }
    const report::PageDevice device = printer.device();
    qInfo().noquote() << QStringLiteral("printer %1 at %2 x %3 dpi, origin %4 %5 tenths of a mm from the sheet's corner")
                             .arg(printer.printer().printerName()).arg(device.dpiX).arg(device.dpiY)
                             .arg(device.offsetLeft).arg(device.offsetTop);
    for (const QString& line : measured)
        qInfo().noquote() << line;
    QFile::remove(pdf);
}

QTEST_MAIN(TestCupsPrint)
#include "tst_cupsprint.moc"
