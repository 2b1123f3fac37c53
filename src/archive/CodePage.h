#pragma once
// Texts cross into the table as code page 1254 bytes and come back from it the same way.

#include <QString>

#include <string>
#include <string_view>

namespace fatura::archive {

QString fromCp1254(std::string_view bytes);
// Throws std::invalid_argument naming what when text holds a character the code page lacks:
// storing a substitute would put into the archive something the user never typed.
std::string toCp1254(const QString& text, std::string_view what);
// The same, false instead of throwing.
bool tryCp1254(const QString& text, std::string& bytes);

} // namespace fatura::archive
