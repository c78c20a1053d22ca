#pragma once
// Events as the server raises them, and the EventFilter of an event
// monitored item checked once against the type model and then applied to
// every event: the where clause decides whether the item reports the event,
// the select clauses pick its fields.

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "opcua/AddressSpace.h"
#include "opcua/EventServiceTypes.h"

namespace opcua {

// One event: its type, the node it is about and its fields by browse path
// from the event type ("Severity", "ActiveState/Id"). A field the event
// does not have reads as null.
struct Event {
  NodeId type;
  NodeId source;
  NodeId conditionId;  // the condition object of a condition's event, else null
  std::map<std::string, Variant, std::less<>> fields;
};

// The key of a field: the browse names of the path joined with '/', names
// outside namespace 0 prefixed with their namespace index and ':'.
std::string FieldPath(const std::vector<QualifiedName>& browsePath);

// What one event filter may hold, so that an item's filter costs a bounded
// amount of memory whatever a client sends.
inline constexpr size_t kMaxSelectClauses = 64;
inline constexpr size_t kMaxWhereElements = 32;
inline constexpr size_t kMaxFilterOperands = 16;   // per where-clause element
inline constexpr size_t kMaxFieldPathLength = 8;   // browse names per field
inline constexpr size_t kMaxFieldNameBytes = 64;   // bytes per browse name
inline constexpr size_t kMaxLiteralBytes = 256;    // encoded literal operand

class EventFilterProgram {
 public:
  // Checks `filter` against the types in `space`, with a status per select
  // clause and per where-clause element in `result`. Returns Good, or
  // BadEventFilterInvalid when the item cannot be created with it (no
  // usable select clause, too many clauses or elements, a bad where clause).
  StatusCode Compile(const EventFilter& filter, const AddressSpace& space,
                     EventFilterResult& result);
  // True when the where clause accepts `event` (an empty one accepts all).
  bool Matches(const Event& event, const AddressSpace& space) const;
  // The values of the select clauses for `event`, null where it has none.
  std::vector<Variant> Select(const Event& event, const AddressSpace& space) const;
  size_t SelectCount() const { return select_.size(); }
  // A bound of the memory the compiled filter holds.
  size_t Bytes() const { return bytes_; }

 private:
  struct Field {
    NodeId type;
    std::string path;
    uint32_t attributeId = kAttrValue;
    bool valid = false;
  };
  struct Operand {
    enum class Kind { Literal, Element, Field } kind = Kind::Literal;
    Variant literal;
    uint32_t element = 0;
    Field field;
  };
  struct Element {
    FilterOperator op = FilterOperator::Equals;
    std::vector<Operand> operands;
  };

  static StatusCode CompileField(const SimpleAttributeOperand& operand, const AddressSpace& space,
                                 Field& field);
  StatusCode CompileElement(size_t index, const ContentFilterElement& element,
                            const AddressSpace& space, ContentFilterElementResult& result);
  Variant FieldValue(const Field& field, const Event& event, const AddressSpace& space) const;
  Variant OperandValue(const Operand& operand, const Event& event, const AddressSpace& space,
                       int depth) const;
  bool Evaluate(size_t index, const Event& event, const AddressSpace& space, int depth) const;

  std::vector<Field> select_;
  std::vector<Element> where_;
  size_t bytes_ = 0;
};

// The state of an event monitored item: its filter and the events waiting,
// each already reduced to its selected fields. `overflowed` marks lost
// events; the client is told with an EventQueueOverflowEventType event.
struct EventItemState {
  EventFilterProgram filter;
  std::deque<std::vector<Variant>> queue;
  bool overflowed = false;
};

}  // namespace opcua
