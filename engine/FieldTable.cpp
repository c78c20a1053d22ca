#include "engine/FieldTable.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <limits>
#include <type_traits>
#include <vector>

#include "engine/NumberText.h"

namespace qx {
namespace {

template <typename T>
constexpr FieldKind KindOf() {
  if constexpr (std::is_same_v<T, float>) return FieldKind::Real;
  else if constexpr (std::is_same_v<T, bool>) return FieldKind::Bool;
  else if constexpr (std::is_same_v<T, char>) return FieldKind::Char;
  else return FieldKind::Int;
}

template <typename Record>
struct RecordFields;

#define QX_FIELD_INFO(type, name) \
  FieldInfo{"", #name, KindOf<type>(), offsetof(RecordType, name)},

template <>
struct RecordFields<PIDLoop> {
  using RecordType = PIDLoop;
  static constexpr FieldInfo kFields[] = {QX_PIDLOOP_FIELDS(QX_FIELD_INFO)};
};
template <>
struct RecordFields<ModelParams> {
  using RecordType = ModelParams;
  static constexpr FieldInfo kFields[] = {QX_MODELPARAMS_FIELDS(QX_FIELD_INFO)};
};
template <>
struct RecordFields<SignalParams> {
  using RecordType = SignalParams;
  static constexpr FieldInfo kFields[] = {QX_SIGNALPARAMS_FIELDS(QX_FIELD_INFO)};
};
template <>
struct RecordFields<RunSettingsRecord> {
  using RecordType = RunSettingsRecord;
  static constexpr FieldInfo kFields[] = {QX_RUNSETTINGS_FIELDS(QX_FIELD_INFO)};
};
template <>
struct RecordFields<RunControlRecord> {
  using RecordType = RunControlRecord;
  static constexpr FieldInfo kFields[] = {QX_RUNCONTROL_FIELDS(QX_FIELD_INFO)};
};
#undef QX_FIELD_INFO

template <typename Record>
void AppendRecord(std::vector<FieldInfo>& table, std::string_view instance, std::size_t base) {
  for (const FieldInfo& f : RecordFields<Record>::kFields)
    table.push_back(FieldInfo{instance, f.field, f.kind, base + f.offset});
}

std::vector<FieldInfo> BuildTable() {
  std::vector<FieldInfo> table;
#define QX_APPEND_RECORD(type, name) AppendRecord<type>(table, #name, offsetof(LoopModel, name));
  QX_LOOPMODEL_RECORDS(QX_APPEND_RECORD)
#undef QX_APPEND_RECORD
  return table;
}

const std::vector<FieldInfo>& Table() {
  static const std::vector<FieldInfo> table = BuildTable();
  return table;
}

bool ParseWholeInt(std::string_view text, long long& value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && ptr == text.data() + text.size();
}

}  // namespace

std::span<const FieldInfo> AllFields() { return Table(); }

const FieldInfo* FindField(std::string_view qualifiedName) {
  for (const FieldInfo& f : Table()) {
    if (qualifiedName.size() == f.record.size() + 1 + f.field.size() &&
        qualifiedName.starts_with(f.record) && qualifiedName[f.record.size()] == '.' &&
        qualifiedName.ends_with(f.field))
      return &f;
  }
  return nullptr;
}

std::string FieldValueText(const LoopModel& model, const FieldInfo& info) {
  switch (info.kind) {
    case FieldKind::Real:
      return FormatReal9(LoadShared(FieldRef<float>(model, info)));
    case FieldKind::Int:
      return std::to_string(FieldRef<int32_t>(model, info));
    case FieldKind::Bool:
      return FieldRef<bool>(model, info) ? "1" : "0";
    case FieldKind::Char:
      return std::to_string(static_cast<int>(static_cast<unsigned char>(FieldRef<char>(model, info))));
  }
  return {};
}

std::string StoreFieldText(LoopModel& model, const FieldInfo& info, std::string_view text) {
  auto bad = [&](std::string_view what) {
    std::string message;
    message.append("'").append(text).append("' is not ").append(what);
    message.append(" for ").append(info.record).append(".").append(info.field);
    return message;
  };
  switch (info.kind) {
    case FieldKind::Real: {
      double value = 0;
      if (!ParseWholeDecimal(text, value)) return bad("a finite decimal number");
      StoreShared(FieldRef<float>(model, info), ToSingle(value));
      return {};
    }
    case FieldKind::Int: {
      long long value = 0;
      if (!ParseWholeInt(text, value) || value < std::numeric_limits<int32_t>::min() ||
          value > std::numeric_limits<int32_t>::max())
        return bad("a 32-bit integer");
      FieldRef<int32_t>(model, info) = static_cast<int32_t>(value);
      return {};
    }
    case FieldKind::Bool: {
      long long value = 0;
      if (!ParseWholeInt(text, value) || (value != 0 && value != 1)) return bad("0 or 1");
      FieldRef<bool>(model, info) = value != 0;
      return {};
    }
    case FieldKind::Char: {
      long long value = 0;
      if (!ParseWholeInt(text, value) || value < 0 || value > 255)
        return bad("a character code 0 to 255");
      FieldRef<char>(model, info) = static_cast<char>(value);
      return {};
    }
  }
  return {};
}

}  // namespace qx
