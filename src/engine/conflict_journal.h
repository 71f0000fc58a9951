// The conflict journal: when a copy takes the main database's version of a record it had changed
// itself, the values it loses are written field by field to REPKONFLHEAD and REPKONFLDETAIL, where
// the host application's users can read what was overwritten.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/fb/statement.h"
#include "engine/host_services.h"
#include "engine/record.h"

namespace tramolin {

class TDMDB;

// One conflict: entry i of both arrays belongs to the same column.
struct TKonflikt {
  std::int32_t record_id = 0;
  std::int32_t table_number = 0;
  std::int32_t count = 0;         // differing fields
  std::vector<TPole> old_fields;  // the local values before the import
  std::vector<TPole> new_fields;  // the incoming values
};

// Compares the fields the incoming record carries with the local record (names exact, values by
// the local field's type code). A column NULL here and set in the incoming record differs, with
// the incoming field emptied as its old value; one set here and an explicit NULL in the incoming
// record differs too; NULL on both sides does not. Fields only the local record has are not
// compared.
TKonflikt FindDifferences(const TRekord& local, const TRekord& incoming);

// "yyyy.mm.dd hh:nn:ss": how a date and time value stands in a detail row.
std::string ConflictDateText(double day_count);

// Lives as long as its statements may: destroy it before the TDMDB it was made for.
class TConflictJournal {
 public:
  TConflictJournal(TDMDB& db, HostServices& host);

  // 1 when differences were found and written, 0 otherwise (nothing differs, or writing failed).
  int DetectConflict(const TRekord& local, const TRekord& incoming);
  // Writes one head row and a detail row per field in a transaction of its own, committed at
  // once. 1 when written; 0 on any error, rolled back and logged.
  int WriteConflict(const TKonflikt& conflict);

 private:
  std::int32_t NextHeadId();
  void InsertHead(std::int32_t head_id, const TKonflikt& conflict);
  void InsertDetail(std::int32_t head_id, const TPole& old_field, const TPole& new_field);

  TDMDB& db_;
  HostServices& host_;
  fb::Statement IBQ_REPKONFLHEAD_ID;
  fb::Statement IBQ_REPKONFLHEADInsert;
  fb::Statement IBQ_REPKONFLDETAILInsert;
};

}  // namespace tramolin
