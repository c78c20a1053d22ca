#include "opcua/EventFilter.h"

#include <cmath>
#include <optional>

#include "opcua/EventNodeIds.h"

namespace opcua {

namespace {

// Where clauses nest through element operands, which must point further
// down the list; the bound is the list's own bound.
constexpr int kMaxEvaluationDepth = static_cast<int>(kMaxWhereElements);

bool IsEventType(const NodeId& type, const AddressSpace& space) {
  const Node* node = space.Find(type);
  return node && node->nodeClass == NodeClass::ObjectType &&
         space.IsSubtype(type, NodeId(0, ids::BaseEventType));
}

std::optional<double> Number(const Variant& v) {
  if (v.isArray) return std::nullopt;
  return std::visit(
      [](const auto& x) -> std::optional<double> {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_arithmetic_v<T> && !std::is_same_v<T, bool>)
          return static_cast<double>(x);
        return std::nullopt;
      },
      v.scalar);
}

// Numbers compare by value whatever their types; anything else must match
// exactly.
int Compare(const Variant& a, const Variant& b, bool& comparable) {
  auto x = Number(a), y = Number(b);
  comparable = x && y && !std::isnan(*x) && !std::isnan(*y);
  if (!comparable) return 0;
  return *x < *y ? -1 : *x > *y ? 1 : 0;
}

bool Equal(const Variant& a, const Variant& b) {
  bool comparable = false;
  int c = Compare(a, b, comparable);
  return comparable ? c == 0 : a == b;
}

bool Truth(const Variant& v) {
  auto* b = std::get_if<bool>(&v.scalar);
  return !v.isArray && b && *b;
}

// Operands each operator takes: {fewest, most}.
std::optional<std::pair<size_t, size_t>> OperandCount(FilterOperator op) {
  switch (op) {
    case FilterOperator::Equals:
    case FilterOperator::GreaterThan:
    case FilterOperator::LessThan:
    case FilterOperator::GreaterThanOrEqual:
    case FilterOperator::LessThanOrEqual:
    case FilterOperator::And:
    case FilterOperator::Or: return std::pair<size_t, size_t>{2, 2};
    case FilterOperator::IsNull:
    case FilterOperator::Not:
    case FilterOperator::OfType: return std::pair<size_t, size_t>{1, 1};
    case FilterOperator::InList: return std::pair<size_t, size_t>{2, kMaxFilterOperands};
    default: return std::nullopt;
  }
}

bool KnownOperator(FilterOperator op) {
  auto raw = static_cast<int32_t>(op);
  return raw >= 0 && raw <= static_cast<int32_t>(FilterOperator::BitwiseOr);
}

}  // namespace

std::string FieldPath(const std::vector<QualifiedName>& browsePath) {
  std::string key;
  for (const auto& name : browsePath) {
    if (!key.empty()) key += '/';
    if (name.ns != 0) key += std::to_string(name.ns) + ':';
    key += name.name;
  }
  return key;
}

StatusCode EventFilterProgram::CompileField(const SimpleAttributeOperand& operand,
                                            const AddressSpace& space, Field& field) {
  field = {};
  if (!IsEventType(operand.typeDefinitionId, space)) return status::BadTypeDefinitionInvalid;
  if (operand.browsePath.size() > kMaxFieldPathLength) return status::BadBrowseNameInvalid;
  for (const auto& name : operand.browsePath)
    if (name.name.empty() || name.name.size() > kMaxFieldNameBytes)
      return status::BadBrowseNameInvalid;
  bool nodeIdOfCondition = operand.attributeId == kAttrNodeId && operand.browsePath.empty();
  if (operand.attributeId != kAttrValue && !nodeIdOfCondition) return status::BadAttributeIdInvalid;
  if (!operand.indexRange.empty()) return status::BadIndexRangeInvalid;
  field.type = operand.typeDefinitionId;
  field.path = FieldPath(operand.browsePath);
  field.attributeId = operand.attributeId;
  field.valid = true;
  return status::Good;
}

StatusCode EventFilterProgram::CompileElement(size_t index, const ContentFilterElement& element,
                                              const AddressSpace& space,
                                              ContentFilterElementResult& result) {
  if (!KnownOperator(element.filterOperator)) return status::BadFilterOperatorInvalid;
  auto count = OperandCount(element.filterOperator);
  if (!count) return status::BadFilterOperatorUnsupported;
  if (element.filterOperands.size() < count->first || element.filterOperands.size() > count->second)
    return status::BadFilterOperandCountMismatch;
  Element compiled;
  compiled.op = element.filterOperator;
  bool allGood = true;
  for (const auto& raw : element.filterOperands) {
    Operand operand;
    StatusCode st = status::Good;
    LiteralOperand literal;
    ElementOperand elementRef;
    SimpleAttributeOperand attribute;
    if (Unwrap(raw, literal).IsGood()) {
      operand.kind = Operand::Kind::Literal;
      operand.literal = std::move(literal.value);
      if (raw.body.size() > kMaxLiteralBytes) st = status::BadFilterLiteralInvalid;
    } else if (Unwrap(raw, elementRef).IsGood()) {
      operand.kind = Operand::Kind::Element;
      operand.element = elementRef.index;
      if (elementRef.index <= index || elementRef.index >= kMaxWhereElements)
        st = status::BadFilterOperandInvalid;
    } else if (Unwrap(raw, attribute).IsGood()) {
      operand.kind = Operand::Kind::Field;
      st = CompileField(attribute, space, operand.field);
      if (!st.IsGood()) st = status::BadFilterOperandInvalid;
    } else {
      st = status::BadFilterOperandInvalid;
    }
    if (st.IsGood() && compiled.op == FilterOperator::OfType) {
      auto* type = std::get_if<NodeId>(&operand.literal.scalar);
      if (operand.kind != Operand::Kind::Literal || operand.literal.isArray || !type ||
          !IsEventType(*type, space))
        st = status::BadFilterOperandInvalid;
    }
    result.operandStatusCodes.push_back(st);
    allGood = allGood && st.IsGood();
    bytes_ += sizeof(Operand) + raw.body.size();
    compiled.operands.push_back(std::move(operand));
  }
  if (!allGood) return status::BadFilterOperandInvalid;
  where_.push_back(std::move(compiled));
  return status::Good;
}

StatusCode EventFilterProgram::Compile(const EventFilter& filter, const AddressSpace& space,
                                       EventFilterResult& result) {
  select_.clear();
  where_.clear();
  bytes_ = sizeof(*this);
  result = {};
  const auto& clauses = filter.selectClauses;
  const auto& elements = filter.whereClause.elements;
  // Too much to hold is refused whole, before any of it is kept.
  if (clauses.empty() || clauses.size() > kMaxSelectClauses || elements.size() > kMaxWhereElements)
    return status::BadEventFilterInvalid;
  bool anyValid = false;
  for (const auto& clause : clauses) {
    Field field;
    StatusCode st = CompileField(clause, space, field);
    result.selectClauseResults.push_back(st);
    anyValid = anyValid || st.IsGood();
    bytes_ += sizeof(Field) + field.path.size();
    select_.push_back(std::move(field));
  }
  bool whereGood = true;
  for (size_t i = 0; i < elements.size(); ++i) {
    ContentFilterElementResult element;
    element.statusCode = CompileElement(i, elements[i], space, element);
    whereGood = whereGood && element.statusCode.IsGood();
    result.whereClauseResult.elementResults.push_back(std::move(element));
  }
  // An element operand must name an element that exists.
  for (const auto& element : where_)
    for (const auto& operand : element.operands)
      if (operand.kind == Operand::Kind::Element && operand.element >= where_.size())
        whereGood = false;
  if (!whereGood) {
    where_.clear();
    return status::BadEventFilterInvalid;
  }
  return anyValid ? status::Good : status::BadEventFilterInvalid;
}

Variant EventFilterProgram::FieldValue(const Field& field, const Event& event,
                                       const AddressSpace& space) const {
  if (!field.valid || !space.IsSubtype(event.type, field.type)) return {};
  if (field.attributeId == kAttrNodeId) {
    if (event.conditionId.IsNull()) return {};
    return event.conditionId;
  }
  auto it = event.fields.find(field.path);
  return it == event.fields.end() ? Variant{} : it->second;
}

Variant EventFilterProgram::OperandValue(const Operand& operand, const Event& event,
                                         const AddressSpace& space, int depth) const {
  switch (operand.kind) {
    case Operand::Kind::Literal: return operand.literal;
    case Operand::Kind::Field: return FieldValue(operand.field, event, space);
    case Operand::Kind::Element: return Evaluate(operand.element, event, space, depth + 1);
  }
  return {};
}

bool EventFilterProgram::Evaluate(size_t index, const Event& event, const AddressSpace& space,
                                  int depth) const {
  if (index >= where_.size() || depth > kMaxEvaluationDepth) return false;
  const Element& e = where_[index];
  auto value = [&](size_t i) { return OperandValue(e.operands[i], event, space, depth); };
  bool comparable = false;
  switch (e.op) {
    case FilterOperator::Equals: return Equal(value(0), value(1));
    case FilterOperator::IsNull: return value(0).IsEmpty();
    case FilterOperator::GreaterThan: return Compare(value(0), value(1), comparable) > 0 && comparable;
    case FilterOperator::LessThan: return Compare(value(0), value(1), comparable) < 0 && comparable;
    case FilterOperator::GreaterThanOrEqual:
      return Compare(value(0), value(1), comparable) >= 0 && comparable;
    case FilterOperator::LessThanOrEqual:
      return Compare(value(0), value(1), comparable) <= 0 && comparable;
    case FilterOperator::Not: return !Truth(value(0));
    case FilterOperator::And: return Truth(value(0)) && Truth(value(1));
    case FilterOperator::Or: return Truth(value(0)) || Truth(value(1));
    case FilterOperator::OfType: {
      auto* type = std::get_if<NodeId>(&e.operands[0].literal.scalar);
      return type && space.IsSubtype(event.type, *type);
    }
    case FilterOperator::InList: {
      Variant first = value(0);
      for (size_t i = 1; i < e.operands.size(); ++i)
        if (Equal(first, value(i))) return true;
      return false;
    }
    default: return false;
  }
}

bool EventFilterProgram::Matches(const Event& event, const AddressSpace& space) const {
  return where_.empty() || Evaluate(0, event, space, 0);
}

std::vector<Variant> EventFilterProgram::Select(const Event& event,
                                                const AddressSpace& space) const {
  std::vector<Variant> fields;
  fields.reserve(select_.size());
  for (const auto& field : select_) fields.push_back(FieldValue(field, event, space));
  return fields;
}

}  // namespace opcua
