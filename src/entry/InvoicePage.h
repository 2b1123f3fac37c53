#pragma once
// Page "FATURA": the controls that hold the invoice being typed. There is no invoice object
// in memory; the archive, the totals and printing read and write these controls by name.

#include <QHash>
#include <QWidget>

namespace fatura {

class NumericEdit;
class SpinEdit;
class TextEdit;

class InvoicePage : public QWidget {
    Q_OBJECT
public:
    explicit InvoicePage(QWidget* parent = nullptr);

    // Controls by their names (TARIH, SAYIN1 ... YALNIZ; M1 ... TOPLAM); null for other names.
    TextEdit* text(const QString& name) const;
    NumericEdit* number(const QString& name) const;
    SpinEdit* rate() const { return oran_; }

    // The 50 entry fields in tab position order (TARIH first, YALNIZ last); ORAN is not one.
    const QList<QWidget*>& entryFields() const { return fields_; }

    // "YENİ": asks first; on Yes (or a closed box) empties the invoice, keeps ORAN, puts
    // today's date into TARIH and focuses it. Returns false when the user answered No.
    bool startNewInvoice();

    // Today's date in the desktop's short date format, as TARIH takes it.
    static QString todayText();

    static constexpr int kBackground = 0xE4E0C9;   // entry fields without focus
    static constexpr int kCaptionColour = 0xC0AC87;

signals:
    // A field of the quantity, price or amount columns was left (tag 2), after its text
    // became its value.
    void recalculationField();

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void addField(QWidget* field, const QString& name, int left, int top, int width);
    void addCaption(const QString& text, int left, int top, int width, int height, bool centred, bool filled = true);
    void connectFocusColouring(QWidget* field);
    void buildUpDownRings();

    QList<QWidget*> fields_;
    QHash<QString, TextEdit*> texts_;
    QHash<QString, NumericEdit*> numbers_;
    SpinEdit* oran_ = nullptr;
    QHash<QWidget*, QPair<QWidget*, QWidget*>> rings_; // field -> (Up target, Down target)
};

} // namespace fatura
