#pragma once
// The interaction handler given to every document load. Without one the office answers any
// question it would ask a user (an import warning, a filter choice) by failing the load, so
// documents that LibreOffice's own batch conversion reads would fail here. This handler
// approves warnings and abandons every request for a password, so nothing ever waits for a
// person and a protected document still fails at once.
//
// Threads: the office calls it over the bridge on a thread of the bridge's.
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/uno/Reference.hxx>

namespace automation::lo {

css::uno::Reference<css::task::XInteractionHandler> MakeSilentInteractionHandler();

}  // namespace automation::lo
