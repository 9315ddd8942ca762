#include "automation/libreoffice/InteractionPolicy.h"

namespace automation::lo {

bool ApprovesRequest(const std::string& kind) {
  return kind == "com.sun.star.task.ErrorCodeRequest" || kind == "com.sun.star.document.BrokenPackageRequest" ||
         kind == "com.sun.star.document.FilterOptionsRequest";
}

bool IsPasswordRequest(const std::string& kind) {
  for (const char* known : {"com.sun.star.task.DocumentPasswordRequest", "com.sun.star.task.DocumentPasswordRequest2",
                            "com.sun.star.task.DocumentMSPasswordRequest",
                            "com.sun.star.task.DocumentMSPasswordRequest2"})
    if (kind == known) return true;
  return false;
}

}  // namespace automation::lo
