#include "Tfatura_basimi.h"

#include "InvoiceArchive.h"
#include "InvoicePage.h"
#include "InvoicePageSource.h"
#include "InvoicePrint.h"
#include "InvoicePageFields.h"
#include "LayoutPage.h"
#include "Links.h"
#include "Palette.h"
#include "Platform.h"
#include "ReportOutput.h"
#include "ReportPage.h"
#include "ReportPrinter.h"
#include "TextEdit.h"
#include "Tfatura_bul.h"
#include "Tucretsiz_yazilimlar_icin_bilgi.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFontInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QStackedWidget>
#include <QToolButton>

namespace fatura {
namespace {

const QColor kToolStripColour = QColor::fromRgb(0xD3CEA9);

// A link label: reacts to a click anywhere on it, never takes the focus.
class LinkLabel : public QLabel {
public:
    LinkLabel(const QString& text, std::function<void()> onClick, QWidget* parent)
        : QLabel(text, parent), onClick_(std::move(onClick))
    {
        setCursor(Qt::PointingHandCursor);
        setTextFormat(Qt::PlainText);
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        QLabel::mouseReleaseEvent(event);
        if (rect().contains(event->position().toPoint()))
            guarded(window(), onClick_);
    }

private:
    std::function<void()> onClick_;
};

struct ToolSpec {
    const char* caption;
    int left;
    int width;
};

constexpr ToolSpec kTools[] = {
    {"YENİ", 5, 60}, {"KAYDET", 69, 60}, {"BUL", 133, 60},
    {"RAPOR", 212, 76}, {"RAPOR AYARLARI", 295, 117}, {"????", 417, 43},
};

// The forms were drawn for the narrow 8-point Windows sans-serif faces, 11 pixels high. Debian
// has none of them; Liberation Sans keeps Arial's widths, which are the Windows faces' too for the
// links, but it is wider than the form face: at 11 pixels "VER. HESAP NO" or the step label
// would not fit their boxes. Narrowed to nine tenths it keeps the height and every caption of
// both pages fits, with a few pixels to spare.
constexpr int kFormFacePixels = 11;
constexpr int kSubstituteStretch = 90;

void substituteWindowsFaces()
{
    for (const char* family : {"MS Sans Serif", "Microsoft Sans Serif", "Arial"})
        QFont::insertSubstitutions(QString::fromLatin1(family), {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}

QFont formFont()
{
    substituteWindowsFaces();
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(kFormFacePixels);
    if (QFontInfo(font).family() != font.family())
        font.setStretch(kSubstituteStretch);
    return font;
}

} // namespace

Tfatura_basimi::Tfatura_basimi(const QString& programFolder, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                              | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      programFolder_(programFolder)
{
    setObjectName(QStringLiteral("fatura_basimi"));
    setWindowTitle(QStringLiteral("VERNOLA 1.0  [ Güncelleme : 08 Ocak 2009 ]"));
    setFont(formFont());
    setFixedSize(466, 472);

    pages_ = new QStackedWidget(this);
    pages_->setObjectName(QStringLiteral("SAYFA"));
    fillBackground(pages_, kPageColour);
    setCentralWidget(pages_);

    invoice_ = new InvoicePage;
    pages_->addWidget(invoice_);
    fields_ = std::make_unique<InvoicePageFields>(*invoice_);
    archive_ = std::make_unique<archive::InvoiceArchive>(*fields_);
    buildToolStrip(invoice_);
    buildFoot(invoice_);

    layout_ = new LayoutPage(programFolder_);
    pages_->addWidget(layout_);
    connect(layout_, &LayoutPage::backRequested, this, [this] { showPage(QStringLiteral("FATURA")); });
    connect(layout_, &LayoutPage::sampleRequested, this, [this] { guarded(this, [this] { ShowSample(); }); });

    raporx_ = std::make_unique<report::ReportPage>(report::screenPpi());
    invoiceSource_ = std::make_unique<InvoicePageSource>(*invoice_);

    auto* reportPage = new QWidget;
    reportPage->setObjectName(QStringLiteral("RAPOR"));
    pages_->addWidget(reportPage);
    pages_->setCurrentWidget(invoice_);

    steps_ = {
        {QStringLiteral("SetEditModeNew"), [this] { archive_->setEditModeNew(); }},
        {QStringLiteral("FixProgramFolder"),
         [this] {
             if (!programFolder_.endsWith(QLatin1Char('/')))
                 programFolder_ += QLatin1Char('/');
         }},
        {QStringLiteral("EnsureLayoutFile"), [this] { EnsureLayoutFile(programFolder_); }},
        {QStringLiteral("OpenArchive"), [this] { archive_->open(programFolder_); }},
        {QStringLiteral("LoadLayout"), [this] { layout_->LoadLayout(programFolder_); }},
        {QStringLiteral("PutTodaysDate"), [this] { invoice_->text(QStringLiteral("TARIH"))->setText(InvoicePage::todayText()); }},
    };

    qApp->installEventFilter(this);
}

Tfatura_basimi::~Tfatura_basimi() { qApp->removeEventFilter(this); }

void Tfatura_basimi::buildToolStrip(QWidget* page)
{
    auto* strip = new QFrame(page);
    strip->setObjectName(QStringLiteral("ARACLAR"));
    strip->setGeometry(0, 0, 466, 31);
    // A lowered outer bevel around a raised inner one: an etched edge, two pixels wide.
    strip->setFrameStyle(QFrame::Box | QFrame::Sunken);
    strip->setLineWidth(1);
    strip->setMidLineWidth(0);
    fillBackground(strip, kToolStripColour);

    QFont bold = font();
    bold.setBold(true);
    for (const ToolSpec& spec : kTools) {
        auto* button = new QToolButton(strip);
        button->setText(QString::fromUtf8(spec.caption));
        button->setGeometry(spec.left, 5, spec.width, 22);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setFont(bold);
        QPalette pal = button->palette();
        pal.setColor(QPalette::ButtonText, Qt::blue);
        button->setPalette(pal);
        tools_.append(button);
    }

    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("MNMENU"));
    connectGuarded(menu_->addAction(QStringLiteral("ÖNİZLEME")), &QAction::triggered, this, [this] { PreviewInvoice(); });
    connectGuarded(menu_->addAction(QStringLiteral("YAZDIR")), &QAction::triggered, this, [this] { PrintInvoice(); });

    const auto wire = [this](const char* caption, auto action) {
        connectGuarded(toolButton(QString::fromUtf8(caption)), &QToolButton::clicked, this, std::move(action));
    };
    wire("YENİ", [this] { newInvoice(); });
    wire("KAYDET", [this] { archive_->save(this); });
    wire("BUL", [this] { findInvoice(); });
    wire("RAPOR", [this] { dropReportMenu(); });
    wire("RAPOR AYARLARI", [this] { showPage(QStringLiteral("AYAR")); });
    wire("????", [this] { startAbout(); });
}

void Tfatura_basimi::buildFoot(QWidget* page)
{
    auto* line = new QFrame(page);
    line->setGeometry(4, 415, 459, 2);
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    const auto link = [page](const QString& caption, int left, int top, const QString& family, int pixels,
                             const QColor& colour, std::function<void()> onClick) {
        auto* label = new LinkLabel(caption, std::move(onClick), page);
        QFont f(family);
        f.setPixelSize(pixels);
        f.setBold(true);
        // Their substitute keeps the Windows widths as it is; the window's narrowing is not theirs.
        f.setStretch(QFont::Unstretched);
        label->setFont(f);
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, colour);
        label->setPalette(pal);
        label->move(left, top);
        label->adjustSize();
        return label;
    };
    link(QStringLiteral("Ücretsiz Kullanıcıların Dikkatine! Yazının devamı için tıklayınız..."), 8, 430,
         QStringLiteral("Microsoft Sans Serif"), 12, Qt::red, [this] {
             if (info_)
                 info_->showOrRaise();
         })->setObjectName(QStringLiteral("BILGI"));
    link(QString::fromLatin1(kHomePageCaption), 6, 451, QStringLiteral("Arial"), 11, QColor(0, 0, 128),
         [] { platform().shell->openUrl(QString::fromLatin1(kHomePage)); })
        ->setObjectName(QStringLiteral("ADRES"));
    link(QStringLiteral("Ücretli Fatura programını deneyin..."), 270, 451, QStringLiteral("Arial"), 11, QColor(0, 0, 128),
         [] { platform().shell->openUrl(QString::fromLatin1(kProductPage)); })
        ->setObjectName(QStringLiteral("UCRETLI"));
}

QToolButton* Tfatura_basimi::toolButton(const QString& caption) const
{
    for (QToolButton* b : tools_)
        if (b->text() == caption)
            return b;
    return nullptr;
}

QString Tfatura_basimi::currentPageName() const { return pages_->currentWidget()->objectName(); }

void Tfatura_basimi::showPage(const QString& name)
{
    for (int i = 0; i < pages_->count(); ++i)
        if (pages_->widget(i)->objectName() == name)
            pages_->setCurrentIndex(i);
}

char Tfatura_basimi::editMode() const { return archive_->editMode(); }

void Tfatura_basimi::newInvoice()
{
    if (invoice_->startNewInvoice())
        archive_->setEditModeNew();
}

void Tfatura_basimi::findInvoice()
{
    archive_->find(this, [this] { return find_ && find_->chooseRecord(); });
}

void Tfatura_basimi::dropReportMenu()
{
    QToolButton* button = toolButton(QStringLiteral("RAPOR"));
    menu_->popup(button->mapToGlobal(QPoint(0, button->height())));
}

void Tfatura_basimi::startAbout()
{
    const QString path = programFolder_ + QStringLiteral("about.exe");
    if (!QFile::exists(path)) {
        platform().boxes->error(this, QStringLiteral("Error"), QStringLiteral("\r\nDosya bulunamadı.\r\n\r\nabout.exe"));
        return;
    }
    platform().shell->startProgram(path, {QStringLiteral("fatura")});
}

report::ReportPrinter& Tfatura_basimi::reportPrinter()
{
    // Looking up the default printer asks the print system; a run that never prints never waits.
    if (!printer_)
        printer_ = std::make_unique<report::ReportPrinter>();
    return *printer_;
}

InvoicePrint Tfatura_basimi::composition()
{
    report::ReportOutput* output = outputOverride_;
    if (!output) {
        if (!output_)
            output_ = std::make_unique<report::ScreenAndPrinter>(reportPrinter(), this);
        output = output_.get();
    }
    return InvoicePrint(*raporx_, *invoiceSource_, [this] { return layout_->positions(); }, *output);
}

void Tfatura_basimi::PreviewInvoice() { composition().PreviewInvoice(); }

void Tfatura_basimi::PrintInvoice() { composition().PrintInvoice(); }

void Tfatura_basimi::ShowSample() { composition().ShowSample(); }

QString Tfatura_basimi::runStartupSteps()
{
    for (const StartupStep& step : std::as_const(steps_))
        if (!guarded(this, step.run))
            return step.name;
    return {};
}

void Tfatura_basimi::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}

void Tfatura_basimi::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (started_)
        return;
    started_ = true;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - frameGeometry().center() + pos());
    runStartupSteps();
    if (!focusWidget())
        invoice_->text(QStringLiteral("TARIH"))->setFocus(Qt::OtherFocusReason);
}

bool Tfatura_basimi::eventFilter(QObject* watched, QEvent* event)
{
    // Key preview: the window sees every key typed in it before the focused control does.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->window() == this) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F12) {
            close();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && currentPageName() == QLatin1String("FATURA")) {
            focusNextPrevChild(!(key->modifiers() & Qt::ShiftModifier));
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace fatura
