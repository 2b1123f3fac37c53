#include "InvoiceSchema.h"

#include <string>

namespace fatura::archive {

using namespace engine;

namespace {

FieldDef text(std::string name, std::uint16_t size)
{
    FieldDef f;
    f.name = std::move(name);
    f.kind = FieldKind::Text;
    f.size = size;
    return f;
}

FieldDef number(std::string name)
{
    FieldDef f;
    f.name = std::move(name);
    f.kind = FieldKind::Float;
    return f;
}

void addRows(TableDefinition& table, char letter, std::uint16_t size)
{
    for (int row = 1; row <= 8; ++row) {
        const std::string name = std::string(1, letter) + std::to_string(row);
        table.fields.push_back(size == 0 ? number(name) : text(name, size));
    }
}

} // namespace

TableDefinition invoiceTableDefinition()
{
    TableDefinition table;
    FieldDef recId;
    recId.name = "REC_ID";
    recId.kind = FieldKind::AutoIncrement;
    table.fields.push_back(recId);
    table.fields.push_back(text("TARIH", 20));
    table.fields.push_back(text("SAYIN1", 75));
    table.fields.push_back(text("SAYIN2", 75));
    table.fields.push_back(text("SAYIN3", 75));
    table.fields.push_back(text("VDAIRESI", 35));
    table.fields.push_back(text("VNO", 30));
    addRows(table, 'M', 0);
    table.fields.push_back(text("C1", 20));
    for (int row = 2; row <= 8; ++row)
        table.fields.push_back(text("C" + std::to_string(row), 50));
    addRows(table, 'F', 0);
    addRows(table, 'T', 0);
    table.fields.push_back(number("YEKUN"));
    table.fields.push_back(number("KDV"));
    table.fields.push_back(number("TOPLAM"));
    table.fields.push_back(text("YANLIZ", 150));
    addRows(table, 'B', 10);
    return table;
}

} // namespace fatura::archive
