#pragma once
// Why a document failed, as one word of a small, stable set: the JSON log carries it in its
// "reason" field, so that a program reading the log can tell a damaged document from a full
// disk without parsing messages. The words never change once published; new kinds get new
// words. Every failure has one; "other" is for what fits no kind.
//
// Errors that know their kind carry it (EReasoned); the room that settles an entry copies it
// into TcvNode::Reason. Plain values; any thread.
#include <stdexcept>
#include <string>

namespace core::reason {

inline constexpr const char* kNotADocument =
    "not-a-document";                               // LibreOffice would read it as plain text, or it is empty
inline constexpr const char* kDamaged = "damaged";  // a document the office cannot read
inline constexpr const char* kPassword = "password";      // protected, and no (right) password
inline constexpr const char* kTimeout = "timeout";        // ConvertTimeout passed
inline constexpr const char* kMemory = "memory";          // OfficeMemoryLimit passed
inline constexpr const char* kBomb = "bomb";              // a package, or a text, that inflates beyond reason
inline constexpr const char* kTooLarge = "too-large";     // above MaxDocumentSize
inline constexpr const char* kLink = "link";              // a symbolic link inside the tree, not followed
inline constexpr const char* kUnreadable = "unreadable";  // missing, no permission, not a regular file
inline constexpr const char* kOffice = "office";          // the office could not start, or died
inline constexpr const char* kWrite = "write";            // the text (or the log) could not be written
inline constexpr const char* kOther = "other";

}  // namespace core::reason

namespace core {

// An error whose kind is known where it is raised.
class EReasoned : public std::runtime_error {
 public:
  EReasoned(const std::string& message, std::string reason)
      : std::runtime_error(message), reason_(std::move(reason)) {}
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
};

// The kind an exception carries, or fallback when it carries none.
inline std::string ReasonOf(const std::exception& e, const char* fallback = reason::kOther) {
  auto* reasoned = dynamic_cast<const EReasoned*>(&e);
  return reasoned && !reasoned->Reason().empty() ? reasoned->Reason() : std::string(fallback);
}

}  // namespace core
