#include "automation/AutoObject.h"

#include "automation/OleError.h"

namespace automation {

EOleMemberNotFound::EOleMemberNotFound(const std::string& member)
    : EOleError("Method '" + member + "' not supported by automation object") {}

std::string TrimServerMessage(std::string description) {
  while (!description.empty() &&
         (description.back() == '.' || static_cast<unsigned char>(description.back()) <= ' '))
    description.pop_back();
  return description;
}

Variant AutoObject::Invoke(const std::string& name, InvokeKind kind, std::vector<Variant>& args) {
  if (!object_) throw EOleError("Automation object is not assigned");
  try {
    return object_->Invoke(name, kind, args);
  } catch (const EOleServerGone& e) {
    throw EOleServerGone(TrimServerMessage(e.what()), e.Reason());
  } catch (const EOleError& e) {
    throw EOleError(TrimServerMessage(e.what()), e.Reason());
  } catch (const std::bad_alloc&) {
    throw EOleError("Out of memory");
  } catch (const std::exception& e) {
    // A server that fails without a description of its own gets the system's generic text.
    std::string message = TrimServerMessage(e.what());
    throw EOleError(message.empty() ? "Unspecified error" : message, core::ReasonOf(e, ""));
  } catch (...) {
    throw EOleError("Unspecified error");
  }
}

Variant AutoObject::Get(const std::string& name) {
  std::vector<Variant> args;
  return Invoke(name, InvokeKind::Get, args);
}

Variant AutoObject::Get(const std::string& name, std::vector<Variant> args) {
  return Invoke(name, InvokeKind::Get, args);
}

void AutoObject::Put(const std::string& name, const Variant& value) {
  std::vector<Variant> args{value};
  Invoke(name, InvokeKind::Put, args);
}

Variant AutoObject::Call(const std::string& name) {
  std::vector<Variant> args;
  return Invoke(name, InvokeKind::Method, args);
}

Variant AutoObject::Call(const std::string& name, std::vector<Variant> args) {
  return Invoke(name, InvokeKind::Method, args);
}

Variant AutoObject::CallRef(const std::string& name, std::vector<Variant>& args) {
  return Invoke(name, InvokeKind::Method, args);
}

void AutoObject::Abort() {
  if (object_) object_->Abort();
}

bool AutoObject::IsAlive() const { return object_ && object_->IsAlive(); }

}  // namespace automation
