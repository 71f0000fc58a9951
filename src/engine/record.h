// One changed record as it travels between the databases: its journal identity and its column
// values, each with the type code that decides how the value is written. NULL columns travel only
// to a peer that agreed on explicit NULLs; to any other they are left out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/change_batch.h"

namespace tramolin {

// The type codes of the record text.
enum class FieldType : std::uint8_t {
  kText = 0,      // CHAR, VARCHAR: bytes in text_value
  kInteger = 1,   // SMALLINT, INTEGER: int_value
  kFloat = 2,     // FLOAT, DOUBLE PRECISION: float_value
  kDateTime = 3,  // DATE, TIME, TIMESTAMP: float_value, a day count
  kBlob = 4,      // BLOB of any subtype: bytes in text_value
};

inline constexpr int kFieldTypeCount = 5;
// The type code of an explicit NULL column: a code no value uses, followed by no value.
inline constexpr int kNullTypeCode = 5;

// TYPZMIANY of the journal and the record text.
inline constexpr std::int32_t kChangeInsert = 0;
inline constexpr std::int32_t kChangeUpdate = 1;
inline constexpr std::int32_t kChangeDelete = 2;

struct TPole {
  std::string name;
  FieldType type = FieldType::kText;
  bool is_null = false;        // NULL: written only as an explicit NULL, which parses back as one
  std::string text_value;      // kText, kBlob (any bytes; the length is its size)
  std::int32_t int_value = 0;  // kInteger
  double float_value = 0;      // kFloat, kDateTime

  friend bool operator==(const TPole&, const TPole&) = default;
};

struct TRekord {
  std::int32_t record_id = 0;     // IDREKORDU, the value of the key column
  std::int32_t table_number = 0;  // IDTABELI
  std::int32_t change_type = kChangeInsert;
  std::vector<TPole> fields;  // in text order; a delete carries none

  friend bool operator==(const TRekord&, const TRekord&) = default;
};

TPole TextField(std::string name, std::string value);
TPole BlobField(std::string name, std::string value);
TPole IntegerField(std::string name, std::int32_t value);
TPole FloatField(std::string name, double value);
TPole DateTimeField(std::string name, double day_count);
TPole NullField(std::string name, FieldType type);

// Accessors of the import. Names compare exactly (letter case counts); the first field of the
// name is used.
// The integer value of the field (0 when it is not an integer field), -1 when there is none.
std::int32_t GetIntField(const TRekord& record, std::string_view name);
void SetIntField(TRekord& record, std::string_view name, std::int32_t value);
void SetStringField(TRekord& record, std::string_view name, std::string value);

}  // namespace tramolin
