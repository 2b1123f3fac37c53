#include "LayoutPage.h"

#include "Palette.h"
#include "Platform.h"
#include "SpinEdit.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>

#include <algorithm>

namespace fatura {

namespace {

const QColor kToolbarColour(224, 220, 194);
const QColor kCaptionColour(192, 172, 135);
const QColor kPriceHeadColour(88, 184, 126);
const QColor kCheckBoxColour(228, 224, 201);
const QColor kNoteColour(0, 128, 0);

constexpr int kCheckBoxHeight = 15;
constexpr int kLabelHeight = 15;
constexpr int kRowPitch = 17;

// Check boxes stand where their fields stand on the invoice page. A group is a run of table
// entries placed one below the other.
struct BoxGroup {
    int firstEntry;
    int count;
    int left;
    int top;
    int width;
};

constexpr BoxGroup kBoxGroups[] = {
    {0, 1, 104, 43, 65},    // date
    {1, 3, 104, 64, 348},   // customer lines
    {4, 1, 104, 123, 140},  // tax office
    {5, 1, 336, 123, 116},  // tax number
    {6, 8, 16, 174, 63},    // quantities
    {14, 8, 83, 174, 202},  // descriptions
    {22, 8, 288, 174, 80},  // unit prices
    {30, 8, 371, 174, 80},  // row amounts
    {38, 3, 371, 311, 80},  // subtotal, tax, grand total
    {41, 1, 59, 373, 393},  // amount in words
    {42, 1, 107, 341, 86},  // page margins
};

struct Caption {
    const char* text; // UTF-8
    int left;
    int top;
    int width;        // 0: as wide as the text
    bool priceHead;
};

constexpr Caption kCaptions[] = {
    {"FATURA TARİHİ", 16, 44, 79, false},
    {"SAYIN", 16, 65, 79, false},
    {"VERGİ DAİRESİ", 16, 124, 79, false},
    {"VER. HESAP NO", 248, 124, 83, false},
    {"MİKTARI", 16, 156, 63, false},
    {"CİNSİ", 83, 156, 202, false},
    {"FİYATI", 288, 156, 80, true},
    {"TUTARI", 371, 156, 80, true},
    {"YEKÜN", 288, 311, 80, false},
    {"K.D.V. %", 288, 328, 80, false},
    {"TOPLAM", 288, 345, 80, false},
    {"RAPOR SAYFASI ", 16, 341, 0, false},
    {"YALNIZ", 16, 373, 40, false},
};

QToolButton* toolButton(QWidget* parent, const char* name, int left, int width, const QString& hint)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(left, 5, width, 22);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolTip(hint);
    return button;
}

void useCaptionFont(QToolButton* button)
{
    QFont font = button->font();
    font.setBold(true);
    font.setPointSize(8);
    button->setFont(font);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, Qt::blue);
    button->setPalette(palette);
}

// A check box indicator, ticked or not, drawn by the current style.
QIcon checkGlyph(const QWidget* widget, bool ticked)
{
    QStyleOptionButton option;
    option.initFrom(widget);
    const int side = widget->style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, widget);
    option.rect = QRect(0, 0, side, side);
    option.state = QStyle::State_Enabled | (ticked ? QStyle::State_On : QStyle::State_Off);
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    widget->style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, widget);
    return QIcon(pixmap);
}

} // namespace

LayoutPage::LayoutPage(const QString& programFolder, QWidget* parent)
    : QWidget(parent), programFolder_(programFolder)
{
    setObjectName(QStringLiteral("AYAR"));
    resize(466, 472);
    fillBackground(this, kPageColour);
    buildToolbar();
    buildEntries();
}

void LayoutPage::buildToolbar()
{
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(0, 0, width(), 31);
    fillBackground(panel, kToolbarColour);
    toolbar_ = panel;

    auto* checkAll = toolButton(panel, "TUMUNU_ONAYLA", 5, 25, QStringLiteral("Tümünü Onayla"));
    checkAll->setIcon(checkGlyph(panel, true));
    connect(checkAll, &QToolButton::clicked, this, [this] { setAllTicked(true); });

    auto* clearAll = toolButton(panel, "SECIMLERI_TEMIZLE", 33, 25, QStringLiteral("Seçimleri Temizle"));
    clearAll->setIcon(checkGlyph(panel, false));
    connect(clearAll, &QToolButton::clicked, this, [this] { setAllTicked(false); });

    auto* save = toolButton(panel, "AYARLARI_KAYDET", 62, 25, QStringLiteral("Ayarları Kaydet"));
    save->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    connect(save, &QToolButton::clicked, this, [this] { guarded(window(), [this] { SaveLayout(programFolder_); }); });

    auto* sample = toolButton(panel, "ORNEK_RAPOR", 102, 147,
                              QStringLiteral("Ayarlara Dayanılarak Örnek Bir Rapor Hazırlar."));
    sample->setText(QStringLiteral("Örnek Rapor Göster"));
    useCaptionFont(sample);
    connect(sample, &QToolButton::clicked, this, &LayoutPage::sampleRequested);

    struct Nudge {
        const char* name;
        int left;
        Qt::ArrowType arrow;
        NudgeDirection direction;
        const char* hint; // UTF-8
    };
    static constexpr Nudge nudges[] = {
        {"UST", 304, Qt::UpArrow, NudgeDirection::Up, "Üste Kaydır -  ( ? |  x )"},
        {"ALT", 326, Qt::DownArrow, NudgeDirection::Down, "Aşağı Kaydır +  ( ? |  x )"},
        {"SOL", 348, Qt::LeftArrow, NudgeDirection::Left, "Sola Kaydır -  ( x |  ? )"},
        {"SAG", 370, Qt::RightArrow, NudgeDirection::Right, "Sağa Kaydır +  ( x |  ? )"},
    };
    for (const Nudge& n : nudges) {
        auto* button = toolButton(panel, n.name, n.left, 21, QString::fromUtf8(n.hint));
        button->setArrowType(n.arrow);
        connect(button, &QToolButton::clicked, this, [this, d = n.direction] { NudgeSelected(d); });
    }

    auto* back = toolButton(panel, "GERI_DON", 404, 57, QString());
    back->setText(QStringLiteral("Geri Dön"));
    useCaptionFont(back);
    connect(back, &QToolButton::clicked, this, &LayoutPage::backRequested);
}

void LayoutPage::buildEntries()
{
    for (const Caption& c : kCaptions) {
        auto* label = new QLabel(QString::fromUtf8(c.text), this);
        fillBackground(label, c.priceHead ? kPriceHeadColour : kCaptionColour);
        label->move(c.left, c.top);
        label->resize(c.width, kLabelHeight);
        if (c.width == 0)
            autosized_.append(label);
    }

    auto* stepLabel = new QLabel(QStringLiteral("Artırma/Azaltma Oranı (mm) :"), this);
    stepLabel->move(267, 40);
    autosized_.append(stepLabel);
    fitAutosizedLabels();

    step_ = new SpinEdit(0, 255, 1, this);
    step_->setObjectName(QStringLiteral("AAO"));
    step_->setGeometry(403, 35, 49, 21);
    step_->setTabStop(false);

    auto* note = new QLabel(QStringLiteral(" NOT: Üst-Alt Kenar Boşluk | Sağ - Sol Kenar Boşluk "), this);
    note->setGeometry(16, 450, 254, 16);
    fillBackground(note, kNoteColour, Qt::white);

    QWidget* previous = nullptr;
    for (int entry : kLayoutCreationOrder) {
        auto* box = new QCheckBox(QStringLiteral("0 | 0"), this);
        box->setObjectName(QLatin1String(kLayoutTable[entry].checkBox));
        box->setToolTip(QLatin1String(kLayoutTable[entry].key));
        fillBackground(box, kCheckBoxColour);
        boxes_[entry] = box;
        if (previous)
            setTabOrder(previous, box);
        previous = box;
    }
    for (const BoxGroup& g : kBoxGroups) {
        for (int i = 0; i < g.count; ++i)
            boxes_[g.firstEntry + i]->setGeometry(g.left, g.top + kRowPitch * i, g.width, kCheckBoxHeight);
    }
}

void LayoutPage::resizeEvent(QResizeEvent* event)
{
    toolbar_->resize(event->size().width(), toolbar_->height());
    QWidget::resizeEvent(event);
}

void LayoutPage::fitAutosizedLabels()
{
    for (QLabel* label : std::as_const(autosized_))
        label->resize(label->sizeHint().width(), kLabelHeight);
}

void LayoutPage::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // The page gets the main window's face only once it is placed in the window.
    if (event->type() == QEvent::FontChange)
        fitAutosizedLabels();
}

void LayoutPage::LoadLayout(const QString& programFolder)
{
    const LayoutCaptions captions = ReadLayoutFile(programFolder);
    for (int i = 0; i < kLayoutEntries; ++i)
        boxes_[i]->setText(captions[i]);
}

void LayoutPage::SaveLayout(const QString& programFolder) const
{
    WriteLayoutFile(programFolder, positions());
}

int LayoutPage::step() const
{
    // The nudge buttons never take the focus, so a step typed beyond the limits has not been
    // brought back yet; the nudge uses the nearer limit, as leaving the field would.
    return std::clamp(step_->value(), step_->minimum(), step_->maximum());
}

void LayoutPage::NudgeSelected(NudgeDirection direction)
{
    const int s = step();
    for (int entry : kLayoutCreationOrder) {
        QCheckBox* box = boxes_[entry];
        if (box->isChecked())
            box->setText(NudgePosition(box->text(), direction, s));
    }
}

void LayoutPage::setAllTicked(bool ticked)
{
    for (QCheckBox* box : boxes_)
        box->setChecked(ticked);
}

QString LayoutPage::position(int entryIndex) const
{
    return boxes_.at(entryIndex)->text();
}

void LayoutPage::setPosition(int entryIndex, const QString& text)
{
    boxes_.at(entryIndex)->setText(text);
}

LayoutCaptions LayoutPage::positions() const
{
    LayoutCaptions captions;
    for (int i = 0; i < kLayoutEntries; ++i)
        captions[i] = boxes_[i]->text();
    return captions;
}

} // namespace fatura
