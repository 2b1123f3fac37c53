#pragma once
// A program folder with an archive in it, and what the archive tests need around it.

#include "Engine.h"
#include "FakePlatform.h"
#include "InvoiceSchema.h"

#include <QTemporaryDir>
#include <QtTest>

#include <string>
#include <vector>

namespace fatura::testing {

struct Customer {
    const char* date;
    const char* name; // UTF-8
    const char* office;
    const char* number;
};

inline std::string cp1254(const QString& text)
{
    QStringEncoder encoder("windows-1254");
    const QByteArray bytes = encoder.encode(text);
    return bytes.toStdString();
}

inline QString fromCp1254(const std::string& bytes)
{
    QStringDecoder decoder("windows-1254");
    return decoder.decode(QByteArray::fromStdString(bytes));
}

class ArchiveFolder {
public:
    explicit ArchiveFolder(bool withArchive = true)
    {
        if (withArchive)
            engine::createTable(folder(), archive::kInvoiceTableName, archive::invoiceTableDefinition());
    }
    std::string folder() const { return dir_.path().toStdString() + '/'; }
    QString path() const { return dir_.path() + QLatin1Char('/'); }

    // A cursor of its own on the archive, as another part of the program or a test sees it.
    engine::Cursor open(bool readOnly = false) const
    {
        engine::Cursor c;
        engine::OpenOptions options;
        options.readOnly = readOnly;
        c.open(folder(), archive::kInvoiceTableName, options);
        return c;
    }

    // Appends invoices with only the four listed fields set; returns their RecordIDs.
    std::vector<std::int32_t> add(const std::vector<Customer>& customers) const
    {
        engine::Cursor c = open();
        std::vector<std::int32_t> ids;
        for (const Customer& k : customers) {
            c.append();
            c.setText("TARIH", cp1254(QString::fromUtf8(k.date)));
            c.setText("SAYIN1", cp1254(QString::fromUtf8(k.name)));
            c.setText("VDAIRESI", cp1254(QString::fromUtf8(k.office)));
            c.setText("VNO", cp1254(QString::fromUtf8(k.number)));
            c.post();
            ids.push_back(c.currentRecordId());
        }
        return ids;
    }

    // SAYIN1 of every record in table order.
    QStringList names() const
    {
        engine::Cursor c = open(true);
        QStringList all;
        if (c.hasCurrent()) {
            do
                all << fromCp1254(c.getText("SAYIN1"));
            while (c.next());
        }
        return all;
    }

    std::uint32_t count() const { return open(true).recordCount(); }

private:
    QTemporaryDir dir_;
};

} // namespace fatura::testing
