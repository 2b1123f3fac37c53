#pragma once
// An invoice archive written byte by byte from the table file format alone, the way a tool
// outside the program would make one: data file only, no index file, deleted and reused records,
// REC_ID values of its own that differ from the RecordIDs.

#include "InvoiceRecord.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace fatura::testing {

class HandMadeArchive {
public:
    struct Slot {
        bool deleted = false;
        std::uint32_t link = 0; // in use: the slot's own number; deleted: next free slot
        std::int32_t recordId = 0;
        std::int32_t recId = 0;
        std::map<std::string, std::string> texts; // field -> code page 1254 bytes
        std::map<std::string, double> numbers;
    };

    HandMadeArchive()
    {
        put(fields_, {"REC_ID", 6, 29, 0, 4});
        for (const archive::InvoiceFieldMap& m : archive::invoiceRecordMap()) {
            if (m.kind == archive::InvoiceFieldKind::Text)
                put(fields_, {std::string(m.field), 1, 0, m.size, std::uint16_t(m.size + 1)});
            else
                put(fields_, {std::string(m.field), 7, 0, 0, 8});
        }
        std::uint32_t offset = 25;
        for (Field& f : fields_) {
            f.offset = offset;
            offset += f.width + 1u;
        }
        length_ = (offset + 7) / 8 * 8;
    }

    std::uint16_t recordLength() const { return std::uint16_t(length_); }

    // Writes fatura.dat into folder with these records (numbered from 1) and header counters.
    bool write(const QString& folder, const std::vector<Slot>& records, std::uint32_t freeHead, std::int32_t lastRecordId,
               std::int32_t lastRecId) const
    {
        const std::size_t fieldCount = fields_.size();
        QByteArray file(int(512 + fieldCount * 768 + records.size() * length_), '\0');
        char* h = file.data();
        set<std::uint32_t>(h, 0, 7);
        h[8] = 6;
        const QByteArray signature = QCryptographicHash::hash("TESKAV_SIG", QCryptographicHash::Md5);
        std::memcpy(h + 9, signature.constData(), 16);
        std::uint32_t inUse = 0;
        for (const Slot& s : records)
            inUse += s.deleted ? 0 : 1;
        set<std::uint32_t>(h, 25, freeHead);
        set<std::uint32_t>(h, 29, std::uint32_t(records.size() + 1));
        set<std::int32_t>(h, 33, lastRecordId);
        set<std::int32_t>(h, 37, lastRecId);
        set<std::uint32_t>(h, 41, inUse);
        set<std::uint16_t>(h, 45, std::uint16_t(length_));
        set<std::uint16_t>(h, 47, std::uint16_t(fieldCount));
        set<std::uint32_t>(h, 59, 4096);
        set<double>(h, 63, 46000.5 - 693594);

        for (std::size_t i = 0; i < fieldCount; ++i) {
            char* d = h + 512 + i * 768;
            const Field& f = fields_[i];
            set<std::int16_t>(d, 0, std::int16_t(i + 1));
            d[2] = char(f.name.size());
            std::memcpy(d + 3, f.name.data(), f.name.size());
            d[164] = char(f.type);
            d[165] = char(f.subtype);
            set<std::uint16_t>(d, 166, f.size);
            set<std::uint16_t>(d, 169, f.width);
            set<std::uint16_t>(d, 172, std::uint16_t(f.offset));
        }

        for (std::size_t n = 0; n < records.size(); ++n) {
            const Slot& s = records[n];
            char* r = h + 512 + fieldCount * 768 + n * length_;
            r[0] = s.deleted ? 1 : 0;
            set<std::uint32_t>(r, 1, s.link);
            set<std::int32_t>(r, 5, s.recordId);
            for (const Field& f : fields_) {
                if (f.name == "REC_ID") {
                    r[f.offset] = 1;
                    set<std::int32_t>(r, f.offset + 1, s.recId);
                } else if (auto t = s.texts.find(f.name); t != s.texts.end()) {
                    r[f.offset] = 1;
                    std::memcpy(r + f.offset + 1, t->second.data(), std::min<std::size_t>(t->second.size(), f.size));
                } else if (auto v = s.numbers.find(f.name); v != s.numbers.end()) {
                    r[f.offset] = 1;
                    set<double>(r, f.offset + 1, v->second);
                }
            }
            const QByteArray hash = QCryptographicHash::hash(QByteArrayView(r + 25, qsizetype(length_ - 25)),
                                                             QCryptographicHash::Md5);
            std::memcpy(r + 9, hash.constData(), 16);
        }
        QFile out(folder + QStringLiteral("fatura.dat"));
        return out.open(QIODevice::WriteOnly) && out.write(file) == file.size();
    }

private:
    struct Field {
        std::string name;
        int type;
        int subtype;
        std::uint16_t size;
        std::uint16_t width;
        std::uint32_t offset = 0;
    };
    static void put(std::vector<Field>& list, Field f) { list.push_back(std::move(f)); }
    template <class T>
    static void set(char* at, std::size_t offset, T value)
    {
        std::memcpy(at + offset, &value, sizeof value); // little-endian, as the machine
    }

    std::vector<Field> fields_;
    std::uint32_t length_ = 0;
};

} // namespace fatura::testing
