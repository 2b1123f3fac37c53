#pragma once
// The on-disk format of a table. Every number is little-endian. A "short string" is one length
// byte followed by that many code page 1254 characters, in a field of fixed width whose other
// bytes are zero (so it holds at most width - 1 characters).
//
// COMMON HEADER: the data file and the index file each begin with a 512-byte header block.
//
//   OFFSET  SIZE  DESCRIPTION
//        0     4  change counter, unsigned; +1 at every write of the block. Cursors compare it
//                 with the value they last saw to learn that someone else changed the table.
//        8     1  table version: 6
//        9    16  table signature: MD5 of "TESKAV_SIG"
//
// DATA FILE (name.dat)
//
//   Header, beyond the common fields:
//   OFFSET  SIZE  DESCRIPTION
//       25     4  head of the free slot chain: the most recently freed slot, 0 = none
//       29     4  next slot number: slots in the file + 1 (1 for a new table)
//       33     4  last assigned RecordID, signed (0 for a new table)
//       37     4  last assigned auto-increment value, signed (0 for a new table)
//       41     4  record count: slots in use
//       45     2  record length L
//       47     2  field count F, 1..1024
//       49     2  number of BLOB fields (tables with BLOB fields are refused)
//       51     4  BLOB block size
//       55     4  BLOB storage counter
//       59     4  index page size P (1024..65536, a multiple of 512)
//       63     8  time of the last header write: IEEE double, local days since 1899-12-30
//                 minus 693594
//      172     1  encrypted flag (encrypted tables are refused)
//      173    16  password digest
//      189     4  locale identifier: 0 = "ANSI Standard"
//   Every other byte is zero. Only bytes 0..70 change after the table is made, so a header
//   write covers just those.
//
//   Field descriptor i (1..F), 768 bytes at 512 + (i - 1) * 768:
//   OFFSET  SIZE  DESCRIPTION
//        0     2  field number i
//        2    61  name, short string, unique regardless of case
//       63    61  description, short string
//      164     1  type code      text 1, floating-point 7, 32-bit integer 6
//      165     1  subtype code   text 0 or 31 (fixed length), float 0 or 21 (currency),
//                                integer 0 or 29 (auto-increment)
//      166     2  declared size: characters of a text field, 1..512
//      168     1  scale (always 0 for the kinds stored here)
//      169     2  stored width W: text size + 1, floating-point 8, integer 4
//      172     2  offset of the field's null flag in the record; the value follows it
//      174     1  required flag
//      175     1  character case: 0 unchanged, 1 lower, 2 upper
//      176   101  minimum value, short string
//      277   101  maximum value, short string
//      378   101  default value, short string
//      479     1  BLOB compression level
//      480     1  computed flag (computed fields are refused)
//
//   Record slot n (from 1), L bytes at 512 + F * 768 + (n - 1) * L. The file is exactly
//   512 + F * 768 + (next slot number - 1) * L bytes long; a shorter file is damaged.
//   OFFSET  SIZE  DESCRIPTION
//        0     1  state: 0 = in use, 1 = deleted
//        1     4  in use: n itself; deleted: the next slot of the free chain, 0 at its end
//        5     4  RecordID, signed
//        9    16  RecordHash: MD5 of bytes 25 .. L - 1
//       25     …  user fields in field order, each a null flag (0 null, 1 present) and W bytes
//   L = 25 + sum(W + 1), rounded up to a multiple of 8, below 65535.
//   Values: text is its characters then zero bytes (at least one), never empty, no trailing
//   blanks unless fixed-length; a double is its 8 bytes; an integer 4 bytes; a null field is
//   all zero. A deleted slot keeps its old bytes beyond offset 5.
//
// INDEX FILE (name.idx)
//
//   Header, beyond the common fields:
//   OFFSET  SIZE  DESCRIPTION
//       25     4  head of the chain of free pages, 0 = none
//       29     4  next page number: pages in the file + 1 (1 for a new index file)
//       33     1  number of secondary indexes S, 0..30
//
//   Index descriptors, 768 bytes each at 512 + k * 768: k = 0 the primary index, 1..S the
//   secondary indexes, 31 the (unused) full-text slot named "Sys Text".
//   OFFSET  SIZE  DESCRIPTION
//        0    61  name, short string (empty for the primary index)
//      126     1  descending flag
//      127     1  case-insensitive flag: text keys compare upper-cased
//      128     1  unique flag (the primary index is unique whatever it says)
//      130     1  number of key fields K, 1..128
//      131   128  per key field: descending flag
//      259   256  per key field: field number, signed 16-bit; -1 = RecordID
//      515     4  root page of the index's B-tree, 0 = no page yet
//
//   Journal fields of the header (bytes 36..79; all zero in a table without a journal ring):
//   OFFSET  SIZE  DESCRIPTION
//       36     4  "TJRN" when the file holds a journal ring
//       40     8  byte offset of the ring in this file: the start of one of its pages
//       48     4  length of the ring in bytes: a whole number of pages
//       52     4  sequence number of the first record after the last checkpoint
//       56     4  the data file's change counter at the last checkpoint
//       60     1  1 while the indexes are being rebuilt, else 0
//       64    16  MD5 of bytes 36..63
//   The ring's pages count among the pages of the file but belong to no index and to no
//   chain of free pages.
//
//   Journal record, from the ring's start on, one after the other, each a multiple of 8 long:
//   OFFSET  SIZE  DESCRIPTION
//        0     4  "TJRC"
//        4     4  sequence number: the first after a checkpoint has the header's, then +1 each
//        8     4  length of the record in bytes
//       12     4  the data file's change counter once the change is made
//       16    16  zero
//       32     …  writes, each: file (0 data, 1 index), 3 zero bytes, length n (4), offset in
//                 the file (8), then the n bytes and zero bytes up to a multiple of 8
//   L - 16    16  MD5 of bytes 0 .. length - 17
//   The records of the ring that follow on from the header's sequence number without a gap,
//   each whole and with its digest right, are the changes made since the last checkpoint.
//
//   Page n (from 1), P bytes at 25088 + (n - 1) * P. The file is exactly
//   25088 + (next page number - 1) * P bytes long. Each index is a B+-tree: all entries in
//   leaves, interior pages hold separators; entries are unique and ordered by key, then
//   RecordID, then slot.
//   OFFSET  SIZE  DESCRIPTION
//        0     1  kind: 1 leaf, 2 interior, 3 free
//        1     1  index descriptor slot k the page belongs to
//        2     2  entry count
//        4     4  interior: child page of the keys below the first separator;
//                 free: next free page, 0 at the end of the chain; leaf: 0
//        8     …  leaf: entries of E bytes; interior: separator entries of E bytes, each
//                 followed by the 4-byte child page of the keys from it up to the next one
//   Entry (E bytes): per key field its null flag and W value bytes as in the record (RecordID:
//   4 bytes, no flag), then RecordID (4) and slot number (4).
//
// LOCK FILE (teskav.lck, one per folder)
//   OFFSET  SIZE  DESCRIPTION
//        0     4  change counter: +1 at every write, 2147483647 is followed by 1
//        4     4  M: length of the table list + 4
//        8 M - 4  table names as short strings without padding, in the order entered; an
//                 entry's position (from 1) is the table's slot number for locking
//   Every process reads and writes it whole under a one-byte lock at 4294967294: shared to
//   read, exclusive to write.
//
// BYTE-RANGE LOCKS on the data file, all beyond any real file content (open-file-description
// locks, so two opens in one process conflict as two processes do)
//   OFFSET                   SIZE       DESCRIPTION
//   4094967294                  1       reading: shared by a reader for one operation,
//                                       exclusive by the holder of the table write lock while it
//                                       writes, so no reader sees a change half-written; just
//                                       below the write lock, so a writer takes both at once
//   4094967295          200000000       table write lock, exclusive, held during an insert, a
//                                       change or a delete; covers every record lock
//   4294967295 - slot           1       record lock, exclusive, held from Edit to Post or Cancel
//   4294967295                  1       sharing: shared by every open, exclusive by an
//                                       exclusive one

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace fatura::engine::format {

static_assert(std::endian::native == std::endian::little,
              "the file format is little-endian and read by plain copies");

inline constexpr std::uint32_t kHeaderSize = 512;
inline constexpr std::uint8_t kVersion = 6;
inline constexpr std::string_view kSignatureText = "TESKAV_SIG";
inline constexpr std::uint32_t kDescriptorSize = 768;
inline constexpr std::uint32_t kMaxFields = 1024;
inline constexpr std::uint32_t kMaxTextSize = 512;
inline constexpr std::uint32_t kMaxRecordLength = 65534;
inline constexpr std::uint32_t kMaxSlots = 200000000;
inline constexpr std::uint64_t kMaxDataFileBytes = 4000000000ULL;
inline constexpr std::int32_t kMaxCounter = 2147483647;
inline constexpr double kDateDelta = 693594.0;

// Common header
inline constexpr std::uint32_t kChangeCounter = 0;
inline constexpr std::uint32_t kVersionByte = 8;
inline constexpr std::uint32_t kSignature = 9;

// Data header
inline constexpr std::uint32_t kFreeHead = 25;
inline constexpr std::uint32_t kNextSlot = 29;
inline constexpr std::uint32_t kLastRecordId = 33;
inline constexpr std::uint32_t kLastAutoInc = 37;
inline constexpr std::uint32_t kRecordCount = 41;
inline constexpr std::uint32_t kRecordLength = 45;
inline constexpr std::uint32_t kFieldCount = 47;
inline constexpr std::uint32_t kBlobFieldCount = 49;
inline constexpr std::uint32_t kBlobBlockSize = 51;
inline constexpr std::uint32_t kBlobCounter = 55;
inline constexpr std::uint32_t kPageSize = 59;
inline constexpr std::uint32_t kWriteTime = 63;
inline constexpr std::uint32_t kDataHeaderDynamicEnd = 71; // bytes 0..70 change after creation
inline constexpr std::uint32_t kEncrypted = 172;
inline constexpr std::uint32_t kPasswordDigest = 173;
inline constexpr std::uint32_t kLocale = 189;

// Field descriptor
inline constexpr std::uint32_t kFdNumber = 0;
inline constexpr std::uint32_t kFdName = 2;
inline constexpr std::uint32_t kFdDescription = 63;
inline constexpr std::uint32_t kNameWidth = 61;
inline constexpr std::uint32_t kFdType = 164;
inline constexpr std::uint32_t kFdSubtype = 165;
inline constexpr std::uint32_t kFdSize = 166;
inline constexpr std::uint32_t kFdScale = 168;
inline constexpr std::uint32_t kFdWidth = 169;
inline constexpr std::uint32_t kFdOffset = 172;
inline constexpr std::uint32_t kFdRequired = 174;
inline constexpr std::uint32_t kFdCharCase = 175;
inline constexpr std::uint32_t kFdMin = 176;
inline constexpr std::uint32_t kFdMax = 277;
inline constexpr std::uint32_t kFdDefault = 378;
inline constexpr std::uint32_t kValueWidth = 101;
inline constexpr std::uint32_t kFdCompression = 479;
inline constexpr std::uint32_t kFdComputed = 480;

inline constexpr std::uint8_t kTypeText = 1;
inline constexpr std::uint8_t kTypeInteger = 6;
inline constexpr std::uint8_t kTypeFloat = 7;
inline constexpr std::uint8_t kSubtypeFixedText = 31;
inline constexpr std::uint8_t kSubtypeCurrency = 21;
inline constexpr std::uint8_t kSubtypeAutoInc = 29;

// Record slot
inline constexpr std::uint32_t kSlotState = 0;
inline constexpr std::uint32_t kSlotLink = 1;
inline constexpr std::uint32_t kSlotRecordId = 5;
inline constexpr std::uint32_t kSlotHash = 9;
inline constexpr std::uint32_t kSlotFields = 25;
inline constexpr std::uint8_t kSlotInUse = 0;
inline constexpr std::uint8_t kSlotDeleted = 1;

// Index header and descriptors
inline constexpr std::uint32_t kIxFreePageHead = 25;
inline constexpr std::uint32_t kIxNextPage = 29;
inline constexpr std::uint32_t kIxSecondaryCount = 33;
inline constexpr std::uint32_t kIxHeaderDynamicEnd = 34;
inline constexpr std::uint32_t kJnMagic = 36;
inline constexpr std::uint32_t kJnRingOffset = 40;
inline constexpr std::uint32_t kJnRingBytes = 48;
inline constexpr std::uint32_t kJnFirstSeq = 52;
inline constexpr std::uint32_t kJnStamp = 56;
inline constexpr std::uint32_t kJnState = 60;
inline constexpr std::uint32_t kJnDigest = 64;
inline constexpr std::uint32_t kJnEnd = 80;
inline constexpr std::uint32_t kJournalMagic = 0x4E524A54; // "TJRN"
inline constexpr std::uint32_t kJrMagic = 0;
inline constexpr std::uint32_t kJrSeq = 4;
inline constexpr std::uint32_t kJrLength = 8;
inline constexpr std::uint32_t kJrCounter = 12;
inline constexpr std::uint32_t kJrDigestSize = 16; // the record's last bytes
inline constexpr std::uint32_t kJrItems = 32;
inline constexpr std::uint32_t kRecordMagic = 0x43524A54; // "TJRC"
inline constexpr std::uint32_t kJiFile = 0;
inline constexpr std::uint32_t kJiLength = 4;
inline constexpr std::uint32_t kJiOffset = 8;
inline constexpr std::uint32_t kJiBytes = 16;
inline constexpr std::uint32_t kMaxSecondaryIndexes = 30;
inline constexpr std::uint32_t kFullTextSlot = 31;
inline constexpr std::string_view kFullTextName = "Sys Text";
inline constexpr std::uint32_t kIndexAreaSize = 24576;
inline constexpr std::uint32_t kPagesOffset = kHeaderSize + kIndexAreaSize; // 25088
inline constexpr std::uint32_t kIdName = 0;
inline constexpr std::uint32_t kIdDescending = 126;
inline constexpr std::uint32_t kIdCaseInsensitive = 127;
inline constexpr std::uint32_t kIdUnique = 128;
inline constexpr std::uint32_t kIdKeyCount = 130;
inline constexpr std::uint32_t kIdKeyDescending = 131;
inline constexpr std::uint32_t kIdKeyFields = 259;
inline constexpr std::uint32_t kIdRoot = 515;
inline constexpr std::uint32_t kMaxKeyFields = 128;

// Index page
inline constexpr std::uint32_t kMinPageSize = 1024;
inline constexpr std::uint32_t kMaxPageSize = 65536;
inline constexpr std::uint32_t kPgKind = 0;
inline constexpr std::uint32_t kPgIndex = 1;
inline constexpr std::uint32_t kPgCount = 2;
inline constexpr std::uint32_t kPgLink = 4;
inline constexpr std::uint32_t kPgEntries = 8;
inline constexpr std::uint8_t kPageLeaf = 1;
inline constexpr std::uint8_t kPageInterior = 2;
inline constexpr std::uint8_t kPageFree = 3;
// Fewer entries per page than this and the tree degenerates; such an index is refused.
inline constexpr std::uint32_t kMinEntriesPerPage = 4;

// Lock file
inline constexpr std::string_view kLockFileName = "teskav.lck";
inline constexpr std::uint32_t kMaxTables = 4096;
inline constexpr std::uint64_t kLockFileGuardByte = 4294967294ULL;

// Byte-range locks on the data file
inline constexpr std::uint64_t kRecordLockBase = 4294967295ULL; // a slot's byte: base - slot
inline constexpr std::uint64_t kWriteLockLength = 200000000ULL;
inline constexpr std::uint64_t kWriteLockStart = kRecordLockBase - kWriteLockLength;
inline constexpr std::uint64_t kReadingByte = kWriteLockStart - 1;

// Little-endian access by plain copies (the host is little-endian, checked above).
template <typename T>
inline T get(const void* base, std::size_t offset)
{
    T v;
    std::memcpy(&v, static_cast<const unsigned char*>(base) + offset, sizeof v);
    return v;
}

template <typename T>
inline void put(void* base, std::size_t offset, T v)
{
    std::memcpy(static_cast<unsigned char*>(base) + offset, &v, sizeof v);
}

// A short string of a field of the given width; nullopt-like false when its length byte does
// not fit the width.
bool getShortString(const unsigned char* field, std::size_t width, std::string& out);
// Writes text (cut to width - 1) as a short string, zero-filling the rest of the field.
void putShortString(unsigned char* field, std::size_t width, std::string_view text);

// The MD5 digest of the signature text, 16 bytes.
const unsigned char* signatureDigest();

} // namespace fatura::engine::format

namespace fatura::engine::format {

// The checks every table file's header block passes first, in this order: the version
// (below 7: 12035, else 12036 unless it is 6), then the signature (12036).
void checkVersionAndSignature(const unsigned char* header, const std::string& table);

} // namespace fatura::engine::format
