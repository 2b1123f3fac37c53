#include "CheckedPaste.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>

namespace fatura {

void popupMenuWithCheckedPaste(QLineEdit* edit, QContextMenuEvent* event, const PasteCheck& paste)
{
    QMenu* menu = edit->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The menu's Paste is wired straight to QLineEdit::paste().
    for (QAction* action : menu->actions()) {
        const bool wasPaste = QObject::disconnect(action, SIGNAL(triggered()), edit, SLOT(paste()))
            || QObject::disconnect(action, &QAction::triggered, edit, &QLineEdit::paste);
        if (wasPaste)
            QObject::connect(action, &QAction::triggered, edit, [paste] { paste(QClipboard::Clipboard); });
    }
    menu->popup(event->globalPos());
}

bool pasteSelectionOnMiddleClick(QLineEdit* edit, QMouseEvent* event, const PasteCheck& paste)
{
    if (event->button() != Qt::MiddleButton || !QGuiApplication::clipboard()->supportsSelection() || edit->isReadOnly())
        return false;
    edit->deselect();
    paste(QClipboard::Selection);
    event->accept();
    return true;
}

} // namespace fatura
