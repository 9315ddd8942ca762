#include "automation/libreoffice/FieldUpdate.h"

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

// One call for the field's kinds: a document may hold thousands of fields, each call a round
// trip to the office.
bool ShowsPageLayout(const Reference<css::lang::XServiceInfo>& field) {
  const Sequence<OUString> kinds = field->getSupportedServiceNames();
  for (const OUString& kind : kinds)
    if (kind == "com.sun.star.text.textfield.PageNumber" || kind == "com.sun.star.text.textfield.PageCount" ||
        kind == "com.sun.star.text.textfield.GetReference")
      return true;
  return false;
}

bool InHeaderOrFooter(const Reference<css::text::XTextContent>& field) {
  Reference<css::lang::XServiceInfo> text(field->getAnchor()->getText(), UNO_QUERY);
  return text.is() && text->getImplementationName() == "SwXHeadFootText";
}

}  // namespace

bool UpdateFieldsWithoutLayout(const Reference<css::lang::XComponent>& document) {
  Reference<css::text::XTextFieldsSupplier> supplier(document, UNO_QUERY);
  if (!supplier.is()) return true;
  Reference<css::container::XEnumerationAccess> fields = supplier->getTextFields();
  Reference<css::container::XEnumeration> each = fields->createEnumeration();
  // Most documents have no fields: one call tells, and they cost nothing more.
  if (!each->hasMoreElements()) return true;
  Reference<css::util::XRefreshable>(fields, UNO_QUERY_THROW)->refresh();
  while (each->hasMoreElements()) {
    Reference<css::lang::XServiceInfo> field(each->nextElement(), UNO_QUERY);
    if (field.is() && ShowsPageLayout(field) &&
        !InHeaderOrFooter(Reference<css::text::XTextContent>(field, UNO_QUERY_THROW)))
      return false;
  }
  return true;
}

}  // namespace automation::lo
