// Names of every field of the loop data model, for tools that address fields
// by text ("SingleLoop.P"): command-line overrides, model dumps, case listings.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/LoopModel.h"

namespace qx {

enum class FieldKind { Real, Int, Bool, Char };

struct FieldInfo {
  std::string_view record;  // instance name, e.g. "SingleLoop"
  std::string_view field;   // field name, e.g. "P"
  FieldKind kind;
  std::size_t offset;       // byte offset inside LoopModel
};

// Every field of every record, records and fields in declared order.
std::span<const FieldInfo> AllFields();

// The field named "Record.Field", or nothing.
const FieldInfo* FindField(std::string_view qualifiedName);

// The field's value as text: reals "%.9g", booleans 0 or 1, integers in
// decimal, characters as their character code.
std::string FieldValueText(const LoopModel& model, const FieldInfo& info);

// Stores a value given as text. Reals and integers must parse completely and
// be finite; a real beyond single precision saturates. Returns an error
// message naming the value and the field, or an empty string on success.
std::string StoreFieldText(LoopModel& model, const FieldInfo& info, std::string_view text);

template <typename T>
T& FieldRef(LoopModel& model, const FieldInfo& info) {
  return *reinterpret_cast<T*>(reinterpret_cast<char*>(&model) + info.offset);
}
template <typename T>
const T& FieldRef(const LoopModel& model, const FieldInfo& info) {
  return *reinterpret_cast<const T*>(reinterpret_cast<const char*>(&model) + info.offset);
}

}  // namespace qx
