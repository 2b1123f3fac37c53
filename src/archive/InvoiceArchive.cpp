#include "InvoiceArchive.h"

#include "CodePage.h"
#include "InvoiceFields.h"
#include "InvoiceRecord.h"
#include "InvoiceSchema.h"
#include "Platform.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace fatura::archive {

namespace {

QString controlName(const InvoiceFieldMap& m) { return QString::fromLatin1(m.control.data(), qsizetype(m.control.size())); }

// Blanks and control characters at either end do not make a date.
bool isBlank(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0x20; });
}

} // namespace

InvoiceArchive::InvoiceArchive(InvoiceFields& fields) : fields_(fields) {}

void InvoiceArchive::open(const QString& programFolder)
{
    folder_.clear();
    const std::string folder = QFile::encodeName(programFolder).toStdString();
    table_.open(folder, kInvoiceTableName);
    folder_ = folder;
}

void InvoiceArchive::save(QWidget* parent)
{
    fields_.focusDate();
    if (isBlank(fields_.text(QStringLiteral("TARIH")))) {
        platform().boxes->warn(parent, QStringLiteral("\r\nFATURA TARİHİNİ GİRMEK ZORUNDASINIZ."));
        fields_.focusDate();
        return;
    }
    // The invoice loaded or stored last may have been deleted since, here or by another copy
    // of the program: then what is on screen becomes a new record instead of being lost.
    if (mode_ == kStored && table_.gotoRecordId(stored_))
        table_.edit();
    else
        table_.append();
    try {
        writeRecord();
        table_.post();
    } catch (...) {
        // No half-written record may stay pending for the next move to post.
        table_.cancel();
        throw;
    }
    stored_ = table_.currentRecordId();
    mode_ = kStored;
}

void InvoiceArchive::writeRecord()
{
    for (const InvoiceFieldMap& m : invoiceRecordMap()) {
        const QString control = controlName(m);
        if (m.kind == InvoiceFieldKind::Text)
            table_.setText(m.field, toCp1254(fields_.text(control), m.control));
        else
            table_.setNumber(m.field, double(fields_.number(control)));
    }
}

void InvoiceArchive::find(QWidget* parent, const std::function<bool()>& chooseRecord)
{
    if (table_.recordCount() == 0) {
        platform().boxes->warn(parent, QStringLiteral("\r\nKAYITLI FATURA YOK."));
        return;
    }
    if (!chooseRecord() || !table_.hasCurrent())
        return;
    // The cursor's copy of its record may be older than the file: another copy of the program
    // can have changed or deleted it since this one read it. Read it again by its identity, and
    // load nothing when it is gone.
    if (!table_.gotoRecordId(table_.currentRecordId()))
        return;
    loadCurrentRecord();
    stored_ = table_.currentRecordId();
    mode_ = kStored;
}

void InvoiceArchive::loadCurrentRecord()
{
    // Read everything before touching the page, so that a field the engine cannot read
    // leaves the invoice on screen whole.
    struct Value {
        QString control;
        QString text;
        double number = 0;
        bool isText = false;
    };
    std::vector<Value> values;
    for (const InvoiceFieldMap& m : invoiceRecordMap()) {
        Value v{controlName(m), {}, 0, m.kind == InvoiceFieldKind::Text};
        if (v.isText)
            v.text = fromCp1254(table_.getText(m.field));
        else if (v.number = table_.getNumber(m.field); !std::isfinite(v.number))
            // A number field refuses such a value; the page would be left half loaded.
            throw std::domain_error("Field '" + std::string(m.field) + "' holds no finite number");
        values.push_back(std::move(v));
    }
    for (const Value& v : values) {
        if (v.isText)
            fields_.setText(v.control, v.text);
        else
            fields_.setNumber(v.control, v.number);
    }
}

} // namespace fatura::archive
