#pragma once
// Whether a document loaded without a view reads as the office's own text export reads it.
// The export loads with a view, and making the view brings the computed fields up to date
// (captions, conditions, references, tables of contents); a model alone keeps what the file
// stored, which some writers leave empty or stale. Numbers that depend on pages (page fields,
// page references, notes counted per page) need the layout too. Updating fields on a model
// instead is not the same: the office's own refresh evaluates some kinds differently from its
// import (a hidden sequence shows its number, a Word condition loses its text), so a document
// that needs more than the model gets what the export gets, a view.
// Called inside WriterServer::Guard, on the server's thread; UNO exceptions pass through.
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/lang/XComponent.hpp>

namespace automation::lo {

enum class ViewNeed {
  None,    // the model's text is the export's
  View,    // a computed field in the exported text: load with a view
  Layout,  // a number that depends on pages: load with a view and lay out every page
};

ViewNeed ViewNeedOf(const css::uno::Reference<css::lang::XComponent>& document);

// The document's drawing objects; empty when it has no draw page.
css::uno::Reference<css::container::XIndexAccess> DrawingsOf(const css::uno::Reference<css::lang::XComponent>& document);

// Lays out a document with a view to its last page. The office lays out the first pages at
// once and the rest when it is idle, so without this a page number on a later page reads 0
// or its true value depending on how busy the machine is.
void CompleteLayout(const css::uno::Reference<css::lang::XComponent>& document);

}  // namespace automation::lo
