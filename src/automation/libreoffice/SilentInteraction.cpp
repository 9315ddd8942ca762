#include "automation/libreoffice/SilentInteraction.h"

#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionApprove.hpp>
#include <com/sun/star/task/XInteractionContinuation.hpp>
#include <com/sun/star/task/XInteractionRequest.hpp>
#include <cppuhelper/implbase1.hxx>

#include "automation/libreoffice/InteractionPolicy.h"
#include "automation/libreoffice/UnoSession.h"

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
    const std::string kind = FromOU(request->getRequest().getValueTypeName());
    if (passwordAsked_ && IsPasswordRequest(kind)) passwordAsked_->store(true);
    const bool approvable = ApprovesRequest(kind);
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
