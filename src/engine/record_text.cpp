#include "engine/record_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "engine/change_batch.h"
#include "util/cp1250.h"
#include "util/fields.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr int kSignificantDigits = 15;
constexpr int kFixedExponentLow = -4;  // 0.0001 is the smallest magnitude written fixed
constexpr int kFixedExponentHigh = kSignificantDigits;

// The shortest text a field of any type takes ("a;5;"): bounds what a field count may reserve.
constexpr std::size_t kShortestFieldText = 4;

// The significant digits (no trailing zeros) and the decimal exponent of |value| rounded to
// 15 digits: 45123.5 gives "451235" and 4.
struct Decimal {
  std::string digits;
  int exponent = 0;
};

Decimal RoundedDecimal(double magnitude) {
  char buffer[40];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                    std::chars_format::scientific, kSignificantDigits - 1);
  const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const std::size_t e = text.find('e');
  Decimal decimal;
  for (char c : text.substr(0, e)) {
    if (c != '.') {
      decimal.digits.push_back(c);
    }
  }
  decimal.digits.erase(decimal.digits.find_last_not_of('0') + 1);
  decimal.exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
  return decimal;
}

// The largest finite double, 1.7976931348623157E308, rounds to 15 digits as
// 1.79769313486232E308: a number beyond the largest double.
constexpr int kLargestExponent = 308;
constexpr std::string_view kLargestRoundedUp = "179769313486232";
constexpr std::string_view kLargestRoundedDown = "179769313486231";

// Digit strings of one exponent, both without trailing zeros, compare as their numbers do.
bool DigitsAbove(const Decimal& decimal, std::string_view digits) {
  return decimal.exponent == kLargestExponent && std::string_view(decimal.digits) > digits;
}

// Values of the last rounding step below the largest double are written rounded down, so that
// they read back as finite numbers.
void KeepReadable(Decimal& decimal) {
  if (DigitsAbove(decimal, kLargestRoundedDown)) {
    decimal.digits = kLargestRoundedDown;
  }
}

// The power of ten after "e" or "E" (0 without one), or nullopt beyond a billion either way.
std::optional<long long> ExponentOfText(std::string_view text) {
  constexpr long long kBound = 1'000'000'000;
  const std::size_t e = text.find_first_of("eE");
  if (e == std::string_view::npos) {
    return 0;
  }
  std::string_view power = text.substr(e + 1);
  if (power.front() == '+') {
    power.remove_prefix(1);
  }
  long long exponent = 0;
  const auto result = std::from_chars(power.data(), power.data() + power.size(), exponent);
  if (result.ec != std::errc() || exponent > kBound || exponent < -kBound) {
    return std::nullopt;
  }
  return exponent;
}

// The significant digits and exponent of a text IsDecimalNumberText accepted ("-0.0150E+3" gives
// "15" and 1), or nullopt for an exponent ExponentOfText rejects.
std::optional<Decimal> DecimalOfText(std::string_view text) {
  std::optional<long long> exponent = ExponentOfText(text);
  if (!exponent) {
    return std::nullopt;
  }
  std::string_view mantissa = text.substr(0, text.find_first_of("eE"));
  if (mantissa.front() == '+' || mantissa.front() == '-') {
    mantissa.remove_prefix(1);
  }
  *exponent += static_cast<long long>(std::min(mantissa.find('.'), mantissa.size())) - 1;
  Decimal decimal;
  for (char c : mantissa) {
    if (c >= '0' && c <= '9' && (c != '0' || !decimal.digits.empty())) {
      decimal.digits.push_back(c);
    } else if (c == '0') {
      --*exponent;  // a leading zero: the first significant digit is one place lower
    }
  }
  decimal.digits.erase(decimal.digits.find_last_not_of('0') + 1);
  decimal.exponent = static_cast<int>(*exponent);
  return decimal;
}

// A peer writing with 15 digits may give the largest double as 1.79769313486232E308; only texts
// beyond that are really out of range.
bool RoundsToLargestDouble(std::string_view text) {
  const std::optional<Decimal> decimal = DecimalOfText(text);
  return decimal && !decimal->digits.empty() && decimal->exponent == kLargestExponent &&
         !DigitsAbove(*decimal, kLargestRoundedUp);
}

std::string FixedText(const Decimal& decimal) {
  const std::string& digits = decimal.digits;
  std::string text;
  if (decimal.exponent < 0) {
    text.append("0.").append(static_cast<std::size_t>(-decimal.exponent - 1), '0');
    return text.append(digits);
  }
  const auto whole = static_cast<std::size_t>(decimal.exponent) + 1;
  if (digits.size() <= whole) {
    return text.append(digits).append(whole - digits.size(), '0');
  }
  return text.append(digits, 0, whole).append(1, '.').append(digits, whole);
}

std::string ScientificText(const Decimal& decimal) {
  std::string text(1, decimal.digits.front());
  if (decimal.digits.size() > 1) {
    text.append(1, '.').append(decimal.digits, 1);
  }
  text += decimal.exponent < 0 ? "E-" : "E";
  text += std::to_string(std::abs(decimal.exponent));
  return text;
}

// [+-]digits[.digits][(e|E)[+-]digits], with at least one digit before the exponent.
bool IsDecimalNumberText(std::string_view text) {
  std::size_t pos = 0;
  auto skip_sign = [&] {
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
      ++pos;
    }
  };
  auto skip_digits = [&] {
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      ++pos;
    }
    return pos - start;
  };
  skip_sign();
  std::size_t mantissa_digits = skip_digits();
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    mantissa_digits += skip_digits();
  }
  if (mantissa_digits == 0) {
    return false;
  }
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    skip_sign();
    if (skip_digits() == 0) {
      return false;
    }
  }
  return pos == text.size();
}

std::string NotANumberMessage(std::string_view text) {
  return Concat({"'", text, "' is not a valid floating point value"});
}

// The number and its ";", without a temporary string.
void AppendInt(long long value, std::string& out) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr).push_back(';');
}

void AppendLengthDelimited(std::string_view bytes, std::string& out) {
  AppendInt(static_cast<long long>(bytes.size()), out);
  if (!bytes.empty()) {
    out.append(bytes).push_back(';');
  }
}

void AppendValue(const TPole& field, std::string& out) {
  switch (field.type) {
    case FieldType::kText:
    case FieldType::kBlob:
      AppendLengthDelimited(field.text_value, out);
      return;
    case FieldType::kInteger:
      AppendInt(field.int_value, out);
      return;
    case FieldType::kFloat:
    case FieldType::kDateTime:
      out.append(NumberText(field.float_value)).push_back(';');
      return;
  }
  throw RecordFormatError(std::string("Nieznany typ pola ") + field.name + ": " +
                          std::to_string(static_cast<int>(field.type)));
}

void AppendField(const TPole& field, std::string& out) {
  if (field.name.find(';') != std::string::npos) {
    throw RecordFormatError(std::string("Nazwa pola zawiera średnik: "_cp) + field.name);
  }
  out.append(field.name).push_back(';');
  if (field.is_null) {
    AppendInt(kNullTypeCode, out);
    return;
  }
  AppendInt(static_cast<int>(field.type), out);
  AppendValue(field, out);
}

void AppendFields(const TRekord& record, std::string& out, NullColumns nulls) {
  const bool with_nulls = nulls == NullColumns::kWritten;
  const auto sent = std::count_if(record.fields.begin(), record.fields.end(),
                                  [&](const TPole& field) { return with_nulls || !field.is_null; });
  AppendInt(sent, out);
  for (const TPole& field : record.fields) {
    if (with_nulls || !field.is_null) {
      AppendField(field, out);
    }
  }
}

// Every item of a record text ends with ";": an item that runs to the end of the payload
// without one is a cut-off record (512 would otherwise read as 51), not a last item.
void RequireTerminated(std::string_view payload) {
  if (payload.find(';') == std::string_view::npos) {
    throw RecordFormatError(std::string("Tekst rekordu urwany: \"") +
                            std::string(payload.substr(0, 40)) + "\"");
  }
}

std::string_view CutItem(std::string_view& payload) {
  RequireTerminated(payload);
  return NextField(payload);
}

std::int32_t CutInt(std::string_view& payload) {
  RequireTerminated(payload);
  return NextIntField(payload);
}

// The type code, or nullopt for an explicit NULL.
std::optional<FieldType> ParseFieldType(std::string_view& payload, const std::string& name) {
  std::string_view rest = payload;
  const std::int32_t code = CutInt(rest);
  if (code == kNullTypeCode) {
    payload = rest;
    return std::nullopt;
  }
  if (code < 0 || code >= kFieldTypeCount) {
    throw RecordFormatError(std::string("Nieznany typ pola ") + name + ": " + std::to_string(code));
  }
  payload = rest;
  return static_cast<FieldType>(code);
}

std::string ParseLengthDelimited(std::string_view& payload, const std::string& name) {
  std::string_view rest = payload;
  const std::int32_t length = CutInt(rest);
  if (length < 0) {
    throw RecordFormatError(std::string("Niepoprawna długość pola "_cp) + name + ": " +
                            std::to_string(length));
  }
  const auto size = static_cast<std::size_t>(length);
  if (size == 0) {
    payload = rest;
    return {};
  }
  if (rest.size() <= size) {
    throw RecordFormatError(std::string("Rekord urwany w wartości pola "_cp) + name +
                            std::string(" (długość "_cp) + std::to_string(size) +
                            std::string(", pozostało "_cp) + std::to_string(rest.size()) + ")");
  }
  if (rest[size] != ';') {
    throw RecordFormatError(std::string("Brak średnika po wartości pola "_cp) + name);
  }
  std::string value(rest.substr(0, size));
  rest.remove_prefix(size + 1);
  payload = rest;
  return value;
}

double ParseNumberField(std::string_view& payload) {
  std::string_view rest = payload;
  const double value = ParseNumberText(CutItem(rest));
  payload = rest;
  return value;
}

TPole ParseField(std::string_view& payload) {
  TPole field;
  field.name = std::string(CutItem(payload));
  const std::optional<FieldType> type = ParseFieldType(payload, field.name);
  if (!type) return NullField(std::move(field.name), FieldType::kText);
  field.type = *type;
  switch (field.type) {
    case FieldType::kText:
    case FieldType::kBlob:
      field.text_value = ParseLengthDelimited(payload, field.name);
      break;
    case FieldType::kInteger:
      field.int_value = CutInt(payload);
      break;
    case FieldType::kFloat:
    case FieldType::kDateTime:
      field.float_value = ParseNumberField(payload);
      break;
  }
  return field;
}

std::int32_t ParseFieldCount(std::string_view& payload) {
  std::string_view rest = payload;
  const std::int32_t count = CutInt(rest);
  if (count < 0) {
    throw RecordFormatError(std::string("Niepoprawna liczba pól rekordu: "_cp) +
                            std::to_string(count));
  }
  payload = rest;
  return count;
}

}  // namespace

std::string NumberText(double value) {
  if (!std::isfinite(value)) {
    throw RecordFormatError(std::string("Wartość nie jest liczbą skończoną"_cp));
  }
  if (value == 0) {
    return "0";
  }
  Decimal decimal = RoundedDecimal(std::fabs(value));
  KeepReadable(decimal);
  const bool fixed = decimal.exponent >= kFixedExponentLow && decimal.exponent < kFixedExponentHigh;
  std::string text = value < 0 ? "-" : "";
  return text.append(fixed ? FixedText(decimal) : ScientificText(decimal));
}

double ParseNumberText(std::string_view text) {
  if (!IsDecimalNumberText(text)) {
    throw RecordFormatError(NotANumberMessage(text));
  }
  std::string_view number = text;
  if (number.front() == '+') {
    number.remove_prefix(1);
  }
  double value = 0;
  const char* const end = number.data() + number.size();
  const auto [stop, error] = std::from_chars(number.data(), end, value);
  if (error == std::errc::result_out_of_range && stop == end && RoundsToLargestDouble(number)) {
    const double largest = std::numeric_limits<double>::max();
    return number.front() == '-' ? -largest : largest;
  }
  if (error != std::errc() || stop != end) {
    throw RecordFormatError(NotANumberMessage(text));
  }
  return value;
}

void AppendRecordText(const TRekord& record, std::string& out, NullColumns nulls) {
  const std::size_t start = out.size();
  try {
    AppendInt(record.record_id, out);
    AppendInt(record.table_number, out);
    AppendInt(record.change_type, out);
    if (record.change_type != kChangeDelete) {
      AppendFields(record, out, nulls);
    }
  } catch (...) {
    out.resize(start);
    throw;
  }
}

std::string RecordText(const TRekord& record, NullColumns nulls) {
  std::string text;
  AppendRecordText(record, text, nulls);
  return text;
}

void ParseRecord(std::string_view& payload, TRekord& record) {
  record.record_id = CutInt(payload);
  record.table_number = CutInt(payload);
  record.change_type = CutInt(payload);
  record.fields.clear();
  if (record.change_type == kChangeDelete) {
    return;
  }
  const std::int32_t count = ParseFieldCount(payload);
  record.fields.reserve(
      std::min(static_cast<std::size_t>(count), payload.size() / kShortestFieldText + 1));
  for (std::int32_t i = 0; i < count; ++i) {
    if (payload.empty()) {
      throw RecordFormatError(std::string("Rekord urwany przed polem "_cp) + std::to_string(i + 1) +
                              " z " + std::to_string(count));
    }
    record.fields.push_back(ParseField(payload));
  }
}

bool NextRecordSpan(std::string_view& records, RecordSpan& span) {
  std::string_view rest = records;
  TRekord record;
  try {
    ParseRecord(rest, record);
  } catch (const std::exception&) {
    return false;
  }
  span = {record.table_number, record.record_id, records.substr(0, records.size() - rest.size())};
  records = rest;
  return true;
}

}  // namespace tramolin
