#pragma once
// Reading and writing whole files in the settings-file tests, and catching the error text.
#include "FileError.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtTest>
#include <functional>

namespace fatura::testing {

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

inline void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// The message of the FileError the action raised, or "<no error>".
inline QString errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const FileError& e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("<no error>");
}

} // namespace fatura::testing
