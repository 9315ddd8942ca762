#pragma once
// What the office may be told when it asks a question during a load, by the UNO type name of
// the request (such as "com.sun.star.task.DocumentPasswordRequest2"). No UNO here, so that the
// policy reads on its own; SilentInteraction applies it.
#include <string>

namespace automation::lo {

// True approves: only an import warning or error code, the repair of a damaged package and a
// filter's options. Everything else is aborted: passwords, macro confirmations, logins, and
// any kind a later office may add.
bool ApprovesRequest(const std::string& kind);
// True for the office asking for a document's password (plain or Microsoft, either form).
bool IsPasswordRequest(const std::string& kind);

}  // namespace automation::lo
