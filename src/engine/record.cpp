#include "engine/record.h"

#include <algorithm>
#include <utility>

namespace tramolin {
namespace {

TPole* FindField(TRekord& record, std::string_view name) {
  auto found = std::find_if(record.fields.begin(), record.fields.end(),
                            [name](const TPole& field) { return field.name == name; });
  return found == record.fields.end() ? nullptr : &*found;
}

}  // namespace

TPole TextField(std::string name, std::string value) {
  TPole field = NullField(std::move(name), FieldType::kText);
  field.is_null = false;
  field.text_value = std::move(value);
  return field;
}

TPole BlobField(std::string name, std::string value) {
  TPole field = TextField(std::move(name), std::move(value));
  field.type = FieldType::kBlob;
  return field;
}

TPole IntegerField(std::string name, std::int32_t value) {
  TPole field = NullField(std::move(name), FieldType::kInteger);
  field.is_null = false;
  field.int_value = value;
  return field;
}

TPole FloatField(std::string name, double value) {
  TPole field = NullField(std::move(name), FieldType::kFloat);
  field.is_null = false;
  field.float_value = value;
  return field;
}

TPole DateTimeField(std::string name, double day_count) {
  TPole field = FloatField(std::move(name), day_count);
  field.type = FieldType::kDateTime;
  return field;
}

TPole NullField(std::string name, FieldType type) {
  TPole field;
  field.name = std::move(name);
  field.type = type;
  field.is_null = true;
  return field;
}

std::int32_t GetIntField(const TRekord& record, std::string_view name) {
  for (const TPole& field : record.fields) {
    if (field.name == name) {
      return field.type == FieldType::kInteger ? field.int_value : 0;
    }
  }
  return -1;
}

void SetIntField(TRekord& record, std::string_view name, std::int32_t value) {
  if (TPole* field = FindField(record, name)) {
    field->int_value = value;
  }
}

void SetStringField(TRekord& record, std::string_view name, std::string value) {
  if (TPole* field = FindField(record, name)) {
    field->text_value = std::move(value);
  }
}

}  // namespace tramolin
