#pragma once
// Invoice records for the engine benchmark: the invoice table's columns and a generator of
// realistic invoices (Turkish customer names, addresses, tax offices, items and units, totals
// that add up, the total in words) from a fixed seed. Each value is held both as code page 1254
// for the engine and as UTF-8 for SQLite.

#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace fatura::bench {

struct Column {
    std::string name;
    bool text = false;
    int size = 0; // characters of a text column
};

// The invoice fields after REC_ID, taken from the engine's own definition so that both sides
// store the same columns in the same order.
const std::vector<Column>& invoiceColumns();
// Position of a column in invoiceColumns(); throws std::logic_error for an unknown name.
int columnIndex(const std::string& name);

struct FieldValue {
    std::string cp1254; // what the engine gets; empty is null
    std::string utf8;   // what SQLite gets; empty is NULL
    double number = 0;
};
using Invoice = std::vector<FieldValue>; // one per invoiceColumns()

class InvoiceGenerator {
public:
    explicit InvoiceGenerator(std::uint64_t seed) : rng_(seed) {}

    // The next invoice: 2 to 8 item rows; unused rows have null texts and zero numbers, as the
    // invoice page stores them.
    Invoice next();

    // Stores text as the engine would: cut to the column size, no trailing blanks.
    void setText(Invoice& invoice, const std::string& column, QString text);
    static void setNumber(Invoice& invoice, const std::string& column, double value);

private:
    std::size_t pick(std::size_t n) { return std::size_t(rng_() % n); }
    template <std::size_t N>
    QString pickFrom(const char* const (&list)[N])
    {
        return QString::fromUtf8(list[pick(N)]);
    }
    QString digits(int count);

    std::mt19937_64 rng_;
    QStringEncoder encoder_{"windows-1254"};
    QStringDecoder decoder_{"windows-1254"};
};

} // namespace fatura::bench
