#include "Platform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QUrl>

namespace fatura {
namespace {

class DesktopBoxes final : public MessageBoxes {
public:
    Answer askWarning(QWidget* parent, const QString& text) override
    {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::NoButton, parent);
        QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        // The box would count its close box as the escape button; only Escape and a click
        // answer No, a closed box is an answer of its own.
        ClosedWatch closed;
        box.installEventFilter(&closed);
        box.exec();
        if (closed.closedWithoutAnswer)
            return Answer::Closed;
        if (box.clickedButton() == yes)
            return Answer::Yes;
        if (box.clickedButton() == no)
            return Answer::No;
        return Answer::Closed;
    }

private:
    // Sees a close request before the box turns it into a click of its escape button.
    struct ClosedWatch : QObject {
        bool closedWithoutAnswer = false;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Close && !static_cast<QMessageBox*>(watched)->clickedButton())
                closedWithoutAnswer = true;
            return false;
        }
    };

    void warn(QWidget* parent, const QString& text) override
    {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok, parent);
        box.exec();
    }

    void error(QWidget* parent, const QString& title, const QString& text) override
    {
        QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
        box.exec();
    }

    Answer confirm(QWidget* parent, const QString& text) override
    {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::NoButton, parent);
        QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() == ok)
            return Answer::Yes;
        if (box.clickedButton() == cancel)
            return Answer::No;
        return Answer::Closed;
    }
};

class DesktopBeeper final : public Beeper {
public:
    void beep() override { QApplication::beep(); }
};

class SystemClock final : public Clock {
public:
    QDate today() const override { return QDate::currentDate(); }
};

class DesktopShell final : public Shell {
public:
    bool startProgram(const QString& path, const QStringList& arguments) override
    {
        return QProcess::startDetached(path, arguments);
    }
    bool openUrl(const QString& url) override { return QDesktopServices::openUrl(QUrl(url)); }
};

Platform& current()
{
    static DesktopBoxes boxes;
    static DesktopBeeper beeper;
    static SystemClock clock;
    static DesktopShell shell;
    static Platform p{&boxes, &beeper, &clock, &shell};
    return p;
}

} // namespace

Platform& platform() { return current(); }

ScopedPlatform::ScopedPlatform(const Platform& replacement) : saved_(current())
{
    Platform& p = current();
    if (replacement.boxes) p.boxes = replacement.boxes;
    if (replacement.beeper) p.beeper = replacement.beeper;
    if (replacement.clock) p.clock = replacement.clock;
    if (replacement.shell) p.shell = replacement.shell;
}

ScopedPlatform::~ScopedPlatform() { current() = saved_; }

QString applicationTitle() { return QStringLiteral("Fatura"); }

QString withFullStop(const QString& text)
{
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

void showStandardError(QWidget* parent, const QString& text)
{
    platform().boxes->error(parent, applicationTitle(), withFullStop(text));
}

} // namespace fatura
