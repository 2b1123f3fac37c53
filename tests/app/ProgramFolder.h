#pragma once
// The program folder of a window under test: a temporary folder with the empty archive the
// program expects beside it, since opening the archive is one of the start-up steps.

#include "Engine.h"
#include "InvoiceSchema.h"

#include <QString>
#include <QTemporaryDir>

namespace fatura {

inline QString programFolder(const QTemporaryDir& folder)
{
    const QString path = folder.path() + QLatin1Char('/');
    engine::createTable(path.toStdString(), archive::kInvoiceTableName, archive::invoiceTableDefinition());
    return path;
}

} // namespace fatura
