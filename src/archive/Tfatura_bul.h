#pragma once
// The find-invoice dialog. It lives from program start to program end and is only hidden
// when closed; its list and search boxes arrive with the archive.

#include <QDialog>

namespace fatura {

class Tfatura_bul : public QDialog {
    Q_OBJECT
public:
    explicit Tfatura_bul(QWidget* parent = nullptr);
};

} // namespace fatura
