#include "InvoiceSchema.h"

#include "InvoiceRecord.h"

#include <string>

namespace fatura::archive {

using namespace engine;

TableDefinition invoiceTableDefinition()
{
    TableDefinition table;
    FieldDef recId;
    recId.name = "REC_ID";
    recId.kind = FieldKind::AutoIncrement;
    table.fields.push_back(recId);
    for (const InvoiceFieldMap& m : invoiceRecordMap()) {
        FieldDef f;
        f.name = std::string(m.field);
        f.kind = m.kind == InvoiceFieldKind::Text ? FieldKind::Text : FieldKind::Float;
        f.size = m.size;
        table.fields.push_back(std::move(f));
    }
    return table;
}

} // namespace fatura::archive
