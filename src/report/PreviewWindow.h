#pragma once
// The print preview: an ordinary window (not modal, not kept on top) with the tool strip, one
// page at a time in a scrollable view at a zoom in per cent, and the status strip. While it is
// open the program's other windows keep working.
//
// At most one preview is open at a time: showPreview() refuses a second one by bringing the
// open one to the front, and a printout asked for meanwhile should do the same through
// raiseOpenPreview(), so that the open preview is never disturbed.

#include "Page.h"

#include <QMainWindow>
#include <QString>

#include <vector>

class QAction;
class QLabel;
class QScrollArea;
class QScreen;
class QToolBar;

namespace fatura::report {

class ReportPrinter;
class PageView;

// Shows page in a new preview window, 500 x 500 and centred on parent's screen, and returns
// once the user has closed it (a nested event loop runs meanwhile). parent only chooses the
// screen: the preview is a window of its own. When a preview is already open it is brought to
// the front instead and the call returns false at once. printer is the run's printer: the
// preview's printer setup edits it and its print uses it; it must outlive the call.
bool showPreview(const Page& page, ReportPrinter& printer, QWidget* parent);

// The open preview, or nullptr.
class PreviewWindow;
PreviewWindow* openPreview();
// Brings the open preview to the front; false when none is open.
bool raiseOpenPreview();

class PreviewWindow : public QMainWindow {
    Q_OBJECT
public:
    // The window starts out producing, with "0%" in its status strip. An empty pages gets one
    // blank sheet, so that there is always a page to show.
    PreviewWindow(std::vector<Page> pages, ReportPrinter& printer);
    ~PreviewWindow() override;

    // Puts the window at its starting size, centred on screen.
    void placeOn(QScreen* screen);

    // Production of the pages for the screen: while it runs the page tools are disabled, stop is
    // enabled and closing is refused. finishProducing() runs by itself once the window is shown
    // and the event loop turns; progress is shown in steps of at least 5 points.
    bool producing() const { return producing_; }
    void reportProgress(int percent);
    void finishProducing();

    double zoom() const { return zoom_; }
    void setZoom(double percent); // held between 50 and 300 from the zoom buttons, not here
    int pageCount() const { return int(pages_.size()); }
    int currentPage() const { return current_ + 1; } // 1-based, as the user counts
    void showPage(int number);                       // 1-based; out of range is ignored
    const std::vector<Page>& pages() const { return pages_; }
    QString loadedFileName() const { return loadedFile_; }

    // The shown page at the screen's resolution and 100 %, on white: what "copy page" copies.
    QImage pagePicture() const;

    // The status strip's three fields.
    QString progressText() const;
    QString pageText() const;
    QString fileText() const;

    QScrollArea* view() const { return scroll_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    enum class Fit { None, Page, Width };

    QAction* addTool(const char* name, const QString& hint, const QIcon& icon, void (PreviewWindow::*slot)());
    void addKey(const QKeySequence& key, void (PreviewWindow::*slot)());
    void fitPage();
    void fitWidth();
    void zoom100();
    void zoomOut();
    void zoomIn();
    void firstPage();
    void priorPage();
    void nextPage();
    void lastPage();
    void goToPage();
    void setUpPrinter();
    void print();
    void copyPage();
    void openFile();
    void saveFile();
    void stop();
    void lineUp();
    void lineDown();
    void closePreview() { close(); }

    void applyFit();
    void updateTools();
    void updateStatus();
    double screenDpiX() const;
    double screenDpiY() const;

    std::vector<Page> pages_;
    ReportPrinter& printer_;
    int current_ = 0;
    double zoom_ = 100;
    Fit fit_ = Fit::Page;
    bool producing_ = true;
    bool produceScheduled_ = false;
    int shownProgress_ = 0;
    QString loadedFile_;

    QToolBar* strip_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    PageView* pageView_ = nullptr;
    QLabel* progress_ = nullptr;
    QLabel* pageField_ = nullptr;
    QLabel* fileField_ = nullptr;

    QAction* fitPage_ = nullptr;
    QAction* fitWidth_ = nullptr;
    QAction* zoom100_ = nullptr;
    QAction* zoomOut_ = nullptr;
    QAction* zoomIn_ = nullptr;
    QList<QAction*> pageTools_; // disabled while producing
    QAction* save_ = nullptr;
    QAction* stop_ = nullptr;
};

} // namespace fatura::report
