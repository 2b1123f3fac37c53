#pragma once
// The find-invoice dialog "FATURA BUL". It lives from program start to program end and is only
// hidden when closed, so its search boxes keep their texts between openings. It works on the
// main window's table: searching and browsing move that table's current record, which "BUL"
// loads when the dialog was left with "KAYDA GİT".

#include <QDialog>

#include <cstdint>

class QLineEdit;
class QPushButton;
class QTableView;

namespace fatura::archive {

class InvoiceArchive;
class InvoiceListModel;

class Tfatura_bul : public QDialog {
    Q_OBJECT
public:
    static constexpr int kBoxes = 4;

    explicit Tfatura_bul(InvoiceArchive& archive, QWidget* parent = nullptr);
    ~Tfatura_bul() override;

    // The go-to-record flag: set by "KAYDA GİT", cleared by "ÇIKIŞ" and by every other way of
    // closing the dialog; opening the dialog leaves it as it was.
    bool goToRecord() const { return goToRecord_; }

    // Shows the dialog modally; true when it was left with "KAYDA GİT".
    bool chooseRecord();

    QLineEdit* searchBox(int number) const { return boxes_[number - 1]; } // S1 ... S4
    QTableView* list() const { return list_; }
    InvoiceListModel* model() const { return model_; }
    QPushButton* button(const QString& caption) const;

    // Closing by the close box or Escape counts as "ÇIKIŞ": nothing is loaded by surprise.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void search(int box);
    void goToRecordAndClose();
    void newQuery();
    void deleteAsked();
    void deleteConfirmed();
    void exitWithoutRecord();
    void deleteCurrent();
    void followTable();
    void rowChosen(int row);

    InvoiceArchive& archive_;
    QLineEdit* boxes_[kBoxes] = {};
    QTableView* list_ = nullptr;
    InvoiceListModel* model_ = nullptr;
    QList<QPushButton*> buttons_;
    bool goToRecord_ = false;
    bool following_ = false; // the list is being moved to the table, not the other way
    bool opened_ = false;
};

} // namespace fatura::archive
