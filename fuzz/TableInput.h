#pragma once
// One input of the table fuzz target: the bytes of a table folder (data file, index file,
// lock file) and a short script of cursor operations to run on it.
//
//   OFFSET  SIZE  DESCRIPTION
//        0     1  flags (TableInput::Flag)
//        1     1  script length S
//        2     S  script (see FuzzTable.cpp)
//    2 + S     4  data file length D, then D bytes
//        …     4  index file length I, then I bytes
//        …     4  with PagedIndex only: length of the index pages P, then P bytes
//        …     …  the rest: the lock file
// A length beyond the bytes left takes what is left.
//
// PagedIndex keeps inputs small: a real index file spends 24576 mostly-zero bytes on its
// descriptor area before the first page. With the flag, the I bytes are laid over that area as
// a new index file has it (zeros, the full-text slot's name), and the P page bytes follow at
// offset 25088.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace fatura::fuzz {

struct TableInput {
    enum Flag : std::uint8_t {
        NoIndexFile = 1,  // the folder has no .idx (the open rebuilds it)
        NoLockFile = 2,   // the folder has no teskav.lck (the open makes it)
        ReadOnly = 4,     // the cursor is opened read-only
        Exclusive = 8,    // the cursor is opened exclusively
        PagedIndex = 16,  // the index file is given as descriptor area + pages
    };

    // Script operations, each one byte (value % kOps) and its arguments (FuzzTable.cpp).
    enum Op : std::uint8_t {
        First,        //
        Next,         // steps
        Last,         //
        Prior,        // steps
        MoveBy,       // signed distance
        Locate,       // field, mode (bit 0 case-insensitive, bit 1 partial), text
        AppendPost,   // field count n, then for fields 1..n: null selector (0 mod 4 = null), text
        EditPost,     // field, text (empty = null)
        Delete,       //
        GotoRecordId, // 4 bytes
        EditCancel,   // field, text: set, then moved away from, which posts it
        Reopen,       // a second, read-only cursor on the same table walks it
        Rival,        // what (0 delete, 1 edit+post, 2 append), field, text: while this cursor
                      // edits its record, a second cursor changes the table; then this one posts
        Tamper,       // file (bits 0-1: data, index, lock; bit 2: also move its change counter),
                      // offset (2 bytes, taken modulo the file's length), byte: another
                      // process writes one byte into the file in place
        kOps
    };

    std::uint8_t flags = 0;
    std::string script;
    std::string dat;
    std::string idx;
    std::string lock;

    static constexpr std::size_t kPagesOffset = 25088;
    static constexpr std::size_t kFullTextSlotOffset = 512 + 31 * 768;

    static TableInput decode(const std::uint8_t* data, std::size_t size)
    {
        TableInput in;
        std::size_t at = 0;
        auto take = [&](std::size_t n) {
            n = std::min(n, size - at);
            std::string bytes(reinterpret_cast<const char*>(data) + at, n);
            at += n;
            return bytes;
        };
        auto length = [&] {
            std::uint32_t n = 0;
            const std::string bytes = take(4);
            std::memcpy(&n, bytes.data(), bytes.size());
            return std::size_t(n);
        };
        if (size == 0)
            return in;
        in.flags = data[at++];
        const std::size_t scriptLength = at < size ? data[at++] : 0;
        in.script = take(scriptLength);
        in.dat = take(length());
        std::string area = take(length());
        if (in.flags & PagedIndex) {
            in.idx = newDescriptorArea();
            if (area.size() <= in.idx.size())
                in.idx.replace(0, area.size(), area);
            else
                in.idx = area;
            in.idx += take(length());
        } else {
            in.idx = std::move(area);
        }
        in.lock = take(size - at);
        return in;
    }

    // The inverse of decode, choosing PagedIndex when the index file allows it.
    std::string encode() const
    {
        std::string out;
        auto put = [&](const std::string& bytes) {
            const auto n = static_cast<std::uint32_t>(bytes.size());
            out.append(reinterpret_cast<const char*>(&n), 4);
            out += bytes;
        };
        std::uint8_t f = flags & ~PagedIndex;
        std::string area = idx;
        std::string pages;
        const std::string fresh = newDescriptorArea();
        if (idx.size() >= kPagesOffset) {
            // The shortest prefix that, laid over a fresh area, gives this file's area.
            std::size_t keep = kPagesOffset;
            while (keep > 0 && idx[keep - 1] == fresh[keep - 1])
                --keep;
            area = idx.substr(0, keep);
            pages = idx.substr(kPagesOffset);
            f |= PagedIndex;
        }
        out.push_back(static_cast<char>(f));
        out.push_back(static_cast<char>(std::min<std::size_t>(script.size(), 255)));
        out += script.substr(0, 255);
        put(dat);
        put(area);
        if (f & PagedIndex)
            put(pages);
        out += lock;
        return out;
    }

    // A text argument of a script.
    static std::string text(const std::string& t) { return char(t.size()) + t; }

    // An index file's first 25088 bytes before anything is written into them.
    static std::string newDescriptorArea()
    {
        std::string area(kPagesOffset, '\0');
        area[kFullTextSlotOffset] = 8;
        area.replace(kFullTextSlotOffset + 1, 8, "Sys Text");
        return area;
    }
};

} // namespace fatura::fuzz
