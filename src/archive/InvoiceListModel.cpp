#include "InvoiceListModel.h"

#include "CodePage.h"
#include "Platform.h"

#include <QApplication>
#include <QMetaObject>

#include <algorithm>

namespace fatura::archive {

namespace {

constexpr std::size_t kRunsKept = 16;

} // namespace

InvoiceListModel::InvoiceListModel(QObject* parent) : QAbstractTableModel(parent), reader_("tfatura") {}

void InvoiceListModel::attach(const std::string& folder, const std::string& tableName)
{
    beginResetModel();
    try {
        engine::OpenOptions options;
        options.readOnly = true;
        reader_.open(folder, tableName, options);
        list();
    } catch (...) {
        reader_.close();
        list();
        endResetModel();
        throw;
    }
    endResetModel();
}

void InvoiceListModel::detach()
{
    beginResetModel();
    reader_.close();
    list();
    endResetModel();
}

void InvoiceListModel::reload()
{
    beginResetModel();
    try {
        list();
    } catch (...) {
        count_ = 0;
        endResetModel();
        throw;
    }
    endResetModel();
}

void InvoiceListModel::list()
{
    count_ = 0;
    order_ = 0;
    marks_.clear();
    all_.clear();
    runs_.clear();
    rowsRead_ = 0;
    reported_ = false;
    if (!reader_.isOpen())
        return;
    const engine::IndexDef& primary = reader_.definition().primaryIndex;
    if (primary.keyFields.size() == 1 && primary.keyFields[0] == engine::kRecordIdField) {
        const bool keyDescending = !primary.keyDescending.empty() && primary.keyDescending[0];
        order_ = keyDescending != primary.descending ? -1 : 1;
    }
    reader_.first();
    if (!reader_.hasCurrent())
        return;
    if (order_ == 0) {
        // Without RecordID order a RecordID cannot be placed between two marks, so every one
        // is kept; a table this program makes never takes this way.
        do
            all_.push_back(reader_.currentRecordId());
        while (reader_.next());
        for (std::size_t i = 0; i < all_.size(); i += kRun)
            marks_.push_back(all_[i]);
        count_ = int(all_.size());
        return;
    }
    // Walking the index is cheap; reading a record is not, so only the marks are read.
    marks_.push_back(reader_.currentRecordId());
    int rows = 1;
    for (;;) {
        const int moved = reader_.moveBy(kRun);
        rows += moved;
        if (moved < kRun)
            break;
        marks_.push_back(reader_.currentRecordId());
    }
    count_ = rows;
}

std::int32_t InvoiceListModel::recordIdAt(int row) const
{
    if (row < 0 || row >= count_)
        return 0;
    if (order_ == 0)
        return all_[std::size_t(row)];
    if (row % kRun == 0)
        return marks_[std::size_t(row / kRun)];
    const Run& r = run(row / kRun);
    const auto at = std::size_t(row % kRun);
    return at < r.ids.size() ? r.ids[at] : 0;
}

int InvoiceListModel::rowOf(std::int32_t recordId) const
{
    if (recordId == 0 || count_ == 0)
        return -1;
    if (order_ == 0) {
        const auto it = std::find(all_.begin(), all_.end(), recordId);
        return it == all_.end() ? -1 : int(it - all_.begin());
    }
    const auto before = [this](std::int32_t a, std::int32_t b) { return order_ > 0 ? a < b : a > b; };
    const auto mark = std::upper_bound(marks_.begin(), marks_.end(), recordId, before);
    if (mark == marks_.begin())
        return -1;
    const int index = int(mark - marks_.begin()) - 1;
    const Run& r = run(index);
    const auto it = std::find(r.ids.begin(), r.ids.end(), recordId);
    return it == r.ids.end() ? -1 : index * kRun + int(it - r.ids.begin());
}

const InvoiceListModel::Run& InvoiceListModel::run(int index) const
{
    const auto known = std::find_if(runs_.begin(), runs_.end(), [index](const Run& r) { return r.index == index; });
    if (known != runs_.end()) {
        if (known != runs_.begin())
            std::rotate(runs_.begin(), known, known + 1);
        return runs_.front();
    }
    Run fresh;
    fresh.index = index;
    readRun(fresh);
    runs_.push_front(std::move(fresh));
    if (runs_.size() > kRunsKept)
        runs_.pop_back();
    return runs_.front();
}

void InvoiceListModel::readRun(Run& r) const
{
    auto* self = const_cast<InvoiceListModel*>(this);
    const int first = r.index * kRun;
    const int rows = std::min(kRun, count_ - first);
    const auto stale = [&] {
        r.failed = true;
        r.ids.clear();
        r.texts.clear();
        QMetaObject::invokeMethod(self, &InvoiceListModel::staleListing, Qt::QueuedConnection);
    };
    // Runs are read while the view paints, where an exception cannot pass; an engine error is
    // shown from the event loop instead, once per listing.
    try {
        if (!reader_.gotoRecordId(marks_[std::size_t(r.index)]))
            return stale();
        for (int i = 0; i < rows; ++i) {
            if (i > 0 && !reader_.next())
                return stale();
            r.ids.push_back(reader_.currentRecordId());
            std::array<QString, kColumns> texts;
            for (int c = 0; c < kColumns; ++c)
                texts[std::size_t(c)] = fromCp1254(reader_.getText(kFields[std::size_t(c)]));
            r.texts.push_back(std::move(texts));
            ++rowsRead_;
        }
        // A record added or removed inside this run by another copy shifts every row after it.
        const bool more = reader_.next();
        const std::size_t nextMark = std::size_t(r.index) + 1;
        if (nextMark < marks_.size() ? !more || reader_.currentRecordId() != marks_[nextMark] : more)
            return stale();
    } catch (const std::exception& e) {
        r.failed = true;
        r.ids.clear();
        r.texts.clear();
        if (!reported_) {
            reported_ = true;
            const QString text = errorText(e);
            QMetaObject::invokeMethod(
                self, [text] { showStandardError(QApplication::activeWindow(), text); }, Qt::QueuedConnection);
        }
    }
}

int InvoiceListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count_; }

int InvoiceListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant InvoiceListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= count_)
        return {};
    const Run& r = run(index.row() / kRun);
    const auto at = std::size_t(index.row() % kRun);
    if (at >= r.texts.size())
        return {};
    return r.texts[at][std::size_t(index.column())];
}

QVariant InvoiceListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return {};
    return QString::fromLatin1(kFields[std::size_t(section)]);
}

Qt::ItemFlags InvoiceListModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace fatura::archive
