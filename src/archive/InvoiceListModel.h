#pragma once
// The find dialog's list: the invoices of table fatura in the table's order, four columns.
//
// The table may hold hundreds of thousands of invoices, so the model never reads it whole. It
// keeps the RecordID of every 64th row (the whole list only for a table whose order is not by
// RecordID) and reads the rows in runs of 64 as the view shows them, through a read-only
// cursor of its own, so that reading never moves the table's current record. The runs read
// last are kept; everything is dropped by reload(), which the dialog calls at each opening and
// after each delete, so that changes made meanwhile by this program or another copy show.

#include "Engine.h"

#include <QAbstractTableModel>
#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace fatura::archive {

class InvoiceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 4;
    static constexpr int kRun = 64;
    // Field names, which are also the column titles, and the columns' widths in pixels.
    static constexpr std::array<const char*, kColumns> kFields{"TARIH", "SAYIN1", "VDAIRESI", "VNO"};
    static constexpr std::array<int, kColumns> kWidths{75, 175, 100, 100};

    explicit InvoiceListModel(QObject* parent = nullptr);

    // Opens the model's own cursor on the table and lists it; throws the engine's errors.
    void attach(const std::string& folder, const std::string& tableName);
    // Forgets the list and closes the cursor.
    void detach();
    // Lists the table afresh.
    void reload();

    // The RecordID shown in row; 0 outside the list or when the row cannot be read.
    std::int32_t recordIdAt(int row) const;
    // The row showing recordId; -1 when it is not listed.
    int rowOf(std::int32_t recordId) const;
    // Rows read from the table since the last reload, for tests that must see the table is
    // not read whole.
    int rowsRead() const { return rowsRead_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // A run could not be read because the table changed under the list; a reload follows.
    void staleListing();

private:
    struct Run {
        int index = 0;
        std::vector<std::int32_t> ids;
        std::vector<std::array<QString, kColumns>> texts;
        bool failed = false;
    };
    const Run& run(int index) const;
    void readRun(Run& run) const;
    void list();

    mutable engine::Cursor reader_;
    int count_ = 0;
    int order_ = 0; // 1: ascending RecordID, -1: descending, 0: another key
    std::vector<std::int32_t> marks_; // RecordID of rows 0, 64, 128, ...
    std::vector<std::int32_t> all_;   // every RecordID, only when order_ is 0
    mutable std::deque<Run> runs_;    // most recently used first
    mutable int rowsRead_ = 0;
    mutable bool reported_ = false;
};

} // namespace fatura::archive
