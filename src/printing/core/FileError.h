#pragma once
// A settings file that could not be created or written. what() is the message for the user,
// UTF-8, as the application's error guard expects.

#include <QString>

#include <stdexcept>

namespace fatura {

class FileError : public std::runtime_error {
public:
    explicit FileError(const QString& message) : std::runtime_error(message.toUtf8().toStdString()) {}
};

} // namespace fatura
