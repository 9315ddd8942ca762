#include "automation/Variant.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "automation/OleError.h"

namespace automation {
namespace {

[[noreturn]] void TypeMismatch() { throw EOleError("Type mismatch"); }

std::string Trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

bool EqualsNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return i == a.size() && !b[i];
}

// Text as a number, independent of the process locale.
double ParseNumber(const std::string& text) {
  std::string t = Trimmed(text);
  const char* first = t.data();
  const char* last = t.data() + t.size();
  if (first != last && *first == '+') ++first;
  double value = 0;
  auto [end, ec] = std::from_chars(first, last, value);
  if (first == last || ec != std::errc() || end != last) TypeMismatch();
  return value;
}

int32_t ToInt32(double value) {
  if (std::isnan(value)) throw EOleError("Overflow");
  // VARIANT conversions round half to even, as nearbyint does in the default rounding mode.
  double r = std::nearbyint(value);
  if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
    throw EOleError("Overflow");
  return static_cast<int32_t>(r);
}

}  // namespace

bool Variant::AsBool() const {
  switch (type()) {
    case VariantType::Empty: return false;
    case VariantType::Bool: return std::get<bool>(value_);
    case VariantType::Int: return std::get<int32_t>(value_) != 0;
    case VariantType::Double: return std::get<double>(value_) != 0;
    case VariantType::String: {
      const std::string t = Trimmed(std::get<std::string>(value_));
      if (EqualsNoCase(t, "true")) return true;
      if (EqualsNoCase(t, "false")) return false;
      return ParseNumber(t) != 0;
    }
    default: TypeMismatch();
  }
}

int32_t Variant::AsInt() const {
  switch (type()) {
    case VariantType::Empty: return 0;
    case VariantType::Bool: return std::get<bool>(value_) ? -1 : 0;
    case VariantType::Int: return std::get<int32_t>(value_);
    case VariantType::Double: return ToInt32(std::get<double>(value_));
    case VariantType::String: return ToInt32(ParseNumber(std::get<std::string>(value_)));
    default: TypeMismatch();
  }
}

double Variant::AsDouble() const {
  switch (type()) {
    case VariantType::Empty: return 0;
    case VariantType::Bool: return std::get<bool>(value_) ? -1 : 0;
    case VariantType::Int: return std::get<int32_t>(value_);
    case VariantType::Double: return std::get<double>(value_);
    case VariantType::String: return ParseNumber(std::get<std::string>(value_));
    default: TypeMismatch();
  }
}

std::string Variant::AsString() const {
  switch (type()) {
    case VariantType::Empty: return std::string();
    case VariantType::Bool: return std::get<bool>(value_) ? "True" : "False";
    case VariantType::Int: return std::to_string(std::get<int32_t>(value_));
    case VariantType::Double: {
      char buf[64];
      auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::get<double>(value_));
      return std::string(buf, ec == std::errc() ? end : buf);
    }
    case VariantType::String: return std::get<std::string>(value_);
    default: TypeMismatch();
  }
}

AutoObject Variant::AsObject() const {
  switch (type()) {
    case VariantType::Empty: return AutoObject();
    case VariantType::Object: return std::get<AutoObject>(value_);
    default: TypeMismatch();
  }
}

}  // namespace automation
