#pragma once
// The preview window's own page file: the produced pages exactly as they were laid out, so that
// a page opened later prints and shows as it did when it was saved, whatever the layout has
// become since. Extension ".fsd".
//
// Byte order: little-endian throughout. Reals are IEEE 754 binary64; texts are UTF-8 preceded by
// their length in bytes. Lengths are tenths of a millimetre, as in Page.h.
//
// File header, 32 bytes:
//
//   OFFSET  SIZE  DESCRIPTION
//        0     8  Magic "FSAYFA\r\n" (the CR LF shows a transfer that rewrote line ends)
//        8     2  Format version, 1
//       10     2  Reserved, 0
//       12     4  Page count N, 1 ... 1000
//       16     4  Body length B in bytes: everything after the header; the file is 32 + B long
//       20    12  First 12 bytes of the MD5 digest of the body
//
// Body: N pages, one after the other. A page:
//
//   SIZE  DESCRIPTION
//      8  Sheet width (> 0)
//      8  Sheet height (> 0)
//      8  Font size in points (> 0)
//      4  Length F of the font family in bytes, then F bytes of UTF-8
//      4  Label count K, 0 ... 10000
//      K  labels, in the order they are painted
//
// A label:
//
//   SIZE  DESCRIPTION
//      8  Left of the text box, from the sheet's left edge
//      8  Top of the text box, from the sheet's top edge
//      8  Box width of a right-aligned label (>= 0; 0 for a left-aligned one)
//      1  Flags: bit 0 set = right-aligned; the other bits are 0
//      4  Length T of the text in bytes, then T bytes of UTF-8 (CR and LF kept as given)
//
// Every real must be finite. A reader refuses a file that breaks any rule above, a newer
// version, and bytes left over after the last page: a page file that does not read back
// exactly is not trusted to print an invoice.

#include "Page.h"

#include <QByteArray>
#include <QString>

#include <stdexcept>
#include <vector>

namespace fatura::report {

inline constexpr char kPageFileSuffix[] = "fsd";

// Why a page file was refused; the message is what the user reads.
class PageFileError : public std::runtime_error {
public:
    enum class Kind { Unreadable, NotAPageFile, NewerVersion, Damaged, Unwritable };
    PageFileError(Kind kind, const QString& message);
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

QByteArray encodePages(const std::vector<Page>& pages);
// Throws PageFileError (NotAPageFile, NewerVersion or Damaged); never reads outside the bytes.
std::vector<Page> decodePages(const QByteArray& bytes);

// Writes the whole file or nothing (an existing file is kept until the new one is complete).
// Throws PageFileError::Unwritable.
void savePageFile(const QString& path, const std::vector<Page>& pages);
// Throws PageFileError.
std::vector<Page> loadPageFile(const QString& path);

} // namespace fatura::report
