// "YENİ" with the desktop's own question box, not a scripted one: what each way of answering
// or dismissing the real box does to the invoice on the page.
#include "ActiveWindow.h"
#include "FakePlatform.h"
#include "MainWindowFixture.h"
#include "InvoicePage.h"
#include "NumericEdit.h"
#include "TextEdit.h"
#include "Tfatura_basimi.h"
#include "TurkishLocale.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <QtTest>
#include <functional>

using namespace fatura;

class TestNewInvoiceBox : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { testing::pinTurkishLocale(); }

    void answers_data();
    void answers();
};

void TestNewInvoiceBox::answers_data()
{
    using Dismiss = std::function<void(QMessageBox*)>;
    QTest::addColumn<Dismiss>("dismiss");
    QTest::addColumn<bool>("cleared");

    const auto clickButton = [](const char* caption) {
        return Dismiss([caption](QMessageBox* box) {
            for (QAbstractButton* b : box->buttons())
                if (b->text() == QLatin1String(caption))
                    b->click();
        });
    };
    QTest::newRow("Yes clears") << clickButton("&Yes") << true;
    QTest::newRow("No keeps") << clickButton("&No") << false;
    QTest::newRow("Escape answers No") << Dismiss([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); })
                                       << false;
    // The title bar's close box goes through the window system as a close request.
    QTest::newRow("close box goes on and clears")
        << Dismiss([](QMessageBox* box) { box->windowHandle()->close(); }) << true;
}

void TestNewInvoiceBox::answers()
{
    QFETCH(std::function<void(QMessageBox*)>, dismiss);
    QFETCH(bool, cleared);

    // The real message boxes; everything else scripted.
    testing::FakeBeeper beeper;
    testing::FakeClock clock;
    testing::FakeShell shell;
    ScopedPlatform scope(Platform{nullptr, &beeper, &clock, &shell});

    QTemporaryDir folder;
    Tfatura_basimi window(programFolder(folder));
    QVERIFY(testing::showActive(window));
    InvoicePage* page = window.invoicePage();
    page->text("SAYIN1")->setText(QStringLiteral("MÜŞTERİ"));
    page->number("F2")->setValue(12.5L);

    bool seen = false;
    QString question;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || seen || !box->isVisible())
            return;
        seen = true;
        question = box->text();
        dismiss(box);
    });
    poll.start();
    window.toolButton(QStringLiteral("YENİ"))->click();
    poll.stop();

    QVERIFY(seen);
    QCOMPARE(question, QStringLiteral("\r\nYENİ KAYDA GEÇİLECEK.\r\n\r\nEKRANDAKİ BİLGİLER SİLİNECEK."));
    QCOMPARE(page->text("SAYIN1")->text().isEmpty(), cleared);
    QCOMPARE(page->number("F2")->storedValue() == 0, cleared);
}

QTEST_MAIN(TestNewInvoiceBox)
#include "tst_newinvoicebox.moc"
