#pragma once
// Focus only moves inside the active window; widget tests make their window active first.
#include <QApplication>
#include <QTest>
#include <QWidget>

namespace fatura::testing {

inline bool activate(QWidget& window)
{
    QApplication::setActiveWindow(&window);
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

inline bool showActive(QWidget& window)
{
    window.show();
    return activate(window);
}

} // namespace fatura::testing
