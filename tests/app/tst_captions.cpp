// Every caption of pages "FATURA" and "AYAR" shows whole in the face the main window gives
// them: its text fits its box, and an autosized caption does not run under the control beside it.
#include "ActiveWindow.h"
#include "FakePlatform.h"
#include "MainWindowFixture.h"
#include "LayoutPage.h"
#include "Tfatura_basimi.h"
#include "TurkishLocale.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <memory>

using namespace fatura;

namespace {

// Width a text needs to be drawn whole: its advance, or further where a glyph overhangs it.
int neededWidth(const QFont& font, const QString& text)
{
    const QFontMetrics metrics(font);
    return std::max(metrics.horizontalAdvance(text), metrics.boundingRect(text).right() + 1);
}

QString captionOf(QWidget* w)
{
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->text();
    return {};
}

// The captions of a page: labels, and buttons and check boxes that carry a text.
QList<QWidget*> captions(QWidget* page)
{
    QList<QWidget*> found;
    for (QWidget* w : page->findChildren<QWidget*>())
        if ((qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w)) && !captionOf(w).isEmpty())
            found << w;
    return found;
}

} // namespace

class TestCaptions : public QObject {
    Q_OBJECT

    testing::FakePlatform fakes;
    QTemporaryDir folder;
    std::unique_ptr<Tfatura_basimi> window;

    QWidget* page(const QString& name) const
    {
        for (int i = 0; i < window->pages()->count(); ++i)
            if (window->pages()->widget(i)->objectName() == name)
                return window->pages()->widget(i);
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        testing::pinTurkishLocale();
        window = std::make_unique<Tfatura_basimi>(programFolder(folder));
        // Shown once, so that the start-up steps put the default layout into the check boxes.
        QVERIFY(testing::showActive(*window));
        QVERIFY(fakes.boxes.shown.isEmpty());
    }
    void cleanupTestCase() { window.reset(); }

    void showsWhole_data()
    {
        QTest::addColumn<QString>("pageName");
        QTest::addColumn<QString>("caption");
        int rows = 0;
        for (const char* name : {"FATURA", "AYAR"}) {
            for (QWidget* w : captions(page(QLatin1String(name)))) {
                QTest::addRow("%s: %s", name, qPrintable(captionOf(w))) << QString::fromLatin1(name) << captionOf(w);
                ++rows;
            }
        }
        // 13 captions, 6 tool buttons and 3 links on FATURA; 15 labels, 2 text buttons and 43
        // check boxes on AYAR. Fewer would mean the search missed some.
        QVERIFY(rows >= 13 + 6 + 3 + 15 + 2 + 43);
    }

    void showsWhole()
    {
        QFETCH(QString, pageName);
        QFETCH(QString, caption);
        QWidget* on = page(pageName);
        QWidget* w = nullptr;
        for (QWidget* c : captions(on))
            if (captionOf(c) == caption)
                w = c;
        QVERIFY(w);

        if (auto* label = qobject_cast<QLabel*>(w)) {
            const int room = label->contentsRect().width() - 2 * label->margin() - std::max(label->indent(), 0);
            QVERIFY2(neededWidth(label->font(), caption) <= room,
                     qPrintable(QStringLiteral("needs %1, has %2").arg(neededWidth(label->font(), caption)).arg(room)));
            QVERIFY(QFontMetrics(label->font()).height() <= label->contentsRect().height() + 2);
        } else {
            // The room the style leaves the text: beside a check box's indicator, inside a tool
            // button's frame.
            int room = 0;
            if (auto* box = qobject_cast<QCheckBox*>(w)) {
                QStyleOptionButton option;
                option.initFrom(box);
                option.text = caption;
                room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width();
            } else {
                room = w->width() - 2 * w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
            }
            QVERIFY2(neededWidth(w->font(), caption) <= room,
                     qPrintable(QStringLiteral("needs %1, has %2").arg(neededWidth(w->font(), caption)).arg(room)));
        }

        // Nor does the box run under another control of the page, or off the page.
        const QRect box = w->geometry();
        QVERIFY2(on->rect().contains(box), qPrintable(QStringLiteral("%1 %2").arg(box.x()).arg(box.right())));
        for (QWidget* other : on->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other == w || other->isHidden() || !w->parentWidget() || other->parentWidget() != w->parentWidget())
                continue;
            QVERIFY2(!box.intersects(other->geometry()),
                     qPrintable(QStringLiteral("overlaps %1 at %2").arg(other->objectName(), QString::number(other->x()))));
        }
    }

    // The links name faces whose substitute already has their widths: they take the window's
    // face setting for the form captions in nothing but what they do not set themselves.
    void linksKeepTheirOwnWidths_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("pixels");
        QTest::newRow("information link") << "BILGI" << 12;
        QTest::newRow("home page link") << "ADRES" << 11;
        QTest::newRow("product page link") << "UCRETLI" << 11;
    }
    void linksKeepTheirOwnWidths()
    {
        QFETCH(QString, name);
        QFETCH(int, pixels);
        auto* link = window->findChild<QLabel*>(name);
        QVERIFY(link);
        QFont plain(QStringLiteral("Liberation Sans"));
        plain.setPixelSize(pixels);
        plain.setBold(true);
        QCOMPARE(link->width(), QFontMetrics(plain).size(Qt::TextSingleLine, link->text()).width());
    }
};

QTEST_MAIN(TestCaptions)
#include "tst_captions.moc"
