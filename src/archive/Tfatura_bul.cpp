#include "Tfatura_bul.h"

#include "CodePage.h"
#include "InvoiceArchive.h"
#include "InvoiceListModel.h"
#include "InvoiceSchema.h"
#include "Platform.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTableView>

#include <string>
#include <vector>

namespace fatura::archive {

namespace {

constexpr QRgb kSearchBoxColour = 0xEAE7D5; // 234, 231, 213

struct BoxSpec {
    const char* name;
    const char* field;
    int left, width;
};
constexpr BoxSpec kSearchBoxes[Tfatura_bul::kBoxes] = {
    {"S1", "TARIH", 8, 77}, {"S2", "SAYIN1", 87, 174}, {"S3", "VDAIRESI", 263, 99}, {"S4", "VNO", 364, 99}};

struct ButtonSpec {
    const char* caption;
    int left, width;
};
// In tab order.
constexpr ButtonSpec kButtons[] = {
    {"KAYDA GİT", 8, 75}, {"YENİ SORGU", 88, 84}, {"ÇIKIŞ", 408, 75}, {"FATURA SİL", 184, 75}};

constexpr const char* kButtonStyle =
    "QPushButton { background-color: rgb(244, 244, 240); border: 1px solid rgb(0, 60, 116); border-radius: 3px; }"
    "QPushButton:hover { background-color: rgb(255, 240, 207); border-color: rgb(229, 151, 0); }"
    "QPushButton:pressed { background-color: rgb(226, 226, 218); }"
    "QPushButton:focus { border-width: 2px; }";

QString caption(const char* utf8) { return QString::fromUtf8(utf8); }

} // namespace

Tfatura_bul::Tfatura_bul(InvoiceArchive& archive, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      archive_(archive)
{
    setObjectName(QStringLiteral("fatura_bul"));
    setWindowTitle(QStringLiteral("FATURA BUL"));
    setFixedSize(491, 404);
    setModal(true);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);

    for (int i = 0; i < kBoxes; ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(kSearchBoxes[i].name));
        box->setGeometry(kSearchBoxes[i].left, 8, kSearchBoxes[i].width, 21);
        QPalette pal = box->palette();
        pal.setColor(QPalette::Base, QColor::fromRgb(kSearchBoxColour));
        box->setPalette(pal);
        boxes_[i] = box;
        connectGuarded(box, &QLineEdit::textChanged, this, [this, i] { search(i); });
    }

    model_ = new InvoiceListModel(this);
    list_ = new QTableView(this);
    list_->setObjectName(QStringLiteral("LISTE"));
    list_->setGeometry(8, 32, 473, 321);
    list_->setModel(model_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setTabKeyNavigation(false);
    list_->setShowGrid(true);
    list_->setWordWrap(false);
    list_->setTextElideMode(Qt::ElideNone);
    list_->setCornerButtonEnabled(false);
    list_->verticalHeader()->hide();
    // Fixed rows keep the header from measuring hundreds of thousands of them.
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(17);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->horizontalHeader()->setStretchLastSection(false);
    for (int c = 0; c < InvoiceListModel::kColumns; ++c)
        list_->setColumnWidth(c, InvoiceListModel::kWidths[std::size_t(c)]);
    QPalette listPalette = list_->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        listPalette.setColor(QPalette::Inactive, role, listPalette.color(QPalette::Active, role));
    list_->setPalette(listPalette);
    list_->installEventFilter(this);
    connectGuarded(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                   [this] { rowChosen(list_->currentIndex().row()); });
    connectGuarded(model_, &InvoiceListModel::staleListing, this, [this] {
        if (isVisible()) {
            model_->reload();
            followTable();
        }
    });

    for (const ButtonSpec& spec : kButtons) {
        auto* b = new QPushButton(caption(spec.caption), this);
        b->setGeometry(spec.left, 368, spec.width, 25);
        b->setStyleSheet(QString::fromLatin1(kButtonStyle));
        buttons_.append(b);
    }
    connectGuarded(button(caption("KAYDA GİT")), &QPushButton::clicked, this, [this] { goToRecordAndClose(); });
    connectGuarded(button(caption("YENİ SORGU")), &QPushButton::clicked, this, [this] { newQuery(); });
    connectGuarded(button(caption("FATURA SİL")), &QPushButton::clicked, this, [this] { deleteAsked(); });
    connectGuarded(button(caption("ÇIKIŞ")), &QPushButton::clicked, this, [this] { exitWithoutRecord(); });

    QWidget* order[] = {boxes_[0], boxes_[1], boxes_[2], boxes_[3], list_, buttons_[0], buttons_[1], buttons_[2], buttons_[3]};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

Tfatura_bul::~Tfatura_bul() = default;

QPushButton* Tfatura_bul::button(const QString& text) const
{
    for (QPushButton* b : buttons_)
        if (b->text() == text)
            return b;
    return nullptr;
}

bool Tfatura_bul::chooseRecord()
{
    exec();
    return goToRecord_;
}

void Tfatura_bul::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - frameGeometry().center() + pos());
    // The table may have changed since the last opening, here or in another copy.
    guarded(this, [this] {
        model_->attach(archive_.folder(), kInvoiceTableName);
        // The first search then keeps the beginnings of all four searched fields, so the first
        // keystroke in another box does not read the whole table again.
        std::vector<std::string> searched;
        for (const BoxSpec& box : kSearchBoxes)
            searched.emplace_back(box.field);
        archive_.table().expectLocates(searched);
        followTable();
    });
    if (!opened_) {
        opened_ = true;
        boxes_[0]->setFocus(Qt::OtherFocusReason);
    }
}

void Tfatura_bul::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    model_->detach();
}

void Tfatura_bul::reject()
{
    goToRecord_ = false;
    QDialog::reject();
}

bool Tfatura_bul::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ControlModifier)) {
            guarded(this, [this] { deleteConfirmed(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Tfatura_bul::search(int box)
{
    engine::Cursor& table = archive_.table();
    const QString text = boxes_[box]->text();
    if (text.isEmpty()) {
        table.first();
    } else {
        std::string bytes;
        // A character the code page lacks is in no stored text: nothing can match.
        if (!tryCp1254(text, bytes))
            return;
        if (!table.locate(kSearchBoxes[box].field, bytes, true, true))
            return;
    }
    followTable();
}

void Tfatura_bul::goToRecordAndClose()
{
    if (archive_.table().recordCount() == 0)
        return;
    goToRecord_ = true;
    accept();
}

void Tfatura_bul::newQuery()
{
    for (QLineEdit* box : boxes_)
        box->clear();
    boxes_[0]->setFocus(Qt::OtherFocusReason);
}

void Tfatura_bul::deleteAsked()
{
    if (archive_.table().recordCount() == 0)
        return;
    if (platform().boxes->askWarning(this, QStringLiteral("\r\nAKTİF FATURA SİLİNECEK.\r\n\r\nDEVAM EDİLSİN Mİ?"))
        == MessageBoxes::Answer::Yes)
        deleteCurrent();
}

void Tfatura_bul::deleteConfirmed()
{
    if (archive_.table().recordCount() == 0)
        return;
    if (platform().boxes->confirm(this, QStringLiteral("Delete record?")) == MessageBoxes::Answer::Yes)
        deleteCurrent();
}

void Tfatura_bul::exitWithoutRecord() { reject(); }

void Tfatura_bul::deleteCurrent()
{
    archive_.table().deleteRecord();
    model_->reload();
    followTable();
}

void Tfatura_bul::followTable()
{
    engine::Cursor& table = archive_.table();
    const std::int32_t id = table.hasCurrent() ? table.currentRecordId() : 0;
    int row = model_->rowOf(id);
    if (row < 0 && id != 0) {
        // Added by another copy since the list was made.
        model_->reload();
        row = model_->rowOf(id);
    }
    const QScopedValueRollback<bool> following(following_, true);
    if (row < 0) {
        list_->selectionModel()->clear();
        return;
    }
    const QModelIndex index = model_->index(row, 0);
    list_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list_->scrollTo(index);
}

void Tfatura_bul::rowChosen(int row)
{
    if (following_ || row < 0)
        return;
    const std::int32_t id = model_->recordIdAt(row);
    if (id == 0)
        return;
    if (!archive_.table().gotoRecordId(id)) {
        // Deleted by another copy since the list was made.
        model_->reload();
        followTable();
    }
}

} // namespace fatura::archive
