#pragma once
// The interaction handler given to every document load. Without one the office answers any
// question it would ask a user (an import warning, a filter choice) by failing the load, so
// documents that LibreOffice's own batch conversion reads would fail here. This handler
// answers as InteractionPolicy says: it approves only what a load asks of the kinds it knows and
// aborts everything else. Nothing ever waits for a person, a protected document still fails at
// once, and no document gets a yes to a question this program has never seen.
//
// Threads: the office calls it over the bridge on a thread of the bridge's.
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/uno/Reference.hxx>

#include <atomic>
#include <memory>

namespace automation::lo {

// passwordAsked, when given, is set once the office asks for a document's password: a failed
// load can then say that the document is protected rather than damaged.
css::uno::Reference<css::task::XInteractionHandler> MakeSilentInteractionHandler(
    std::shared_ptr<std::atomic<bool>> passwordAsked = nullptr);

}  // namespace automation::lo
