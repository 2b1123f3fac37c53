#pragma once
// Every way of pasting into a line edit (Ctrl+V, the context menu, a middle click) goes through
// the field's own check, so that nothing reaches a field that typing could not put there.

#include <QClipboard>
#include <functional>

class QContextMenuEvent;
class QLineEdit;
class QMouseEvent;

namespace fatura {

using PasteCheck = std::function<void(QClipboard::Mode)>;

// Pops up the standard context menu of edit with its Paste routed through paste.
void popupMenuWithCheckedPaste(QLineEdit* edit, QContextMenuEvent* event, const PasteCheck& paste);

// A middle click pastes the selection through paste. True when the event was taken.
bool pasteSelectionOnMiddleClick(QLineEdit* edit, QMouseEvent* event, const PasteCheck& paste);

} // namespace fatura
