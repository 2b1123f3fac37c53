#pragma once
// The information window: a page shipped inside the program, shown beside the main window
// without blocking it. It is hidden, never destroyed, when the user closes it.

#include <QWidget>

class QTextBrowser;

namespace fatura {

class Tucretsiz_yazilimlar_icin_bilgi : public QWidget {
    Q_OBJECT
public:
    explicit Tucretsiz_yazilimlar_icin_bilgi(QWidget* parent = nullptr);

    // Shows the window, or brings it to the front when it is already showing.
    void showOrRaise();
    // How many times the page was loaded; it loads each time the window becomes visible.
    int loadCount() const { return loads_; }
    QTextBrowser* view() const { return view_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QTextBrowser* view_;
    int loads_ = 0;
};

} // namespace fatura
