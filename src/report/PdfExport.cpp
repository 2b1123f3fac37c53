#include "PdfExport.h"

#include "Platform.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <stdexcept>

namespace fatura::report {
namespace {

QPageSize sheetOf(const Page& page)
{
    return QPageSize(QSizeF(page.size.width() / 10.0, page.size.height() / 10.0), QPageSize::Millimeter);
}

} // namespace

void savePdf(const QString& path, const std::vector<Page>& pages)
{
    if (pages.empty())
        return;
    QPdfWriter writer(path);
    writer.setCreator(applicationTitle());
    writer.setPageLayout(QPageLayout(sheetOf(pages.front()), QPageLayout::Portrait, QMarginsF()));
    QPainter painter;
    if (!painter.begin(&writer))
        throw std::runtime_error(QStringLiteral("\nPDF DOSYASI YAZILAMADI: %1").arg(path).toStdString());
    const PageDevice device{double(writer.resolution()), double(writer.resolution()), 0, 0};
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (i > 0) {
            writer.setPageLayout(QPageLayout(sheetOf(pages[i]), QPageLayout::Portrait, QMarginsF()));
            writer.newPage();
        }
        paintPage(pages[i], painter, device);
    }
    if (!painter.end())
        throw std::runtime_error(QStringLiteral("\nPDF DOSYASI YAZILAMADI: %1").arg(path).toStdString());
}

} // namespace fatura::report
