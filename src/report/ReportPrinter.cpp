#include "ReportPrinter.h"

#include <QApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPrinterInfo>
#include <QProgressDialog>

namespace fatura::report {

ReportPrinter::ReportPrinter() : printer_(QPrinter::HighResolution)
{
    printer_.setCopyCount(1);
    printer_.setPageSize(QPageSize(QPageSize::A4));
    printer_.setPageOrientation(QPageLayout::Portrait);
    printer_.setFullPage(true);
    printer_.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    printer_.setPrintRange(QPrinter::AllPages);
}

bool ReportPrinter::hasPrinter() const
{
    if (printer_.outputFormat() == QPrinter::PdfFormat)
        return !printer_.outputFileName().isEmpty();
    return printer_.isValid() && !printer_.printerName().isEmpty();
}

PageDevice ReportPrinter::device() const
{
    // With full-page mode and no margins the origin is the sheet's corner; a layout that still
    // has margins (a driver that insists) moves it by them, and the layout measures from the edge.
    const QPageLayout layout = printer_.pageLayout();
    const QRectF paint = layout.paintRect(QPageLayout::Millimeter);
    const QRectF full = layout.fullRect(QPageLayout::Millimeter);
    PageDevice device;
    device.dpiX = printer_.logicalDpiX();
    device.dpiY = printer_.logicalDpiY();
    device.offsetLeft = (paint.left() - full.left()) * 10.0;
    device.offsetTop = (paint.top() - full.top()) * 10.0;
    return device;
}

bool ReportPrinter::print(const Page& page, QWidget* parent)
{
    if (!hasPrinter())
        return false;

    QProgressDialog progress(parent);
    progress.setWindowTitle(QStringLiteral("Printing progress"));
    progress.setCancelButtonText(QStringLiteral("Cancel"));
    progress.setRange(0, 100);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setValue(0);
    progress.show();
    QApplication::processEvents();
    if (beforeProducing_)
        beforeProducing_(&progress);
    QApplication::processEvents();
    if (progress.wasCanceled())
        return false;

    QPainter painter;
    if (!painter.begin(&printer_))
        return false; // the printer refused the job; nothing was handed over
    paintPage(page, painter, device());
    progress.setValue(50);
    if (progress.wasCanceled()) {
        printer_.abort();
        painter.end();
        return false;
    }
    const bool handedOver = painter.end();
    progress.setValue(100);
    return handedOver;
}

} // namespace fatura::report
