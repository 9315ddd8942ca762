#include "automation/libreoffice/ViewNeed.h"

#include <algorithm>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/text/FootnoteNumbering.hpp>
#include <com/sun/star/text/XFootnotesSupplier.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>

namespace automation::lo {
namespace {

using namespace css::uno;
using rtl::OUString;

// What a field needs before its text is right. One call for its kinds: a document may hold
// thousands of fields, and each call is a round trip to the office.
ViewNeed NeedOf(const Reference<css::lang::XServiceInfo>& field) {
  static const char* const kPaged[] = {"PageNumber", "PageCount", "GetReference"};
  // Text typed or stored by the writer, never computed.
  static const char* const kStored[] = {"Annotation", "Input", "DropDown", "Macro", "JumpEdit"};
  const OUString prefix = "com.sun.star.text.textfield.";
  const Sequence<OUString> kinds = field->getSupportedServiceNames();
  for (const OUString& kind : kinds) {
    for (const char* name : kPaged)
      if (kind == prefix + OUString::createFromAscii(name)) return ViewNeed::Layout;
    for (const char* name : kStored)
      if (kind == prefix + OUString::createFromAscii(name)) return ViewNeed::None;
  }
  return ViewNeed::View;
}

// The text export writes the body and the tables in it; headers, footers, frames and notes stay
// out, and page fields there are common (a page number in a footer's table or frame).
bool InExportedText(Reference<css::text::XTextRange> anchor) {
  for (int depth = 0; depth < 16 && anchor.is(); ++depth) {
    Reference<css::lang::XServiceInfo> text(anchor->getText(), UNO_QUERY);
    if (!text.is()) return false;
    const OUString kind = text->getImplementationName();
    if (kind == "SwXBodyText") return true;
    if (kind != "SwXCell") return false;
    // In a cell, the table's own place decides (tables nest).
    Reference<css::text::XTextContent> table;
    Reference<css::beans::XPropertySet>(anchor, UNO_QUERY_THROW)->getPropertyValue("TextTable") >>= table;
    if (!table.is()) return true;
    anchor = table->getAnchor();
  }
  return true;
}

ViewNeed FieldsNeed(const Reference<css::lang::XComponent>& document) {
  Reference<css::text::XTextFieldsSupplier> supplier(document, UNO_QUERY);
  if (!supplier.is()) return ViewNeed::None;
  Reference<css::container::XEnumeration> each = supplier->getTextFields()->createEnumeration();
  ViewNeed need = ViewNeed::None;
  while (each->hasMoreElements() && need != ViewNeed::Layout) {
    Reference<css::lang::XServiceInfo> field(each->nextElement(), UNO_QUERY);
    if (!field.is()) continue;
    const ViewNeed own = NeedOf(field);
    if (own == ViewNeed::None ||
        !InExportedText(Reference<css::text::XTextContent>(field, UNO_QUERY_THROW)->getAnchor()))
      continue;
    need = std::max(need, own);
  }
  return need;
}

// Footnotes counted per page get their numbers from the layout; a model shows 0 for each.
// Endnotes and notes counted per document or chapter are numbered by the model itself.
bool NotesCountedPerPage(const Reference<css::lang::XComponent>& document) {
  Reference<css::text::XFootnotesSupplier> supplier(document, UNO_QUERY);
  if (!supplier.is() || !supplier->getFootnotes()->hasElements()) return false;
  sal_Int16 counting = css::text::FootnoteNumbering::PER_DOCUMENT;
  supplier->getFootnoteSettings()->getPropertyValue("FootnoteCounting") >>= counting;
  return counting == css::text::FootnoteNumbering::PER_PAGE;
}

}  // namespace

ViewNeed ViewNeedOf(const Reference<css::lang::XComponent>& document) {
  if (NotesCountedPerPage(document)) return ViewNeed::Layout;
  return FieldsNeed(document);
}

void CompleteLayout(const Reference<css::lang::XComponent>& document) {
  Reference<css::frame::XModel> model(document, UNO_QUERY_THROW);
  Reference<css::text::XTextViewCursorSupplier> view(model->getCurrentController(), UNO_QUERY_THROW);
  Reference<css::text::XTextViewCursor> cursor = view->getViewCursor();
  Reference<css::text::XPageCursor>(cursor, UNO_QUERY_THROW)->jumpToLastPage();
  // Whoever works with the document next finds the cursor where a load leaves it.
  cursor->gotoStart(false);
}

Reference<css::container::XIndexAccess> DrawingsOf(const Reference<css::lang::XComponent>& document) {
  Reference<css::drawing::XDrawPageSupplier> supplier(document, UNO_QUERY);
  if (!supplier.is()) return nullptr;
  // Writer has one draw page and no other way to it; the API marks this way deprecated only
  // in favour of the many pages of drawings.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return Reference<css::container::XIndexAccess>(supplier->getDrawPage(), UNO_QUERY);
#pragma GCC diagnostic pop
}

}  // namespace automation::lo
