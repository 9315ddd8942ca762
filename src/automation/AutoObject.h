#pragma once
// Late-bound automation objects. A server implements IDispatchable; callers hold AutoObject,
// a shared handle, and reach members by name with positional arguments (Variant::Missing()
// for an omitted one), as a script reaches a COM object through IDispatch.
//
// Errors: everything a member call throws reaches the caller as EOleError (EOleServerGone when
// the server has gone away). A server's own description is trimmed of trailing "." and of
// trailing characters up to U+0020; a member the server lacks gives
// "Method '<member>' not supported by automation object".
//
// Threads: an object is used by one thread at a time, except Abort and IsAlive, which any
// thread may call while another is inside a call on the same server.
#include <memory>
#include <string>
#include <vector>

namespace automation {

class Variant;

enum class InvokeKind { Get, Put, Method };

// The server side of an automation object.
class IDispatchable {
 public:
  virtual ~IDispatchable() = default;
  // Carries out one member: a read (Get), an assignment (Put: the value is the last argument)
  // or a method. Arguments are positional; a by-reference argument may be written back into
  // args. A parameterless read may arrive as Get or as Method, and a server should accept
  // either, as IDispatch servers do. Member names compare case-insensitively.
  virtual Variant Invoke(const std::string& member, InvokeKind kind,
                         std::vector<Variant>& args) = 0;
  // Ends the server behind this object at once. Any thread; calls in progress and later calls
  // then throw EOleServerGone.
  virtual void Abort() {}
  // False once the server is known to have gone away.
  virtual bool IsAlive() const { return true; }
};

class AutoObject {
 public:
  AutoObject() = default;
  explicit AutoObject(std::shared_ptr<IDispatchable> object) : object_(std::move(object)) {}

  explicit operator bool() const { return object_ != nullptr; }

  Variant Get(const std::string& name);
  Variant Get(const std::string& name, std::vector<Variant> args);
  void Put(const std::string& name, const Variant& value);
  Variant Call(const std::string& name);
  Variant Call(const std::string& name, std::vector<Variant> args);
  // As Call, with the arguments written back (by-reference arguments).
  Variant CallRef(const std::string& name, std::vector<Variant>& args);

  // Harmless on a null object.
  void Abort();
  // False for a null object.
  bool IsAlive() const;
  // Drops this handle; the server goes when its last handle goes.
  void Release() { object_.reset(); }

  IDispatchable* get() const { return object_.get(); }
  bool operator==(const AutoObject& other) const { return object_ == other.object_; }

 private:
  Variant Invoke(const std::string& name, InvokeKind kind, std::vector<Variant>& args);

  std::shared_ptr<IDispatchable> object_;
};

// Trims a server's error description the way the automation interface shows it.
std::string TrimServerMessage(std::string description);

}  // namespace automation

#include "automation/Variant.h"
