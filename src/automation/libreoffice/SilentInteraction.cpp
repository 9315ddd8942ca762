#include "automation/libreoffice/SilentInteraction.h"

#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionApprove.hpp>
#include <com/sun/star/task/XInteractionContinuation.hpp>
#include <com/sun/star/task/XInteractionRequest.hpp>
#include <cppuhelper/implbase1.hxx>

namespace automation::lo {

namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;

class SilentInteractionHandler : public cppu::WeakImplHelper1<css::task::XInteractionHandler> {
 public:
  explicit SilentInteractionHandler(std::shared_ptr<std::atomic<bool>> passwordAsked)
      : passwordAsked_(std::move(passwordAsked)) {}

  void SAL_CALL handle(const Reference<css::task::XInteractionRequest>& request) override {
    if (!request.is()) return;
    const rtl::OUString kind = request->getRequest().getValueTypeName();
    // DocumentPasswordRequest, DocumentMSPasswordRequest and their "2" forms.
    if (passwordAsked_ && kind.startsWith("com.sun.star.task.Document") && kind.indexOf("PasswordRequest") >= 0)
      passwordAsked_->store(true);
    const bool approvable = kind == "com.sun.star.task.ErrorCodeRequest" ||
                            kind == "com.sun.star.document.BrokenPackageRequest" ||
                            kind == "com.sun.star.document.FilterOptionsRequest";
    const auto continuations = request->getContinuations();
    for (const auto& c : continuations) {
      if (approvable) {
        Reference<css::task::XInteractionApprove> approve(c, UNO_QUERY);
        if (approve.is()) {
          approve->select();
          return;
        }
      }
    }
    for (const auto& c : continuations) {
      Reference<css::task::XInteractionAbort> abort(c, UNO_QUERY);
      if (abort.is()) {
        abort->select();
        return;
      }
    }
  }

 private:
  std::shared_ptr<std::atomic<bool>> passwordAsked_;
};

}  // namespace

Reference<css::task::XInteractionHandler> MakeSilentInteractionHandler(
    std::shared_ptr<std::atomic<bool>> passwordAsked) {
  return new SilentInteractionHandler(std::move(passwordAsked));
}

}  // namespace automation::lo
