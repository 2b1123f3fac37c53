#include "PreviewWindow.h"

#include "PageFile.h"
#include "PdfExport.h"
#include "Platform.h"
#include "PreviewDialogs.h"
#include "ReportPrinter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace fatura::report {

namespace {

constexpr double kZoomStep = 25;
constexpr double kZoomMin = 50;
constexpr double kZoomMax = 300;
constexpr int kProgressStep = 5;

const QString kPageFileFilter = QStringLiteral("Rapor sayfası (*.%1)").arg(QLatin1String(kPageFileSuffix));
const QString kPdfFilter = QStringLiteral("PDF dosyası (*.pdf)");

QPointer<PreviewWindow>& openOne()
{
    static QPointer<PreviewWindow> window;
    return window;
}

// The tool glyphs are drawn rather than shipped: a few strokes each, crisp at any scale.
enum class Glyph { FitPage, FitWidth, Zoom100, ZoomOut, ZoomIn, First, Prior, Next, Last, GoTo, Setup, Print, Copy };

void drawSheet(QPainter& p, const QRectF& r)
{
    p.setBrush(Qt::white);
    p.drawRect(r);
}

void drawTriangle(QPainter& p, double x, bool pointsLeft)
{
    QPainterPath path;
    if (pointsLeft) {
        path.moveTo(x + 6, 5);
        path.lineTo(x, 12);
        path.lineTo(x + 6, 19);
    } else {
        path.moveTo(x, 5);
        path.lineTo(x + 6, 12);
        path.lineTo(x, 19);
    }
    path.closeSubpath();
    p.fillPath(path, QColor(40, 40, 40));
}

void drawPrinter(QPainter& p)
{
    drawSheet(p, QRectF(7, 3, 10, 7));
    p.setBrush(QColor(90, 90, 90));
    p.drawRoundedRect(QRectF(3, 9, 18, 8), 2, 2);
    drawSheet(p, QRectF(7, 14, 10, 7));
}

QIcon glyph(Glyph g)
{
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(40, 40, 40), 1.2);
    p.setPen(pen);
    switch (g) {
    case Glyph::FitPage:
        drawSheet(p, QRectF(6.5, 2.5, 11, 19));
        p.drawLine(QPointF(9, 8), QPointF(15, 8));
        p.drawLine(QPointF(9, 11), QPointF(15, 11));
        p.drawLine(QPointF(9, 14), QPointF(13, 14));
        break;
    case Glyph::FitWidth:
        drawSheet(p, QRectF(4.5, 2.5, 15, 19));
        p.drawLine(QPointF(1, 12), QPointF(23, 12));
        p.drawLine(QPointF(1, 12), QPointF(4, 9));
        p.drawLine(QPointF(1, 12), QPointF(4, 15));
        p.drawLine(QPointF(23, 12), QPointF(20, 9));
        p.drawLine(QPointF(23, 12), QPointF(20, 15));
        break;
    case Glyph::Zoom100: {
        QFont f = p.font();
        f.setPixelSize(10);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(0, 0, 24, 24), Qt::AlignCenter, QStringLiteral("1:1"));
        break;
    }
    case Glyph::ZoomOut:
    case Glyph::ZoomIn:
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(3, 3, 13, 13));
        p.setPen(QPen(QColor(40, 40, 40), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(15, 15), QPointF(21, 21));
        p.setPen(QPen(QColor(40, 40, 40), 1.6));
        p.drawLine(QPointF(6, 9.5), QPointF(13, 9.5));
        if (g == Glyph::ZoomIn)
            p.drawLine(QPointF(9.5, 6), QPointF(9.5, 13));
        break;
    case Glyph::First:
        p.fillRect(QRectF(5, 5, 2, 14), QColor(40, 40, 40));
        drawTriangle(p, 9, true);
        break;
    case Glyph::Prior:
        drawTriangle(p, 9, true);
        break;
    case Glyph::Next:
        drawTriangle(p, 9, false);
        break;
    case Glyph::Last:
        drawTriangle(p, 9, false);
        p.fillRect(QRectF(17, 5, 2, 14), QColor(40, 40, 40));
        break;
    case Glyph::GoTo: {
        drawSheet(p, QRectF(5.5, 2.5, 13, 19));
        QFont f = p.font();
        f.setPixelSize(11);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(5, 3, 14, 19), Qt::AlignCenter, QStringLiteral("#"));
        break;
    }
    case Glyph::Setup:
        drawPrinter(p);
        p.setBrush(QColor(230, 180, 40));
        p.drawEllipse(QRectF(14, 13, 9, 9));
        break;
    case Glyph::Print:
        drawPrinter(p);
        break;
    case Glyph::Copy:
        drawSheet(p, QRectF(3.5, 2.5, 11, 14));
        drawSheet(p, QRectF(9.5, 7.5, 11, 14));
        break;
    }
    return QIcon(pixmap);
}

} // namespace

// The sheet at the window's zoom, painted afresh each time: one page of short texts paints in
// well under a frame, and painting at the zoomed resolution keeps the letters sharp.
class PageView final : public QWidget {
public:
    explicit PageView(QWidget* parent) : QWidget(parent) {}

    const Page* page = nullptr;
    double dpiX = 96;
    double dpiY = 96;

    void setPixelSize(QSize size)
    {
        setFixedSize(size);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (!page)
            return;
        painter.setRenderHint(QPainter::TextAntialiasing);
        paintPage(*page, painter, PageDevice{dpiX * width() / sheetPixels(page->size.width(), dpiX),
                                             dpiY * height() / sheetPixels(page->size.height(), dpiY), 0, 0});
    }

public:
    static double sheetPixels(double tenths, double dpi) { return tenths * dpi / 254.0; }
};

PreviewWindow* openPreview() { return openOne().data(); }

bool raiseOpenPreview()
{
    PreviewWindow* window = openPreview();
    if (!window)
        return false;
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
    return true;
}

bool showPreview(const Page& page, ReportPrinter& printer, QWidget* parent)
{
    if (raiseOpenPreview())
        return false;
    QPointer<PreviewWindow> window = new PreviewWindow({page}, printer);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->placeOn(parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen());
    window->showNormal();
    window->activateWindow();

    QEventLoop loop;
    QObject::connect(window.data(), &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
    // The loop also ends when the program quits with the preview still open.
    delete window.data();
    return true;
}

PreviewWindow::PreviewWindow(std::vector<Page> pages, ReportPrinter& printer)
    : QMainWindow(nullptr), pages_(std::move(pages)), printer_(printer)
{
    if (pages_.empty())
        pages_.emplace_back();
    openOne() = this;
    setWindowTitle(QStringLiteral("Önizleme : "));
    resize(500, 500);

    strip_ = addToolBar(QString());
    QToolBar* strip = strip_;
    strip->setObjectName(QStringLiteral("tools"));
    strip->setMovable(false);
    strip->setFloatable(false);
    strip->setContextMenuPolicy(Qt::PreventContextMenu);
    strip->setIconSize(QSize(16, 16));
    strip->toggleViewAction()->setVisible(false);

    QStyle* s = style();
    fitPage_ = addTool("fitPage", QStringLiteral("sayfaya sığdır"), glyph(Glyph::FitPage), &PreviewWindow::fitPage);
    fitWidth_ = addTool("fitWidth", QStringLiteral("sayfa genişliğine göre ayarla"), glyph(Glyph::FitWidth),
                        &PreviewWindow::fitWidth);
    fitPage_->setCheckable(true);
    fitWidth_->setCheckable(true);
    zoom100_ = addTool("zoom100", QStringLiteral("%100 rapor görünümü"), glyph(Glyph::Zoom100), &PreviewWindow::zoom100);
    zoomOut_ = addTool("zoomOut", QStringLiteral("Uzaklaştır"), glyph(Glyph::ZoomOut), &PreviewWindow::zoomOut);
    zoomIn_ = addTool("zoomIn", QStringLiteral("Yakınlaştır"), glyph(Glyph::ZoomIn), &PreviewWindow::zoomIn);
    strip->addSeparator();
    pageTools_ << addTool("firstPage", QStringLiteral("ilk sayfa"), glyph(Glyph::First), &PreviewWindow::firstPage)
               << addTool("priorPage", QStringLiteral("önceki sayfa"), glyph(Glyph::Prior), &PreviewWindow::priorPage)
               << addTool("nextPage", QStringLiteral("sonraki sayfa"), glyph(Glyph::Next), &PreviewWindow::nextPage)
               << addTool("lastPage", QStringLiteral("son sayfa"), glyph(Glyph::Last), &PreviewWindow::lastPage)
               << addTool("goToPage", QStringLiteral("Sayfa seçiniz"), glyph(Glyph::GoTo), &PreviewWindow::goToPage);
    strip->addSeparator();
    pageTools_ << addTool("printerSetup", QStringLiteral("yazıcı ayarları"), glyph(Glyph::Setup),
                          &PreviewWindow::setUpPrinter)
               << addTool("print", QStringLiteral("Yazdır"), glyph(Glyph::Print), &PreviewWindow::print);
    addTool("copyPage", QStringLiteral("Aktif Sayfayı Kopyala"), glyph(Glyph::Copy), &PreviewWindow::copyPage);
    strip->addSeparator();
    pageTools_ << addTool("open", QStringLiteral("rapor aç"), s->standardIcon(QStyle::SP_DialogOpenButton),
                          &PreviewWindow::openFile);
    save_ = addTool("save", QStringLiteral("rapor kaydet"), s->standardIcon(QStyle::SP_DialogSaveButton),
                    &PreviewWindow::saveFile);
    pageTools_ << save_;
    stop_ = addTool("stop", QStringLiteral("işlemi durdur"), s->standardIcon(QStyle::SP_BrowserStop), &PreviewWindow::stop);
    strip->addSeparator();
    QAction* closing = addTool("close", QStringLiteral("Önizleme kapat"), QIcon(), &PreviewWindow::closePreview);
    closing->setText(QStringLiteral("Kapat"));
    if (auto* button = qobject_cast<QToolButton*>(strip->widgetForAction(closing)))
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("pageView"));
    scroll_->setAlignment(Qt::AlignCenter);
    scroll_->setBackgroundRole(QPalette::Dark);
    scroll_->setWidgetResizable(false);
    pageView_ = new PageView(scroll_);
    pageView_->page = &pages_[0];
    scroll_->setWidget(pageView_);
    scroll_->installEventFilter(this);
    setCentralWidget(scroll_);

    progress_ = new QLabel(this);
    pageField_ = new QLabel(this);
    fileField_ = new QLabel(this);
    progress_->setObjectName(QStringLiteral("progress"));
    pageField_->setObjectName(QStringLiteral("pageField"));
    fileField_->setObjectName(QStringLiteral("fileField"));
    progress_->setMinimumWidth(48);
    statusBar()->addWidget(progress_);
    statusBar()->addWidget(pageField_);
    statusBar()->addWidget(fileField_, 1);
    statusBar()->setSizeGripEnabled(true);

    addKey(QKeySequence(Qt::Key_Escape), &PreviewWindow::closePreview);
    addKey(QKeySequence(Qt::Key_F12), &PreviewWindow::closePreview);
    addKey(QKeySequence(Qt::Key_PageUp), &PreviewWindow::priorPage);
    addKey(QKeySequence(Qt::CTRL | Qt::Key_PageUp), &PreviewWindow::firstPage);
    addKey(QKeySequence(Qt::Key_PageDown), &PreviewWindow::nextPage);
    addKey(QKeySequence(Qt::CTRL | Qt::Key_PageDown), &PreviewWindow::lastPage);
    addKey(QKeySequence(Qt::Key_Home), &PreviewWindow::firstPage);
    addKey(QKeySequence(Qt::Key_End), &PreviewWindow::lastPage);
    addKey(QKeySequence(Qt::Key_Up), &PreviewWindow::lineUp);
    addKey(QKeySequence(Qt::Key_Down), &PreviewWindow::lineDown);

    progress_->setText(QStringLiteral("0%"));
    fitPage_->setChecked(true);
    applyFit();
    updateTools();
    updateStatus();
}

PreviewWindow::~PreviewWindow()
{
    if (openOne() == this)
        openOne() = nullptr;
}

QAction* PreviewWindow::addTool(const char* name, const QString& hint, const QIcon& icon, void (PreviewWindow::*slot)())
{
    QAction* action = strip_->addAction(icon, hint);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(hint);
    connect(action, &QAction::triggered, this, [this, slot] { (this->*slot)(); });
    return action;
}

void PreviewWindow::addKey(const QKeySequence& key, void (PreviewWindow::*slot)())
{
    auto* shortcut = new QShortcut(key, this);
    shortcut->setContext(Qt::WindowShortcut);
    shortcut->setAutoRepeat(true);
    connect(shortcut, &QShortcut::activated, this, [this, slot] {
        // Keys act on the page as the buttons do, so they wait for production as the buttons do.
        if (producing_ && slot != &PreviewWindow::closePreview && slot != &PreviewWindow::lineUp &&
            slot != &PreviewWindow::lineDown)
            return;
        (this->*slot)();
    });
}

void PreviewWindow::placeOn(QScreen* screen)
{
    if (!screen)
        return;
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, QSize(500, 500), screen->availableGeometry()));
}

void PreviewWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Production waits for the first turn of the event loop so that the window, with "0%" and
    // its stop button, is on screen while it runs.
    if (producing_ && !produceScheduled_) {
        produceScheduled_ = true;
        QTimer::singleShot(0, this, [this] {
            if (producing_)
                finishProducing();
        });
    }
    applyFit();
}

void PreviewWindow::reportProgress(int percent)
{
    percent = std::clamp(percent, 0, 100);
    if (percent < 100 && percent - shownProgress_ < kProgressStep)
        return;
    shownProgress_ = percent;
    progress_->setText(QStringLiteral("%1%").arg(percent));
}

void PreviewWindow::finishProducing()
{
    // The pages reach the window laid out already; what is left is to lay them out for the
    // screen, which the view does as it paints.
    reportProgress(100);
    producing_ = false;
    updateTools();
}

void PreviewWindow::stop()
{
    if (!producing_)
        return;
    producing_ = false;
    updateTools();
}

void PreviewWindow::closeEvent(QCloseEvent* event)
{
    if (producing_) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == scroll_ && event->type() == QEvent::Resize && fit_ != Fit::None)
        applyFit();
    return QMainWindow::eventFilter(watched, event);
}

double PreviewWindow::screenDpiX() const { return logicalDpiX(); }
double PreviewWindow::screenDpiY() const { return logicalDpiY(); }

void PreviewWindow::setZoom(double percent)
{
    QScrollBar* h = scroll_->horizontalScrollBar();
    QScrollBar* v = scroll_->verticalScrollBar();
    // Keep the spot in the middle of the view where it was. From a whole page in view the user
    // has not scrolled yet and reads from the top left, where the invoice's header is.
    const double fx = h->maximum() > 0 ? double(h->value() + h->pageStep() / 2) / (h->maximum() + h->pageStep()) : 0;
    const double fy = v->maximum() > 0 ? double(v->value() + v->pageStep() / 2) / (v->maximum() + v->pageStep()) : 0;

    zoom_ = percent;
    const Page& page = pages_[current_];
    const QSize size(std::max(1, int(std::floor(PageView::sheetPixels(page.size.width(), screenDpiX()) * zoom_ / 100))),
                     std::max(1, int(std::floor(PageView::sheetPixels(page.size.height(), screenDpiY()) * zoom_ / 100))));
    pageView_->dpiX = screenDpiX();
    pageView_->dpiY = screenDpiY();
    pageView_->setPixelSize(size);

    h->setValue(int(fx * (h->maximum() + h->pageStep()) - h->pageStep() / 2));
    v->setValue(int(fy * (v->maximum() + v->pageStep()) - v->pageStep() / 2));
    updateTools();
}

void PreviewWindow::applyFit()
{
    const Page& page = pages_[current_];
    const double w100 = PageView::sheetPixels(page.size.width(), screenDpiX());
    const double h100 = PageView::sheetPixels(page.size.height(), screenDpiY());
    // The room the view offers without scroll bars: the page must fit without needing any.
    const QSize room = scroll_->maximumViewportSize();
    if (fit_ == Fit::Page) {
        setZoom(100 * std::min(room.width() / w100, room.height() / h100));
    } else if (fit_ == Fit::Width) {
        double z = 100 * room.width() / w100;
        if (h100 * z / 100 > room.height())
            z = 100 * (room.width() - style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll_->verticalScrollBar())) / w100;
        setZoom(z);
    }
}

void PreviewWindow::fitPage()
{
    fit_ = Fit::Page;
    applyFit();
}

void PreviewWindow::fitWidth()
{
    fit_ = Fit::Width;
    applyFit();
}

void PreviewWindow::zoom100()
{
    fit_ = Fit::None;
    setZoom(100);
}

// The steps never leave 50 ... 300: from a fitted zoom such as 290 one step in stops at 300.
void PreviewWindow::zoomOut()
{
    if (zoom_ <= kZoomMin)
        return;
    fit_ = Fit::None;
    setZoom(std::max(kZoomMin, zoom_ - kZoomStep));
}

void PreviewWindow::zoomIn()
{
    if (zoom_ >= kZoomMax)
        return;
    fit_ = Fit::None;
    setZoom(std::min(kZoomMax, zoom_ + kZoomStep));
}

void PreviewWindow::showPage(int number)
{
    if (number < 1 || number > pageCount())
        return;
    current_ = number - 1;
    pageView_->page = &pages_[current_];
    if (fit_ != Fit::None)
        applyFit();
    else
        setZoom(zoom_);
    pageView_->update();
    updateStatus();
}

void PreviewWindow::firstPage() { showPage(1); }
void PreviewWindow::priorPage() { showPage(currentPage() - 1); }
void PreviewWindow::nextPage() { showPage(currentPage() + 1); }
void PreviewWindow::lastPage() { showPage(pageCount()); }

void PreviewWindow::lineUp()
{
    QScrollBar* v = scroll_->verticalScrollBar();
    if (v->value() > v->minimum()) {
        v->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else if (!producing_ && currentPage() > 1) {
        priorPage();
        v->setValue(v->maximum());
    }
}

void PreviewWindow::lineDown()
{
    QScrollBar* v = scroll_->verticalScrollBar();
    if (v->value() < v->maximum()) {
        v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    } else if (!producing_ && currentPage() < pageCount()) {
        nextPage();
        v->setValue(v->minimum());
    }
}

void PreviewWindow::goToPage()
{
    const std::optional<QString> answer =
        previewDialogs().askText(this, QStringLiteral("Gidilebilecek sayfa aralığı : 1 - %1").arg(pageCount()),
                                 QStringLiteral("Sayfa numarası giriniz"), QString::number(currentPage()));
    if (!answer)
        return;
    bool ok = false;
    const int number = answer->trimmed().toInt(&ok);
    showPage(ok && number >= 1 && number <= pageCount() ? number : 1);
}

void PreviewWindow::setUpPrinter()
{
    guarded(this, [this] { previewDialogs().setUpPrinter(this, printer_.printer(), 1, pageCount()); });
}

void PreviewWindow::print()
{
    guarded(this, [this] {
        for (const Page& page : pages_)
            if (!printer_.print(page, this))
                break;
    });
}

QImage PreviewWindow::pagePicture() const
{
    const Page& page = pages_[current_];
    const double dpiX = screenDpiX();
    const double dpiY = screenDpiY();
    QImage picture(int(std::lround(PageView::sheetPixels(page.size.width(), dpiX))),
                   int(std::lround(PageView::sheetPixels(page.size.height(), dpiY))), QImage::Format_RGB32);
    // The picture carries the screen's resolution, so that a program it is pasted into sizes
    // it as the sheet it shows.
    picture.setDotsPerMeterX(int(std::lround(dpiX / 0.0254)));
    picture.setDotsPerMeterY(int(std::lround(dpiY / 0.0254)));
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::TextAntialiasing);
    paintPage(page, painter, PageDevice{dpiX, dpiY, 0, 0});
    return picture;
}

void PreviewWindow::copyPage()
{
    guarded(this, [this] { QGuiApplication::clipboard()->setImage(pagePicture()); });
}

void PreviewWindow::openFile()
{
    const QString path = previewDialogs().openFileName(this, QStringLiteral("rapor aç"), {kPageFileFilter});
    if (path.isEmpty())
        return;
    if (!QFileInfo::exists(path)) {
        previewDialogs().message(this, QStringLiteral("File does not exist"));
        return;
    }
    guarded(this, [&] {
        std::vector<Page> loaded = loadPageFile(path);
        pages_ = std::move(loaded);
        loadedFile_ = QFileInfo(path).fileName();
        current_ = 0;
        showPage(1);
        updateTools();
    });
}

void PreviewWindow::saveFile()
{
    const QStringList filters{kPageFileFilter, kPdfFilter};
    int filter = 0;
    QString path = previewDialogs().saveFileName(this, QStringLiteral("rapor kaydet"), filters, &filter);
    if (path.isEmpty())
        return;
    const bool pdf = filter == 1;
    if (QFileInfo(path).suffix().isEmpty()) {
        if (!path.endsWith(QLatin1Char('.')))
            path += QLatin1Char('.');
        path += pdf ? QStringLiteral("pdf") : QLatin1String(kPageFileSuffix);
    }
    guarded(this, [&] {
        if (pdf)
            savePdf(path, pages_);
        else
            savePageFile(path, pages_);
    });
}

void PreviewWindow::updateTools()
{
    for (QAction* action : pageTools_)
        action->setEnabled(!producing_);
    // Pages opened from a file are not saved again: the file they came from already holds them.
    save_->setEnabled(!producing_ && loadedFile_.isEmpty());
    stop_->setEnabled(producing_);
    zoomOut_->setEnabled(zoom_ > kZoomMin);
    zoomIn_->setEnabled(zoom_ < kZoomMax);
    fitPage_->setChecked(fit_ == Fit::Page);
    fitWidth_->setChecked(fit_ == Fit::Width);
}

void PreviewWindow::updateStatus()
{
    pageField_->setText(QStringLiteral("Page %1 of %2").arg(currentPage()).arg(pageCount()));
    fileField_->setText(loadedFile_);
}

QString PreviewWindow::progressText() const { return progress_->text(); }
QString PreviewWindow::pageText() const { return pageField_->text(); }
QString PreviewWindow::fileText() const { return fileField_->text(); }

} // namespace fatura::report
