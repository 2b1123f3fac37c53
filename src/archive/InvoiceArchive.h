#pragma once
// The invoice archive as the main window uses it: the table tfatura, the edit mode, and the
// two operations behind "KAYDET" and "BUL".
//
// The invoice on screen, once stored or loaded, is known by its RecordID rather than by the
// table's current record: the find dialog moves the current record freely, and a later save
// must still reach the invoice the user is looking at, or add it anew when it is gone.
//
// Every call may throw the engine's errors; callers run them through guarded().

#include "Engine.h"

#include <QString>

#include <cstdint>
#include <functional>

class QWidget;

namespace fatura::archive {

class InvoiceFields;

class InvoiceArchive {
public:
    static constexpr char kNew = 'Y';
    static constexpr char kStored = 'D';

    explicit InvoiceArchive(InvoiceFields& fields);

    // Opens table fatura in programFolder (start-up). A failure leaves the table closed, and
    // every later operation fails with the closed-dataset error under the name tfatura.
    void open(const QString& programFolder);
    engine::Cursor& table() { return table_; }
    // The folder the table was opened in, as the engine takes it; empty before a good open.
    const std::string& folder() const { return folder_; }

    char editMode() const { return mode_; }
    void setEditModeNew() { mode_ = kNew; }
    // The RecordID of the invoice loaded or last stored; 0 before the first.
    std::int32_t storedRecordId() const { return stored_; }

    // "KAYDET". parent carries the message boxes.
    void save(QWidget* parent);

    // "BUL": chooseRecord shows the find dialog modally and tells whether the user chose the
    // table's current record.
    void find(QWidget* parent, const std::function<bool()>& chooseRecord);

private:
    void writeRecord();
    void loadCurrentRecord();

    InvoiceFields& fields_;
    engine::Cursor table_{"tfatura"};
    std::string folder_;
    char mode_ = kNew;
    std::int32_t stored_ = 0;
};

} // namespace fatura::archive
