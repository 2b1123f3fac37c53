#pragma once
// The preview's dialogs answered as the test tells them, with a record of what was asked.
#include "PreviewDialogs.h"

#include <QList>
#include <QPrinter>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace fatura::testing {

class FakePreviewDialogs final : public report::PreviewDialogs {
public:
    struct Asked {
        QString kind; // "open", "save", "text", "printer"
        QString title;
        QString prompt;
        QString initial;
        QStringList filters;
        int firstPage = 0;
        int lastPage = 0;
        QPrinter* printer = nullptr;
    };
    QList<Asked> asked;
    QStringList messages;

    // Answers, consumed front first; an empty list answers "cancelled".
    QStringList files;
    QList<int> filters;
    QList<std::optional<QString>> texts;
    // The print dialog: changes the printer as a user would and says whether they confirmed.
    std::function<bool(QPrinter&)> printerAnswer;

    QString openFileName(QWidget*, const QString& title, const QStringList& offered) override
    {
        Asked a;
        a.kind = QStringLiteral("open");
        a.title = title;
        a.filters = offered;
        asked.append(a);
        return files.isEmpty() ? QString() : files.takeFirst();
    }
    QString saveFileName(QWidget*, const QString& title, const QStringList& offered, int* filter) override
    {
        Asked a;
        a.kind = QStringLiteral("save");
        a.title = title;
        a.filters = offered;
        asked.append(a);
        *filter = filters.isEmpty() ? 0 : filters.takeFirst();
        return files.isEmpty() ? QString() : files.takeFirst();
    }
    std::optional<QString> askText(QWidget*, const QString& title, const QString& prompt, const QString& initial) override
    {
        Asked a;
        a.kind = QStringLiteral("text");
        a.title = title;
        a.prompt = prompt;
        a.initial = initial;
        asked.append(a);
        return texts.isEmpty() ? std::nullopt : texts.takeFirst();
    }
    void message(QWidget*, const QString& text) override { messages.append(text); }
    bool setUpPrinter(QWidget*, QPrinter& printer, int firstPage, int lastPage) override
    {
        Asked a;
        a.kind = QStringLiteral("printer");
        a.firstPage = firstPage;
        a.lastPage = lastPage;
        a.printer = &printer;
        asked.append(a);
        return printerAnswer ? printerAnswer(printer) : false;
    }
};

} // namespace fatura::testing
