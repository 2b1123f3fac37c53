#include "CheckedPaste.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>

namespace fatura {

bool typesText(const QKeyEvent* event)
{
    const QString text = event->text();
    if (text.isEmpty())
        return false;
    const QChar c = text.at(0);
    if (c.category() == QChar::Other_Format)
        return true;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::ControlModifier || mods == (Qt::ShiftModifier | Qt::ControlModifier))
        return false;
    return c.isPrint() || c.category() == QChar::Other_PrivateUse
        || (c.isHighSurrogate() && text.size() > 1 && text.at(1).isLowSurrogate());
}

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
