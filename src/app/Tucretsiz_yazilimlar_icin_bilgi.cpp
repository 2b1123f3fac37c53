#include "Tucretsiz_yazilimlar_icin_bilgi.h"

#include "Links.h"
#include "Platform.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

// The information page is a resource of this static library; the linker only keeps it when
// something asks for it by name.
static void initResources() { Q_INIT_RESOURCE(app); }

namespace fatura {

Tucretsiz_yazilimlar_icin_bilgi::Tucretsiz_yazilimlar_icin_bilgi(QWidget* parent)
    : QWidget(parent, Qt::Window), view_(new QTextBrowser(this))
{
    initResources();
    setObjectName(QStringLiteral("ucretsiz_yazilimlar_icin_bilgi"));
    setWindowTitle(QStringLiteral("Bilgi:"));
    resize(697, 429);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    // Links on the page leave the program: the desktop's browser shows them.
    view_->setOpenLinks(false);
    connect(view_, &QTextBrowser::anchorClicked, this,
            [](const QUrl& url) { platform().shell->openUrl(url.toString()); });
}

void Tucretsiz_yazilimlar_icin_bilgi::showOrRaise()
{
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
}

void Tucretsiz_yazilimlar_icin_bilgi::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    view_->setSource(QUrl(QString::fromLatin1(kInformationPage)));
    view_->reload();
    ++loads_;
}

} // namespace fatura
