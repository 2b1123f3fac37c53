#pragma once
// The main window under test: its program folder, a temporary folder with the empty archive the
// program expects beside it (opening the archive is one of the start-up steps), and its entries.

#include "Engine.h"
#include "InvoiceSchema.h"
#include "Tfatura_basimi.h"

#include <QAction>
#include <QMenu>
#include <QString>
#include <QTemporaryDir>

namespace fatura {

inline QString programFolder(const QTemporaryDir& folder)
{
    const QString path = folder.path() + QLatin1Char('/');
    engine::createTable(path.toStdString(), archive::kInvoiceTableName, archive::invoiceTableDefinition());
    return path;
}

// The entry of the menu dropped by "RAPOR" with this text, or null.
inline QAction* menuEntry(Tfatura_basimi& window, const QString& text)
{
    for (QAction* a : window.reportMenu()->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

} // namespace fatura
