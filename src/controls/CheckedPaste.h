#pragma once
// Every way text enters a line edit (typing, Ctrl+V, the context menu, a middle click) goes
// through the field's own check, so that nothing reaches a field that typing could not put there.

#include <QClipboard>
#include <functional>

class QContextMenuEvent;
class QKeyEvent;
class QLineEdit;
class QMouseEvent;

namespace fatura {

// Whether a key event would put its text into a line edit (the line edit's own test):
// shortcuts, control characters and navigation keys do not.
bool typesText(const QKeyEvent* event);

using PasteCheck = std::function<void(QClipboard::Mode)>;

// Pops up the standard context menu of edit with its Paste routed through paste.
void popupMenuWithCheckedPaste(QLineEdit* edit, QContextMenuEvent* event, const PasteCheck& paste);

// A middle click pastes the selection through paste. True when the event was taken.
bool pasteSelectionOnMiddleClick(QLineEdit* edit, QMouseEvent* event, const PasteCheck& paste);

} // namespace fatura
