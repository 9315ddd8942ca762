#pragma once
// The value of an automation argument or result, with the conversions of an OLE VARIANT:
// numbers and booleans convert to each other (true is -1 as a number), text converts to a
// number when it holds one ("16.0" to 16; the decimal point is always "."), and a conversion
// that cannot be made throws EOleError "Type mismatch" ("Overflow" for an integer out of range).
// A plain value type; copies share the object they hold. Any thread.
#include <cstdint>
#include <string>
#include <variant>

#include "automation/AutoObject.h"

namespace automation {

enum class VariantType { Empty, Missing, Bool, Int, Double, String, Object };

class Variant {
 public:
  Variant() = default;
  Variant(bool value) : value_(value) {}
  Variant(int32_t value) : value_(value) {}
  Variant(double value) : value_(value) {}
  Variant(std::string value) : value_(std::move(value)) {}
  Variant(const char* value) : value_(std::string(value ? value : "")) {}
  Variant(AutoObject value) : value_(std::move(value)) {}

  // An omitted optional argument.
  static Variant Missing() {
    Variant v;
    v.value_ = MissingTag{};
    return v;
  }

  VariantType type() const { return static_cast<VariantType>(value_.index()); }
  bool IsEmpty() const { return type() == VariantType::Empty; }
  bool IsMissing() const { return type() == VariantType::Missing; }

  bool AsBool() const;
  int32_t AsInt() const;
  double AsDouble() const;
  // Numbers in the shortest form that reads back the same ("16", "7.4"), booleans as
  // "True"/"False", Empty as "".
  std::string AsString() const;
  // Empty gives a null object.
  AutoObject AsObject() const;

  bool operator==(const Variant& other) const { return value_ == other.value_; }

 private:
  struct MissingTag {
    bool operator==(const MissingTag&) const { return true; }
  };
  // The order matches VariantType.
  std::variant<std::monostate, MissingTag, bool, int32_t, double, std::string, AutoObject>
      value_;
};

}  // namespace automation
