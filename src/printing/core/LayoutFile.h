#pragma once
// The layout settings file "fatura_ayar.ini" in the program folder: created from the built-in
// default when missing, read once at start, written on request. Text in the file is code page
// 1254; the captions it is read into and written from are QStrings, indexed like kLayoutTable.

#include "LayoutTable.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <utility>
#include <vector>

namespace fatura {

class ProfileText;

using LayoutCaptions = std::array<QString, kLayoutEntries>;

inline constexpr char kLayoutFileName[] = "fatura_ayar.ini";

// A value longer than this is cut when read, as a fixed read buffer would cut it; no position
// text comes near it, and a caption of megabytes would only stall the page.
inline constexpr qsizetype kMaxLayoutValueBytes = 2047;

// programFolder with or without its trailing separator.
QString layoutFilePath(const QString& programFolder);

// The built-in default file, byte for byte.
QByteArray defaultLayoutFile();

// Creates the settings file from the built-in default unless a file is already there; an
// existing file is never touched. Throws FileError "Cannot create file "<path>". <reason>"
// when it cannot be created, leaving no partial file behind.
void EnsureLayoutFile(const QString& programFolder);

// The value of every key, exactly as read (not normalised), with the fallback of the entry for
// a key that is absent. A missing, empty or unreadable file gives the fallbacks; never throws.
LayoutCaptions ReadLayoutFile(const QString& programFolder);
// The same from a settings text already in memory.
LayoutCaptions layoutCaptions(const ProfileText& text);

// Writes every caption under its key, in the check boxes' creation order, in one replacement
// of the file; see writeProfileStrings for what is kept and the "Unable to write to" failure.
void WriteLayoutFile(const QString& programFolder, const LayoutCaptions& captions);
// The (key, code page 1254 value) pairs WriteLayoutFile writes, in the order it writes them.
std::vector<std::pair<QByteArray, QByteArray>> layoutKeyValues(const LayoutCaptions& captions);

} // namespace fatura
