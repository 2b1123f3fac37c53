#include "InvoicePage.h"

#include "NumericEdit.h"
#include "Palette.h"
#include "Platform.h"
#include "SpinEdit.h"
#include "TextEdit.h"
#include "Totals.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>

namespace fatura {
namespace {

constexpr int kFieldHeight = 18;
constexpr int kRowTop = 174;
constexpr int kRowPitch = 19;

int rowTop(int n) { return kRowTop + kRowPitch * (n - 1); }

QString rowName(char column, int n) { return QStringLiteral("%1%2").arg(QLatin1Char(column)).arg(n); }

void setBackground(QWidget* w, int rgb)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Base, QColor::fromRgb(QRgb(rgb)));
    pal.setColor(QPalette::Window, QColor::fromRgb(QRgb(rgb)));
    w->setPalette(pal);
}

struct CaptionSpec {
    const char* text;
    int left, top, width, height;
    bool centred;
};

// The last one carries no colour of its own and sits at the top of its box.
constexpr CaptionSpec kCaptions[] = {
    {"FATURA TARİHİ", 16, 50, 82, 13, false},
    {"SAYIN", 16, 68, 82, 18, false},
    {"VERGİ DAİRESİ", 16, 132, 82, 18, false},
    {"VER. HESAP NO", 248, 132, 83, 18, false},
    {"MİKTARI & BİRİM", 16, 156, 94, 15, true},
    {"CİNSİ", 112, 156, 210, 15, false},
    {"FİYATI", 324, 156, 60, 15, true},
    {"TUTARI", 387, 156, 67, 15, true},
    {"YEKÜN", 324, 327, 60, 18, false},
    {"K.D.V. %", 324, 346, 60, 18, false},
    {"TOPLAM", 324, 365, 60, 18, false},
    {"YALNIZ", 16, 387, 40, 18, false},
    {"KDV Oranı :", 346, 46, 56, 13, false},
};

} // namespace

InvoicePage::InvoicePage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FATURA"));

    const auto textField = [this](const QString& name, int left, int top, int width) {
        auto* f = new TextEdit(this);
        texts_.insert(name, f);
        addField(f, name, left, top, width);
        return f;
    };
    const auto numberField = [this](const QString& name, const char* pattern, int left, int top, int width) {
        auto* f = new NumericEdit(QString::fromLatin1(pattern), this);
        numbers_.insert(name, f);
        addField(f, name, left, top, width);
        return f;
    };

    textField(QStringLiteral("TARIH"), 104, 48, 65);
    textField(QStringLiteral("SAYIN1"), 104, 67, 348);
    textField(QStringLiteral("SAYIN2"), 104, 86, 348);
    textField(QStringLiteral("SAYIN3"), 104, 105, 348);
    textField(QStringLiteral("VERGIDAIRESI"), 104, 131, 140);
    textField(QStringLiteral("VERGIHESAPNO"), 336, 131, 116);
    for (int n = 1; n <= 8; ++n) {
        numberField(rowName('M', n), NumericEdit::kQuantityPattern, 16, rowTop(n), 50)->setTag(2);
        textField(rowName('B', n), 68, rowTop(n), 42);
        textField(rowName('C', n), 112, rowTop(n), 210);
        numberField(rowName('F', n), NumericEdit::kAmountPattern, 324, rowTop(n), 60)->setTag(2);
        NumericEdit* t = numberField(rowName('T', n), NumericEdit::kAmountPattern, 387, rowTop(n), 67);
        t->setTag(2);
        t->setFocusPolicy(Qt::ClickFocus);
    }
    const char* totals[] = {"YEKUN", "KDV", "TOPLAM"};
    for (int i = 0; i < 3; ++i)
        numberField(QString::fromLatin1(totals[i]), NumericEdit::kAmountPattern, 387, 327 + 19 * i, 67)
            ->setFocusPolicy(Qt::ClickFocus);
    textField(QStringLiteral("YALNIZ"), 59, 387, 392)->setFocusPolicy(Qt::ClickFocus);

    oran_ = new SpinEdit(0, 999, 18, this);
    oran_->setObjectName(QStringLiteral("ORAN"));
    oran_->setGeometry(403, 41, 49, 22);
    oran_->setTabStop(false);

    // Creation order is the tab order; only ORAN has to be placed after the last field.
    for (int i = 1; i < fields_.size(); ++i)
        setTabOrder(fields_[i - 1], fields_[i]);
    setTabOrder(fields_.last(), oran_->lineEdit());

    for (const CaptionSpec& c : kCaptions)
        addCaption(QString::fromUtf8(c.text), c.left, c.top, c.width, c.height, c.centred,
                   &c != &kCaptions[std::size(kCaptions) - 1]);

    buildUpDownRings();

    const auto recalculate = [this] { guarded(window(), [this] { RecalculateTotals(*this); }); };
    connect(this, &InvoicePage::recalculationField, this, recalculate);
    connect(oran_, &SpinEdit::textChanged, this, recalculate);
}

void InvoicePage::addField(QWidget* field, const QString& name, int left, int top, int width)
{
    field->setObjectName(name);
    field->setGeometry(left, top, width, kFieldHeight);
    if (auto* edit = qobject_cast<QLineEdit*>(field))
        edit->setFrame(false);
    field->setAutoFillBackground(true);
    setBackground(field, kBackground);
    fields_.append(field);
    connectFocusColouring(field);
}

void InvoicePage::addCaption(const QString& text, int left, int top, int width, int height, bool centred, bool filled)
{
    auto* label = new QLabel(text, this);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(left, top, width, height);
    if (filled) {
        fillBackground(label, QColor::fromRgb(QRgb(kCaptionColour)));
        label->setAlignment((centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
    } else {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
}

void InvoicePage::connectFocusColouring(QWidget* field)
{
    const auto entered = [field] { setBackground(field, 0xFFFFFF); };
    const auto left = [this, field] {
        setBackground(field, kBackground);
        if (auto* n = qobject_cast<NumericEdit*>(field); n && n->tag() == 2)
            emit recalculationField();
    };
    if (auto* n = qobject_cast<NumericEdit*>(field)) {
        connect(n, &NumericEdit::focusEntered, this, entered);
        connect(n, &NumericEdit::focusLeft, this, left);
    } else if (auto* t = qobject_cast<TextEdit*>(field)) {
        connect(t, &TextEdit::focusEntered, this, entered);
        connect(t, &TextEdit::focusLeft, this, left);
    }
}

void InvoicePage::buildUpDownRings()
{
    // Each column is a ring over the eight rows; the amounts and the three totals form one
    // ring of eleven. A unit field steps like the quantity of its row.
    const auto ring = [this](const QList<QWidget*>& order, const QList<QWidget*>& sources) {
        const int size = int(order.size());
        for (int i = 0; i < size; ++i)
            rings_.insert(sources[i], {order[(i + size - 1) % size], order[(i + 1) % size]});
    };
    const auto column = [this](char c) {
        QList<QWidget*> list;
        for (int n = 1; n <= 8; ++n)
            list.append(findChild<QWidget*>(rowName(c, n), Qt::FindDirectChildrenOnly));
        return list;
    };
    ring(column('M'), column('M'));
    ring(column('M'), column('B'));
    ring(column('C'), column('C'));
    ring(column('F'), column('F'));
    QList<QWidget*> amounts = column('T');
    amounts << numbers_.value(QStringLiteral("YEKUN")) << numbers_.value(QStringLiteral("KDV"))
            << numbers_.value(QStringLiteral("TOPLAM"));
    ring(amounts, amounts);
    for (QWidget* w : rings_.keys())
        w->installEventFilter(this);
}

bool InvoicePage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            const auto it = rings_.constFind(static_cast<QWidget*>(watched));
            if (it != rings_.constEnd()) {
                QWidget* target = key->key() == Qt::Key_Up ? it->first : it->second;
                target->setFocus(Qt::OtherFocusReason);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

TextEdit* InvoicePage::text(const QString& name) const { return texts_.value(name); }

NumericEdit* InvoicePage::number(const QString& name) const { return numbers_.value(name); }

QString InvoicePage::todayText()
{
    return QLocale().toString(platform().clock->today(), QLocale::ShortFormat);
}

bool InvoicePage::startNewInvoice()
{
    const QString question = QStringLiteral("\r\nYENİ KAYDA GEÇİLECEK.\r\n\r\nEKRANDAKİ BİLGİLER SİLİNECEK.");
    if (platform().boxes->askWarning(window(), question) == MessageBoxes::Answer::No)
        return false;
    for (TextEdit* t : std::as_const(texts_))
        t->clear();
    for (NumericEdit* n : std::as_const(numbers_))
        n->setValue(0);
    texts_.value(QStringLiteral("TARIH"))->setText(todayText());
    texts_.value(QStringLiteral("TARIH"))->setFocus(Qt::OtherFocusReason);
    return true;
}

} // namespace fatura
