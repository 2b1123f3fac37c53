#pragma once
// Field descriptors of the data file and index descriptors of the index file, to and from
// their 768 bytes. Decoding checks every value it reads; a false result means the descriptor
// cannot belong to a table this engine opens.

#include "Record.h"
#include "TableDefinition.h"

#include <cstdint>

namespace fatura::engine::descriptors {

void encodeField(unsigned char* d, int number, const FieldDef& def, const FieldLayout& layout);
// offset: where the field's null flag must lie, given the fields before it.
bool decodeField(const unsigned char* d, int number, std::uint32_t offset, FieldDef& def);

struct StoredIndex {
    IndexDef def;
    std::uint32_t root = 0;
};

void encodeIndex(unsigned char* d, const IndexDef& def, std::uint32_t root);
// The unnamed, keyless descriptor of the full-text slot.
void encodeFullTextSlot(unsigned char* d);
bool decodeIndex(const unsigned char* d, bool primary, int fieldCount, StoredIndex& index);

} // namespace fatura::engine::descriptors
