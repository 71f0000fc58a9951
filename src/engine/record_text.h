// The text form of records and of the change payload:
//   payload = count ";" total ";" record*       (the header: util/change_payload_header.h)
//   record  = id ";" table ";" change ";" [count ";" field*]   (a delete has no count, no fields)
//   field   = name ";" code ";" value | name ";5;"   (5: an explicit NULL, between our own sites)
//   value   = length ";" bytes ";" | "0;"   (codes 0 text and 4 BLOB: bytes of any value)
//           | integer ";"                    (code 1)
//           | number ";"                     (codes 2 float and 3 day count)
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/record.h"

namespace tramolin {

// A record that cannot be written, or a record text that does not follow the format. Integer
// fields that are not numbers raise ConversionError (util/fields.h) instead.
class RecordFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// 15 significant digits, "." as separator whatever the locale; fixed notation for 0 and for
// rounded magnitudes from 0.0001 below 1E15, otherwise d[.ddd]E[-]x: 45123.5, 0.0001, 5E-5,
// 1.5E-6, 1E20. Throws RecordFormatError for infinities and NaN.
std::string NumberText(double value);
// Any decimal number with "." and an optional exponent; RecordFormatError otherwise, and for a
// magnitude beyond the largest double. A text up to 1.79769313486232E308, the largest double
// rounded to 15 digits, reads as the largest double of its sign.
double ParseNumberText(std::string_view text);

// Appends the record's text: its NULL fields are left out (and not counted) unless they are to be
// written as explicit NULLs; a delete is the header alone. On an error nothing is appended.
void AppendRecordText(const TRekord& record, std::string& out,
                      NullColumns nulls = NullColumns::kLeftOut);
std::string RecordText(const TRekord& record, NullColumns nulls = NullColumns::kLeftOut);

// Cuts one record text off the front of the payload; an explicit NULL becomes a NULL field (of
// type text). On an error the payload keeps what was not yet cut off.
void ParseRecord(std::string_view& payload, TRekord& record);

}  // namespace tramolin
