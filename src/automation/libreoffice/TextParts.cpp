#include "automation/libreoffice/TextParts.h"
#include "automation/libreoffice/ViewNeed.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/XRedlinesSupplier.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/XEndnotesSupplier.hpp>
#include <com/sun/star/text/XFootnote.hpp>
#include <com/sun/star/text/XFootnotesSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/text/XTextTable.hpp>
#include <com/sun/star/container/XIndexReplace.hpp>

namespace automation::lo {
namespace {

using namespace css::uno;
using css::beans::XPropertySet;
using css::container::XEnumerationAccess;
using css::container::XIndexAccess;
using css::text::XText;
using css::text::XTextRange;

bool Has(const std::string& list, const char* word) {
  std::string item;
  for (std::size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || list[i] == ',') {
      item.erase(0, item.find_first_not_of(' '));
      item.erase(item.find_last_not_of(' ') + 1);
      std::transform(item.begin(), item.end(), item.begin(), [](unsigned char c) { return std::tolower(c); });
      if (item == word) return true;
      item.clear();
    } else {
      item += list[i];
    }
  }
  return false;
}

bool Same(std::string text, const char* word) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text == word;
}

// A property some documents or page styles lack reads as void rather than failing the text.
Any PropertyOr(const Reference<XPropertySet>& props, const char* name) {
  try {
    return props->getPropertyValue(OUString::createFromAscii(name));
  } catch (const css::beans::UnknownPropertyException&) {
    return Any();
  }
}

bool BoolProperty(const Reference<XPropertySet>& props, const char* name) {
  bool value = false;
  PropertyOr(props, name) >>= value;
  return value;
}

void Erase(const Reference<XTextRange>& range) {
  Reference<XText> text = range->getText();
  text->createTextCursorByRange(range)->setString(OUString());
}

// Tracked changes become plain text by removing what the chosen side would not keep; the
// change marks that remain no longer alter the exported text.
void SettleChanges(const Reference<css::lang::XComponent>& model, TextParts::Changes changes) {
  Reference<css::document::XRedlinesSupplier> supplier(model, UNO_QUERY);
  if (!supplier.is()) return;
  const OUString drop = changes == TextParts::Changes::Accept ? OUString("Delete") : OUString("Insert");
  std::vector<Reference<XTextRange>> doomed;
  Reference<css::container::XEnumeration> each = supplier->getRedlines()->createEnumeration();
  while (each->hasMoreElements()) {
    Reference<XPropertySet> redline(each->nextElement(), UNO_QUERY);
    OUString type;
    PropertyOr(redline, "RedlineType") >>= type;
    if (type != drop) continue;
    Reference<XTextRange> start, end;
    PropertyOr(redline, "RedlineStart") >>= start;
    PropertyOr(redline, "RedlineEnd") >>= end;
    if (!start.is() || !end.is()) continue;
    Reference<css::text::XTextCursor> cursor = start->getText()->createTextCursorByRange(start);
    cursor->gotoRange(end, true);
    doomed.emplace_back(cursor, UNO_QUERY);
  }
  for (const auto& range : doomed) range->setString(OUString());
}

void CollectHidden(const Reference<XEnumerationAccess>& paragraphs, std::vector<Reference<XTextRange>>& doomed);

void CollectHiddenInTable(const Reference<css::lang::XServiceInfo>& table,
                          std::vector<Reference<XTextRange>>& doomed) {
  Reference<css::text::XTextTable> cells(table, UNO_QUERY);
  if (!cells.is()) return;
  const Sequence<OUString> names = cells->getCellNames();
  for (const OUString& name : names)
    CollectHidden(Reference<XEnumerationAccess>(cells->getCellByName(name), UNO_QUERY), doomed);
}

void CollectHidden(const Reference<XEnumerationAccess>& paragraphs, std::vector<Reference<XTextRange>>& doomed) {
  if (!paragraphs.is()) return;
  Reference<css::container::XEnumeration> each = paragraphs->createEnumeration();
  while (each->hasMoreElements()) {
    Reference<css::lang::XServiceInfo> element(each->nextElement(), UNO_QUERY);
    if (!element.is()) continue;
    if (element->supportsService("com.sun.star.text.TextTable")) {
      CollectHiddenInTable(element, doomed);
      continue;
    }
    Reference<XEnumerationAccess> portions(element, UNO_QUERY);
    if (!portions.is()) continue;
    Reference<css::container::XEnumeration> portion = portions->createEnumeration();
    while (portion->hasMoreElements()) {
      Reference<XPropertySet> props(portion->nextElement(), UNO_QUERY);
      if (props.is() && BoolProperty(props, "CharHidden")) doomed.emplace_back(props, UNO_QUERY);
    }
  }
}

void DropHidden(const Reference<XText>& text) {
  std::vector<Reference<XTextRange>> doomed;
  CollectHidden(Reference<XEnumerationAccess>(text, UNO_QUERY), doomed);
  for (const auto& range : doomed)
    if (range.is()) Erase(range);
}

class Appendix {
 public:
  Appendix(const WriterDocument& doc, const TextParts& parts) : doc_(doc), parts_(parts) {}

  std::string TextOf(const Reference<XText>& text) {
    if (!text.is()) return {};
    if (parts_.dropHidden) DropHidden(text);
    std::string lines = Lines(Reference<XEnumerationAccess>(text, UNO_QUERY));
    // Empty paragraphs that close a part would read as blank lines between entries.
    lines.erase(lines.find_last_not_of('\n') + 1);
    return lines;
  }

  // A text's getString leaves out its tables (a header laid out as a table reads as nothing):
  // each paragraph, and each table cell's paragraphs, is a line of its own, as in the body.
  static std::string Lines(const Reference<XEnumerationAccess>& paragraphs) {
    std::string lines;
    auto add = [&lines](const std::string& line) { lines += (lines.empty() ? "" : "\n") + line; };
    Reference<css::container::XEnumeration> each = paragraphs->createEnumeration();
    while (each->hasMoreElements()) {
      Any element = each->nextElement();
      if (Reference<css::text::XTextTable> table{element, UNO_QUERY}; table.is()) {
        for (const OUString& name : table->getCellNames())
          add(Lines(Reference<XEnumerationAccess>(table->getCellByName(name), UNO_QUERY_THROW)));
      } else if (Reference<XTextRange> paragraph{element, UNO_QUERY}; paragraph.is()) {
        add(paragraph->getString().toUtf8().getStr());
      }
    }
    return lines;
  }

  // Headers that are on but were never given content, and shapes that offer a text but hold
  // none (pictures, lines), answer "no text available": they have no text to add.
  std::string TextIn(const Any& holder) {
    try {
      return TextOf(Reference<XText>(holder, UNO_QUERY));
    } catch (const css::lang::DisposedException&) {
      throw;
    } catch (const RuntimeException&) {
      return {};
    }
  }

  // The space after the tag parts it from the text: blanks a part opens with (Word sets a note
  // off from its mark with a tab, which some offices keep) would only shift it.
  static std::string Entry(const std::string& tag, const std::string& text) {
    const std::size_t start = text.find_first_not_of(" \t");
    return start == std::string::npos ? std::string() : "[" + tag + "] " + text.substr(start);
  }

  void Add(const std::string& tag, const std::string& text) {
    if (std::string entry = Entry(tag, text); !entry.empty()) entries_.push_back(entry);
  }

  void AddOnce(const std::string& tag, const std::string& text) {
    const std::string entry = Entry(tag, text);
    if (!entry.empty() && std::find(entries_.begin(), entries_.end(), entry) == entries_.end())
      entries_.push_back(entry);
  }

  void Headers() {
    Reference<css::style::XStyleFamiliesSupplier> families(doc_.component, UNO_QUERY_THROW);
    Reference<css::container::XNameAccess> styles(families->getStyleFamilies()->getByName("PageStyles"),
                                                  UNO_QUERY_THROW);
    const Sequence<OUString> names = styles->getElementNames();
    for (const char* kind : {"Header", "Footer"}) {
      const std::string is = std::string(kind) + "IsOn";
      for (const OUString& name : names) {
        Reference<XPropertySet> style(styles->getByName(name), UNO_QUERY);
        if (!style.is() || !BoolProperty(style, is.c_str())) continue;
        // First-page and left-page texts are separate only when the style says they differ.
        for (const char* which : {"Text", "TextFirst", "TextLeft"}) {
          const std::string property = std::string(kind) + which;
          AddOnce(kind, TextIn(PropertyOr(style, property.c_str())));
        }
      }
    }
  }

  void Notes(const Reference<XIndexAccess>& notes) {
    if (!notes.is()) return;
    for (sal_Int32 i = 0; i < notes->getCount(); ++i) {
      Reference<css::text::XFootnote> note(notes->getByIndex(i), UNO_QUERY);
      if (!note.is()) continue;
      std::string mark = note->getLabel().toUtf8().getStr();
      if (mark.empty()) mark = note->getAnchor()->getString().toUtf8().getStr();
      Add(mark, TextOf(Reference<XText>(note, UNO_QUERY)));
    }
  }

  void Comments() {
    Reference<css::text::XTextFieldsSupplier> supplier(doc_.component, UNO_QUERY_THROW);
    Reference<css::container::XEnumeration> each = supplier->getTextFields()->createEnumeration();
    std::vector<Reference<XPropertySet>> found;
    while (each->hasMoreElements()) {
      Reference<css::lang::XServiceInfo> field(each->nextElement(), UNO_QUERY);
      if (field.is() && field->supportsService("com.sun.star.text.TextField.Annotation"))
        found.emplace_back(field, UNO_QUERY);
    }
    SortByPlace(found);
    for (const auto& comment : found) {
      OUString author, content;
      PropertyOr(comment, "Author") >>= author;
      PropertyOr(comment, "Content") >>= content;
      const std::string who = author.toUtf8().getStr();
      Add(who.empty() ? "Comment" : "Comment " + who, content.toUtf8().getStr());
    }
  }

  void Frames() {
    Reference<XIndexAccess> shapes = DrawingsOf(doc_.component);
    if (!shapes.is()) return;
    for (sal_Int32 i = 0; i < shapes->getCount(); ++i)
      AddOnce("Frame", TextIn(shapes->getByIndex(i)));
  }

  // One paragraph per entry after the body, free of the last paragraph's list numbering and
  // hidden formatting, which a new paragraph would otherwise inherit.
  void Write() {
    if (entries_.empty()) return;
    Reference<css::text::XTextDocument> document(doc_.component, UNO_QUERY_THROW);
    Reference<XText> body = document->getText();
    Reference<css::text::XTextCursor> cursor = body->createTextCursorByRange(body->getEnd());
    body->insertString(Reference<XTextRange>(cursor, UNO_QUERY), "\r", false);
    cursor->gotoEnd(false);
    Reference<XPropertySet> paragraph(cursor, UNO_QUERY_THROW);
    try {
      paragraph->setPropertyValue("NumberingStyleName", Any(OUString()));
      paragraph->setPropertyValue("NumberingRules", Any(Reference<css::container::XIndexReplace>()));
    } catch (const Exception&) {
      // a paragraph outside any list refuses some of these; it has no number to shed
    }
    paragraph->setPropertyValue("CharHidden", Any(false));
    std::string joined;
    for (std::string entry : entries_) {
      for (char& c : entry)
        if (c == '\n') c = '\r';
      joined += (joined.empty() ? "" : "\r") + entry;
    }
    body->insertString(Reference<XTextRange>(cursor, UNO_QUERY), OUString::fromUtf8(joined.c_str()), false);
  }

 private:
  void SortByPlace(std::vector<Reference<XPropertySet>>& comments) {
    Reference<css::text::XTextDocument> document(doc_.component, UNO_QUERY_THROW);
    Reference<css::text::XTextRangeCompare> order(document->getText(), UNO_QUERY);
    if (!order.is()) return;
    auto before = [&](const Reference<XPropertySet>& a, const Reference<XPropertySet>& b) {
      try {
        Reference<XTextRange> x = Reference<css::text::XTextContent>(a, UNO_QUERY_THROW)->getAnchor();
        Reference<XTextRange> y = Reference<css::text::XTextContent>(b, UNO_QUERY_THROW)->getAnchor();
        return order->compareRegionStarts(x, y) > 0;
      } catch (const css::lang::IllegalArgumentException&) {
        return false;  // not both in the body: their found order stands
      }
    };
    // A few comments per document: an insertion sort keeps the found order among equals.
    for (std::size_t i = 1; i < comments.size(); ++i)
      for (std::size_t j = i; j > 0 && before(comments[j], comments[j - 1]); --j) std::swap(comments[j], comments[j - 1]);
  }

  const WriterDocument& doc_;
  const TextParts& parts_;
  std::vector<std::string> entries_;
};

}  // namespace

TextParts TextPartsOf(const std::string& include, const std::string& changes, const std::string& hidden) {
  TextParts parts;
  parts.notes = Has(include, "notes");
  parts.headers = Has(include, "headers");
  parts.comments = Has(include, "comments");
  parts.frames = Has(include, "frames");
  if (Same(changes, "accept")) parts.changes = TextParts::Changes::Accept;
  if (Same(changes, "reject")) parts.changes = TextParts::Changes::Reject;
  parts.dropHidden = Same(hidden, "drop");
  return parts;
}

void ShapeDocumentText(const WriterDocument& doc, const TextParts& parts) {
  if (parts.ExportAsIs()) return;
  Reference<XPropertySet> settings(doc.component, UNO_QUERY_THROW);
  // Edits must not become tracked changes of their own.
  settings->setPropertyValue("RecordChanges", Any(false));
  if (parts.changes != TextParts::Changes::Show) SettleChanges(doc.component, parts.changes);
  Reference<css::text::XTextDocument> document(doc.component, UNO_QUERY_THROW);
  if (parts.dropHidden) DropHidden(document->getText());
  Appendix appendix(doc, parts);
  if (parts.headers) appendix.Headers();
  if (parts.notes) {
    appendix.Notes(Reference<css::text::XFootnotesSupplier>(doc.component, UNO_QUERY_THROW)->getFootnotes());
    appendix.Notes(Reference<css::text::XEndnotesSupplier>(doc.component, UNO_QUERY_THROW)->getEndnotes());
  }
  if (parts.comments) appendix.Comments();
  if (parts.frames) appendix.Frames();
  appendix.Write();
}

}  // namespace automation::lo
