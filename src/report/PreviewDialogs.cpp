#include "PreviewDialogs.h"

#include "Platform.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace fatura::report {
namespace {

class QtPreviewDialogs final : public PreviewDialogs {
public:
    QString openFileName(QWidget* parent, const QString& title, const QStringList& filters) override
    {
        return QFileDialog::getOpenFileName(parent, title, QString(), filters.join(QStringLiteral(";;")));
    }

    QString saveFileName(QWidget* parent, const QString& title, const QStringList& filters, int* filter) override
    {
        QString chosen = filters.value(0);
        // Overwriting is asked by the dialog itself; the extension is added by the caller, so the
        // dialog must not add one of its own.
        const QString name = QFileDialog::getSaveFileName(parent, title, QString(), filters.join(QStringLiteral(";;")),
                                                          &chosen);
        *filter = std::max(0, int(filters.indexOf(chosen)));
        return name;
    }

    std::optional<QString> askText(QWidget* parent, const QString& title, const QString& prompt,
                                   const QString& initial) override
    {
        bool ok = false;
        const QString text = QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, initial, &ok);
        if (!ok)
            return std::nullopt;
        return text;
    }

    void message(QWidget* parent, const QString& text) override
    {
        QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, parent);
        box.exec();
    }

    bool setUpPrinter(QWidget* parent, QPrinter& printer, int firstPage, int lastPage) override
    {
        QPrintDialog dialog(&printer, parent);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
        dialog.setMinMax(firstPage, lastPage);
        return dialog.exec() == QDialog::Accepted;
    }
};

PreviewDialogs*& current()
{
    static QtPreviewDialogs real;
    static PreviewDialogs* inUse = &real;
    return inUse;
}

} // namespace

PreviewDialogs& previewDialogs() { return *current(); }

ScopedPreviewDialogs::ScopedPreviewDialogs(PreviewDialogs& replacement) : saved_(current())
{
    current() = &replacement;
}

ScopedPreviewDialogs::~ScopedPreviewDialogs() { current() = saved_; }

} // namespace fatura::report
