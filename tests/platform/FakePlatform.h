#pragma once
// Scripted stand-ins for the desktop services: they record what the program showed or
// started and answer questions as the test told them to.

#include "Platform.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

namespace fatura::testing {

struct ShownBox {
    enum Kind { Ask, Warn, Error, Confirm } kind;
    QString title;
    QString text;
};

class FakeBoxes final : public MessageBoxes {
public:
    QList<ShownBox> shown;
    QList<Answer> answers; // consumed front first; Closed when empty

    Answer askWarning(QWidget*, const QString& text) override
    {
        shown.append({ShownBox::Ask, QStringLiteral("Warning"), text});
        return answers.isEmpty() ? Answer::Closed : answers.takeFirst();
    }
    void warn(QWidget*, const QString& text) override { shown.append({ShownBox::Warn, QStringLiteral("Warning"), text}); }
    void error(QWidget*, const QString& title, const QString& text) override
    {
        shown.append({ShownBox::Error, title, text});
    }
    Answer confirm(QWidget*, const QString& text) override
    {
        shown.append({ShownBox::Confirm, QStringLiteral("Confirm"), text});
        return answers.isEmpty() ? Answer::Closed : answers.takeFirst();
    }
};

class FakeBeeper final : public Beeper {
public:
    int beeps = 0;
    void beep() override { ++beeps; }
};

class FakeClock final : public Clock {
public:
    QDate date{2026, 3, 7};
    QDate today() const override { return date; }
};

class FakeShell final : public Shell {
public:
    QStringList started; // path followed by its arguments, joined by '|'
    QStringList urls;
    bool startProgram(const QString& path, const QStringList& arguments) override
    {
        started.append((QStringList{path} + arguments).join(QLatin1Char('|')));
        return true;
    }
    bool openUrl(const QString& url) override
    {
        urls.append(url);
        return true;
    }
};

// Every fake at once, installed for the lifetime of the object.
struct FakePlatform {
    FakeBoxes boxes;
    FakeBeeper beeper;
    FakeClock clock;
    FakeShell shell;
    ScopedPlatform scope{Platform{&boxes, &beeper, &clock, &shell}};
};

} // namespace fatura::testing
