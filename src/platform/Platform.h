#pragma once
// Desktop services the program's behaviour depends on, behind small interfaces so that tests
// can script them: message boxes, the beep, today's date and the shell's "Open".
//
// Production code reaches them through fatura::platform(); tests swap in fakes with
// ScopedPlatform (tests/platform/FakePlatform.h). Regional settings are not here: they are
// QLocale's default locale (QLocale::system() in production, a pinned Turkish one in tests).

#include <QDate>
#include <QString>
#include <QStringList>

class QWidget;

namespace fatura {

// Modal message boxes with the toolkit's English captions and buttons.
class MessageBoxes {
public:
    enum class Answer { Yes, No, Closed };
    virtual ~MessageBoxes() = default;
    // "Warning" box, buttons "&Yes" (default) and "&No" (answers Escape).
    virtual Answer askWarning(QWidget* parent, const QString& text) = 0;
    // "Warning" box with one "OK".
    virtual void warn(QWidget* parent, const QString& text) = 0;
    // Error icon, the given title, one "OK".
    virtual void error(QWidget* parent, const QString& title, const QString& text) = 0;
    // "Confirm" box with a question icon, buttons "OK" (default; answers Yes) and "Cancel"
    // (answers No and Escape).
    virtual Answer confirm(QWidget* parent, const QString& text) = 0;
};

class Beeper {
public:
    virtual ~Beeper() = default;
    virtual void beep() = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDate today() const = 0;
};

class Shell {
public:
    virtual ~Shell() = default;
    // Starts a program (no shell involved) without waiting for it; false when it could not start.
    virtual bool startProgram(const QString& path, const QStringList& arguments) = 0;
    // Opens a web address in the desktop's browser; the result is not reported to the user.
    virtual bool openUrl(const QString& url) = 0;
};

struct Platform {
    MessageBoxes* boxes = nullptr;
    Beeper* beeper = nullptr;
    Clock* clock = nullptr;
    Shell* shell = nullptr;
};

// The services in use; never null members. Defaults to the real desktop services.
Platform& platform();

// Installs other services for the lifetime of this object (tests), restoring the previous ones.
class ScopedPlatform {
public:
    explicit ScopedPlatform(const Platform& replacement);
    ~ScopedPlatform();
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

private:
    Platform saved_;
};

// The application title the standard error box carries.
QString applicationTitle();

// The standard error box: the text with a full stop appended unless it already ends in one
// (or in a character that sorts before it), the application title, error icon, one "OK".
QString withFullStop(const QString& text);
void showStandardError(QWidget* parent, const QString& text);

} // namespace fatura

#include <QObject>
#include <QWidget>

#include <exception>
#include <utility>

namespace fatura {

// Text of an error for the user; errors carry their message as UTF-8 in what().
inline QString errorText(const std::exception& e) { return QString::fromUtf8(e.what()); }

// Every user action runs through here: an error ends the action and reaches the standard
// error box. Returns false when the action failed.
template <class Action>
bool guarded(QWidget* parent, Action&& action)
{
    try {
        std::forward<Action>(action)();
        return true;
    } catch (const std::exception& e) {
        showStandardError(parent, errorText(e));
    } catch (...) {
        showStandardError(parent, QStringLiteral("Unknown error"));
    }
    return false;
}

// Connects signal of sender to action, run through guarded() with context's window as the
// parent of the error box. Every button and search box is wired through here so that no user
// action can escape the standard error box. Arguments of the signal are not passed on.
template <class Sender, class Signal, class Action>
QMetaObject::Connection connectGuarded(Sender* sender, Signal signal, QWidget* context, Action action)
{
    return QObject::connect(sender, signal, context, [context, action = std::move(action)] {
        guarded(context->window(), action);
    });
}

} // namespace fatura
