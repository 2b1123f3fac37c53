#pragma once
// The modal dialogs the preview window asks the user through: file choice, the page-number
// input box, its one message and the system's print dialog. Behind an interface, as the message
// boxes are in Platform.h, so tests answer them without a dialog on screen.
//
// Production code reaches them through previewDialogs(); tests swap in a scripted fake with
// ScopedPreviewDialogs.

#include <QString>
#include <QStringList>

#include <optional>

class QPrinter;
class QWidget;

namespace fatura::report {

class PreviewDialogs {
public:
    virtual ~PreviewDialogs() = default;
    // A file to read; empty when the user cancelled.
    virtual QString openFileName(QWidget* parent, const QString& title, const QStringList& filters) = 0;
    // A file to write and, in *filter, the index of the chosen entry of filters; empty when the
    // user cancelled. The name is returned as typed: adding an extension is the caller's choice.
    virtual QString saveFileName(QWidget* parent, const QString& title, const QStringList& filters, int* filter) = 0;
    // A line of text; nullopt when the user cancelled.
    virtual std::optional<QString> askText(QWidget* parent, const QString& title, const QString& prompt,
                                           const QString& initial) = 0;
    // A plain message with one "OK".
    virtual void message(QWidget* parent, const QString& text) = 0;
    // The system's print dialog on printer, page numbers offered from firstPage to lastPage.
    // True when confirmed: printer then holds the choices. When cancelled, printer is unchanged.
    virtual bool setUpPrinter(QWidget* parent, QPrinter& printer, int firstPage, int lastPage) = 0;
};

// The dialogs in use; never null. Defaults to the real Qt dialogs.
PreviewDialogs& previewDialogs();

class ScopedPreviewDialogs {
public:
    explicit ScopedPreviewDialogs(PreviewDialogs& replacement);
    ~ScopedPreviewDialogs();
    ScopedPreviewDialogs(const ScopedPreviewDialogs&) = delete;
    ScopedPreviewDialogs& operator=(const ScopedPreviewDialogs&) = delete;

private:
    PreviewDialogs* saved_;
};

} // namespace fatura::report
