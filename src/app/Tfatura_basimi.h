#pragma once
// The main window: the page container with pages "FATURA", "AYAR" and "RAPOR", the tool strip
// of the invoice page, the window-wide keys (Enter as Tab on the invoice page, F12 to quit)
// and the start-up steps that run when the window is first shown.

#include <QMainWindow>
#include <functional>
#include <memory>

class QMenu;
class QStackedWidget;
class QToolButton;

namespace fatura {

namespace archive {
class InvoiceArchive;
class Tfatura_bul;
} // namespace archive

class InvoicePage;
class InvoicePrint;
class InvoiceSource;
class InvoicePageFields;
class LayoutPage;
class Tucretsiz_yazilimlar_icin_bilgi;

namespace report {
class ReportOutput;
class ReportPage;
class ReportPrinter;
} // namespace report

class Tfatura_basimi : public QMainWindow {
    Q_OBJECT
public:
    // programFolder ends with a path separator; every file the program uses is found there
    // by bare name.
    explicit Tfatura_basimi(const QString& programFolder, QWidget* parent = nullptr);
    ~Tfatura_basimi() override;

    void setInformationWindow(Tucretsiz_yazilimlar_icin_bilgi* window) { info_ = window; }
    // The find dialog "BUL" shows; created after the window, on the window's archive.
    void setFindDialog(archive::Tfatura_bul* dialog) { find_ = dialog; }
    archive::InvoiceArchive& archive() const { return *archive_; }

    struct StartupStep {
        QString name;
        std::function<void()> run;
    };
    // The start-up steps in their order. A failing step shows the standard error box and the
    // steps after it are skipped; the window stays usable.
    QList<StartupStep>& startupSteps() { return steps_; }
    // Runs the steps once; called by the first show. Returns the name of the step that failed,
    // or an empty text.
    QString runStartupSteps();

    QString programFolder() const { return programFolder_; }
    char editMode() const;
    InvoicePage* invoicePage() const { return invoice_; }
    LayoutPage* layoutPage() const { return layout_; }
    QStackedWidget* pages() const { return pages_; }
    QMenu* reportMenu() const { return menu_; }
    QString currentPageName() const;
    void showPage(const QString& name);

    // The six buttons of the tool strip, by caption.
    QToolButton* toolButton(const QString& caption) const;

    // The report page RAPORX, with the screen's PPI read when the window was made.
    report::ReportPage& reportPage() const { return *raporx_; }
    // The run's printer, found the first time it is needed.
    report::ReportPrinter& reportPrinter();
    // Where previews and printouts go; tests put their own in (not owned; null restores).
    void setReportOutput(report::ReportOutput* output) { outputOverride_ = output; }
    // "ÖNİZLEME", "YAZDIR" and "Örnek Rapor Göster".
    void PreviewInvoice();
    void PrintInvoice();
    void ShowSample();

signals:
    // The window was closed (F12 or its close box): the program ends at once, whatever other
    // window (a preview, the information window) is still open.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildToolStrip(QWidget* page);
    void buildFoot(QWidget* page);
    void newInvoice();
    void findInvoice();
    void dropReportMenu();
    void startAbout();
    InvoicePrint composition();

    QString programFolder_;
    bool started_ = false;
    QStackedWidget* pages_;
    InvoicePage* invoice_;
    LayoutPage* layout_;
    QMenu* menu_;
    QList<QToolButton*> tools_;
    QList<StartupStep> steps_;
    Tucretsiz_yazilimlar_icin_bilgi* info_ = nullptr;
    std::unique_ptr<report::ReportPage> raporx_;
    std::unique_ptr<report::ReportPrinter> printer_;
    std::unique_ptr<report::ReportOutput> output_;
    report::ReportOutput* outputOverride_ = nullptr;
    std::unique_ptr<InvoiceSource> invoiceSource_;
    std::unique_ptr<InvoicePageFields> fields_;
    std::unique_ptr<archive::InvoiceArchive> archive_;
    archive::Tfatura_bul* find_ = nullptr;
};

} // namespace fatura
