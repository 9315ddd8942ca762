#pragma once
// The errors of the late-bound automation layer. Their messages are the texts the converter
// shows in a job entry, so they are formed here once: see AutoObject.h for how a server's own
// description is trimmed. Plain value types; any thread.
#include <stdexcept>
#include <string>

#include "core/FailureReason.h"

namespace automation {

// reason: the failure kind (core::reason), when the raiser knows it; empty otherwise.
class EOleError : public core::EReasoned {
 public:
  explicit EOleError(const std::string& message, std::string reason = std::string())
      : core::EReasoned(message, std::move(reason)) {}
};

// The server behind an object has gone away (crashed, killed, aborted, connection lost).
// Every later call on any object of that server throws this too; the owner should release
// the server and create a new one.
class EOleServerGone : public EOleError {
 public:
  using EOleError::EOleError;
};

// No server is registered for the ProgID asked for: trying again cannot help.
class EOleClassNotRegistered : public EOleError {
 public:
  using EOleError::EOleError;
};

// Thrown by a server for a member it does not have (or not in the kind asked for). The
// message is "Method '<member>' not supported by automation object".
class EOleMemberNotFound : public EOleError {
 public:
  explicit EOleMemberNotFound(const std::string& member);
};

}  // namespace automation
