#include "Tfatura_bul.h"

namespace fatura {

Tfatura_bul::Tfatura_bul(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fatura_bul"));
    setWindowTitle(QStringLiteral("FATURA BUL"));
    setFixedSize(491, 404);
    setModal(true);
}

} // namespace fatura
