#include "engine/conflict_journal.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

#include "engine/dmdb.h"
#include "engine/record_text.h"
#include "engine/transaction_scope.h"
#include "util/cp1250.h"
#include "util/day_time.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr std::string_view kNextHeadId = "SELECT GEN_ID(REPKONFLHEAD_ID, 1) ID FROM RDB$DATABASE";
constexpr std::string_view kInsertHead =
    "INSERT INTO REPKONFLHEAD \n"
    "(ID, IDREPKOPIE, IDTABELI, IDREKORDU, DATAWPISU, IDOPERATORACZYTAJACEGO, DATAPRZECZYTANIA)\n"
    " VALUES \n"
    "(:ID, GEN_ID(BAZA_NR, 0), :IDTABELI, :IDREKORDU, CURRENT_TIMESTAMP, -1, '30.12.1899')";
constexpr std::string_view kInsertDetail =
    "INSERT INTO REPKONFLDETAIL \n"
    "(ID, IDHEAD, NAZWAPOLA, VOLD, VNEW, VOLDBLB, VNEWBLB)\n"
    "VALUES \n"
    "(GEN_ID(REPKONFLDETAIL_ID, 1), :IDHEAD, :NAZWAPOLA, :VOLD, :VNEW, :VOLDBLB, :VNEWBLB)";

bool Differ(const TPole& local, const TPole& incoming) {
  if (local.is_null || incoming.is_null) return local.is_null != incoming.is_null;
  switch (local.type) {
    case FieldType::kText:
    case FieldType::kBlob:
      return local.text_value != incoming.text_value;
    case FieldType::kInteger:
      return local.int_value != incoming.int_value;
    case FieldType::kFloat:
    case FieldType::kDateTime:
      return local.float_value < incoming.float_value || local.float_value > incoming.float_value;
  }
  return false;
}

// The old value of a column that was NULL locally: the incoming field emptied.
TPole EmptiedCopy(const TPole& incoming) {
  TPole empty = incoming;
  empty.text_value.clear();
  empty.int_value = 0;
  empty.float_value = 0;
  return empty;
}

const TPole* FindField(const TRekord& record, std::string_view name) {
  const auto found = std::find_if(record.fields.begin(), record.fields.end(),
                                  [&](const TPole& field) { return field.name == name; });
  return found == record.fields.end() ? nullptr : &*found;
}

// VOLD/VNEW of a detail row, by the old field's type code.
std::string ValueText(FieldType type, const TPole& field) {
  switch (type) {
    case FieldType::kText:
      return field.text_value;
    case FieldType::kInteger:
      return std::to_string(field.int_value);
    case FieldType::kFloat:
      return NumberText(field.float_value);
    case FieldType::kDateTime:
      return ConflictDateText(field.float_value);
    case FieldType::kBlob:
      return {};
  }
  return {};
}

std::string Number(std::int64_t value) { return std::to_string(value); }

// VNEW of a value a peer cleared is NULL (a BLOB's text column stays empty as for every BLOB).
void BindValue(fb::Statement::Param param, FieldType type, const TPole& field) {
  if (field.is_null && type != FieldType::kBlob) {
    param.SetNull();
  } else {
    param.SetString(ValueText(type, field));
  }
}

void BindBlob(fb::Statement::Param param, const TPole& field) {
  if (field.is_null) {
    param.SetNull();
  } else {
    param.SetBlob(field.text_value);
  }
}

}  // namespace

TKonflikt FindDifferences(const TRekord& local, const TRekord& incoming) {
  TKonflikt conflict;
  conflict.record_id = local.record_id;
  conflict.table_number = local.table_number;
  for (const TPole& field : incoming.fields) {
    const TPole* mine = FindField(local, field.name);
    const bool null_here = mine == nullptr || mine->is_null;
    if (null_here ? field.is_null : !Differ(*mine, field)) continue;
    conflict.old_fields.push_back(null_here ? EmptiedCopy(field) : *mine);
    conflict.new_fields.push_back(field);
    ++conflict.count;
  }
  return conflict;
}

std::string ConflictDateText(double day_count) {
  const LocalDateTime when = FromDayCount(day_count);
  char text[80];
  std::snprintf(text, sizeof text, "%04d.%02d.%02d %02d:%02d:%02d", when.year, when.month, when.day,
                when.hour, when.minute, when.second);
  return text;
}

TConflictJournal::TConflictJournal(TDMDB& db, HostServices& host)
    : db_(db),
      host_(host),
      IBQ_REPKONFLHEAD_ID(db.IBT_REPKONFL(), kNextHeadId),
      IBQ_REPKONFLHEADInsert(db.IBT_REPKONFL(), kInsertHead),
      IBQ_REPKONFLDETAILInsert(db.IBT_REPKONFL(), kInsertDetail) {}

int TConflictJournal::DetectConflict(const TRekord& local, const TRekord& incoming) {
  const TKonflikt conflict = FindDifferences(local, incoming);
  if (conflict.count == 0) {
    host_.Log("REPKONFL 0", kLogRecord);
    return 0;
  }
  const int written = WriteConflict(conflict);
  host_.Log("REPKONFL " + Number(written), kLogRecord);
  return written;
}

int TConflictJournal::WriteConflict(const TKonflikt& conflict) {
  try {
    TransactionScope work(db_.IBT_REPKONFL());
    const std::int32_t head_id = NextHeadId();
    InsertHead(head_id, conflict);
    for (std::int32_t i = 0; i < conflict.count; ++i) {
      InsertDetail(head_id, conflict.old_fields.at(static_cast<std::size_t>(i)),
                   conflict.new_fields.at(static_cast<std::size_t>(i)));
    }
    host_.Log(
        Concat({"REPKONFL ID=", Number(head_id), " IDTABELI=", Number(conflict.table_number),
                " IDREKORDU=", Number(conflict.record_id), " ILOSC=", Number(conflict.count)}),
        kLogRecord);
    work.Commit();
    return 1;
  } catch (const std::exception& e) {
    host_.Log(Concat({"Wystąpił błąd w czasie logowania konfliktów :\r\n"_cp, e.what()}),
              kLogError);
    return 0;
  }
}

std::int32_t TConflictJournal::NextHeadId() {
  fb::ResultSet row = IBQ_REPKONFLHEAD_ID.Open();
  row.Next();
  const auto id = static_cast<std::int32_t>(row.GetInt(0));
  row.Close();
  return id;
}

void TConflictJournal::InsertHead(std::int32_t head_id, const TKonflikt& conflict) {
  IBQ_REPKONFLHEADInsert.ParamByName("ID").SetInt(head_id);
  IBQ_REPKONFLHEADInsert.ParamByName("IDTABELI").SetInt(conflict.table_number);
  IBQ_REPKONFLHEADInsert.ParamByName("IDREKORDU").SetInt(conflict.record_id);
  IBQ_REPKONFLHEADInsert.Execute();
}

void TConflictJournal::InsertDetail(std::int32_t head_id, const TPole& old_field,
                                    const TPole& new_field) {
  fb::Statement& insert = IBQ_REPKONFLDETAILInsert;
  const FieldType type = old_field.type;  // the old value is never NULL: an emptied copy instead
  insert.ParamByName("IDHEAD").SetInt(head_id);
  insert.ParamByName("NAZWAPOLA").SetString(new_field.name);
  insert.ParamByName("VOLD").SetString(ValueText(type, old_field));
  BindValue(insert.ParamByName("VNEW"), type, new_field);
  if (type == FieldType::kBlob) {
    insert.ParamByName("VOLDBLB").SetBlob(old_field.text_value);
    BindBlob(insert.ParamByName("VNEWBLB"), new_field);
  } else {
    insert.ParamByName("VOLDBLB").SetNull();
    insert.ParamByName("VNEWBLB").SetNull();
  }
  insert.Execute();
}

}  // namespace tramolin
