#pragma once
// Brings the computed fields of a document loaded without a view up to date. The office updates
// fields when it lays a document out for a view; a model alone keeps the values stored in the
// file, which some writers leave empty or stale (a caption's "Figure 1" stored as "Figure ").
// Called inside WriterServer::Guard, on the server's thread; UNO exceptions pass through.
#include <com/sun/star/lang/XComponent.hpp>

namespace automation::lo {

// Recomputes every field that needs no page layout. Returns false when a field in the text the
// export writes (the body and its tables) shows a page number, a page count or a page reference:
// only a view's layout gives those, so the document must be loaded with one.
bool UpdateFieldsWithoutLayout(const css::uno::Reference<css::lang::XComponent>& document);

}  // namespace automation::lo
