#pragma once
// Settings files in the private-profile form: lines ending in CR LF (a lone LF is read too),
// ";" comment lines, "[SECTION]" headers and "KEY=value" lines. Text is kept as raw bytes
// (the caller decides the code page), so every line this layer does not change stays
// byte for byte as it was.
//
// The rules, which the layout file depends on:
//  - section and key names are matched without regard to ASCII letter case;
//  - blanks around a name or a value are not part of it, and a value ends at a NUL byte;
//  - only the first section of a name counts, and within it the first line of a key;
//    lines without "=" and lines before the first header are never keys;
//  - writing a key that exists replaces its value where it stands (the text up to the
//    "=" and the blanks after it stay); an absent key is added after the last key line of
//    its section, or right after the header when the section has no keys; an absent
//    section is added at the end of the file. New lines end in CR LF.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <utility>
#include <vector>

namespace fatura {

class ProfileText {
public:
    ProfileText() = default;
    explicit ProfileText(QByteArray bytes) : bytes_(std::move(bytes)) {}

    const QByteArray& bytes() const { return bytes_; }

    // The value of key in section, or fallback when the section or the key is absent.
    QByteArray value(QByteArrayView section, QByteArrayView key, QByteArrayView fallback) const;

    // Throws std::invalid_argument for a name that could not be read back as the same name
    // (empty, holding a line break, "=" in a key, "]" in a section) or a value holding a line
    // break or a NUL byte.
    void setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value);

private:
    QByteArray bytes_;
};

// The file at path, or an empty text when there is no such file or it cannot be read:
// reading never fails, the caller's fallbacks take over.
ProfileText readProfileFile(const QString& path);

QByteArray readProfileString(const QString& path, QByteArrayView section, QByteArrayView key,
                             QByteArrayView fallback);

// Writes all pairs, in order, in one replacement of the file (created when absent): either
// every value is written or the file is left as it was. The new content goes to a temporary
// file beside it that then takes the file's place, so a failure midway never leaves a
// truncated file; only in a folder where no file can be created is the file rewritten in place.
// Throws FileError "Unable to write to <path>" when the file cannot be read back whole, is
// marked read-only (no write permission for anyone, which binds even the superuser), or the
// new content cannot be stored.
void writeProfileStrings(const QString& path, QByteArrayView section,
                         const std::vector<std::pair<QByteArray, QByteArray>>& keyValues);

void writeProfileString(const QString& path, QByteArrayView section, QByteArrayView key, QByteArrayView value);

} // namespace fatura
