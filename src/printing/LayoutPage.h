#pragma once
// Page "AYAR": one check box per layout entry, captioned with its position text, a step field
// and a toolbar that ticks, nudges and saves. The captions are the program's only copy of the
// current print layout: the print composition reads them through position().

#include "LayoutFile.h"
#include "Position.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QLabel;
class QToolButton;

namespace fatura {

class SpinEdit;

class LayoutPage : public QWidget {
    Q_OBJECT
public:
    // programFolder is where the save button writes the settings file.
    explicit LayoutPage(const QString& programFolder, QWidget* parent = nullptr);

    // Start-up step: the captions from the settings file (fallbacks for what it lacks).
    void LoadLayout(const QString& programFolder);
    // Writes every caption, ticked or not. Throws FileError; the captions stay as they are.
    void SaveLayout(const QString& programFolder) const;

    // Moves every ticked entry by the step in AAO, brought into its limits.
    void NudgeSelected(NudgeDirection direction);
    void setAllTicked(bool ticked);

    // entryIndex as in kLayoutTable (0 ... 42; kPageMarginsEntry for the page margins).
    QString position(int entryIndex) const;
    void setPosition(int entryIndex, const QString& text);
    LayoutCaptions positions() const;
    QCheckBox* checkBox(int entryIndex) const { return boxes_.at(entryIndex); }
    SpinEdit* stepField() const { return step_; }

signals:
    void sampleRequested();
    void backRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildToolbar();
    void buildEntries();
    int step() const;
    void fitAutosizedLabels();

    QString programFolder_;
    std::array<QCheckBox*, kLayoutEntries> boxes_{}; // by table index
    SpinEdit* step_ = nullptr;
    QWidget* toolbar_ = nullptr;
    QList<QLabel*> autosized_; // as wide as their text in the page's current font
};

} // namespace fatura
