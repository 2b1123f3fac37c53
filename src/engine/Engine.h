#pragma once
// The table engine: tables of fixed-length records in a database folder, each table being a
// data file (name.dat), an index file (name.idx) and the folder's lock file (teskav.lck).
// Include this header for everything a user of the engine needs.
//
// Usage:
//
//   using namespace fatura::engine;
//   createTable(folder, "fatura", definition);  // once, never overwrites
//
//   Cursor tfatura("tfatura");
//   tfatura.open(folder, "fatura");           // EngineError 11010 when fatura.dat is missing
//   tfatura.append();                          // insert state, all fields null
//   tfatura.setText("TARIH", "01.02.2025");    // texts are code page 1254 bytes
//   tfatura.setNumber("TOPLAM", 118.0);
//   tfatura.post();                            // REC_ID and RecordID assigned here
//
//   if (tfatura.locate("SAYIN1", "ab", /*caseInsensitive*/ true, /*partialKey*/ true)) {
//       tfatura.edit();
//       tfatura.setText("VNO", "1234567890");
//       tfatura.post();
//   }
//   tfatura.first();
//   if (tfatura.hasCurrent()) {
//       do use(tfatura.getText("SAYIN1"), tfatura.getNumber("TOPLAM"));
//       while (tfatura.next());                // false after the last record
//   }
//
//   for (const std::string& fault : verifyTable(folder, "fatura")) report(fault);
//
// Failures are exceptions: EngineError (code() and message(); what() is
// "TESKAV Engine Error # <code> <message>") and CursorError (EngineError.h).

#include "Cursor.h"
#include "EngineError.h"
#include "Env.h"
#include "TableDefinition.h"
#include "TableTools.h"
