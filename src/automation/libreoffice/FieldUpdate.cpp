#include "automation/libreoffice/FieldUpdate.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XRefreshable.hpp>

namespace automation::lo {
namespace {

using namespace css::uno;
using rtl::OUString;

enum class Need { Nothing, Update, Layout };

// What a field needs before its text is right. One call for its kinds: a document may hold
// thousands of fields, and each call is a round trip to the office.
Need NeedOf(const Reference<css::lang::XServiceInfo>& field) {
  static const char* const kLayout[] = {"PageNumber", "PageCount", "GetReference"};
  // Text typed or stored by the writer, never computed.
  static const char* const kStored[] = {"Annotation", "Input", "DropDown", "Macro", "JumpEdit"};
  const OUString prefix = "com.sun.star.text.textfield.";
  const Sequence<OUString> kinds = field->getSupportedServiceNames();
  for (const OUString& kind : kinds) {
    for (const char* name : kLayout)
      if (kind == prefix + OUString::createFromAscii(name)) return Need::Layout;
    for (const char* name : kStored)
      if (kind == prefix + OUString::createFromAscii(name)) return Need::Nothing;
  }
  return Need::Update;
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

}  // namespace

bool UpdateFieldsWithoutLayout(const Reference<css::lang::XComponent>& document) {
  Reference<css::text::XTextFieldsSupplier> supplier(document, UNO_QUERY);
  if (!supplier.is()) return true;
  Reference<css::container::XEnumerationAccess> fields = supplier->getTextFields();
  Reference<css::container::XEnumeration> each = fields->createEnumeration();
  bool update = false;
  while (each->hasMoreElements()) {
    Reference<css::lang::XServiceInfo> field(each->nextElement(), UNO_QUERY);
    if (!field.is()) continue;
    const Need need = NeedOf(field);
    if (need == Need::Nothing ||
        !InExportedText(Reference<css::text::XTextContent>(field, UNO_QUERY_THROW)->getAnchor()))
      continue;
    if (need == Need::Layout) return false;
    update = true;
  }
  // The update also counts the words of the whole document, which takes long in a long one:
  // only fields the export writes are worth it.
  if (update) Reference<css::util::XRefreshable>(fields, UNO_QUERY_THROW)->refresh();
  return true;
}

}  // namespace automation::lo
