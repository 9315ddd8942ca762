#include "automation/libreoffice/FileFormats.h"

namespace automation::lo {

int SaveFormatOfFilter(const std::string& filter) {
  struct Known {
    const char* filter;
    int format;
  };
  static const Known kKnown[] = {
      {"MS Word 97", kFormatDocument},
      {"MS Word 95", kFormatDocument},
      {"MS WinWord 6.0", kFormatDocument},
      {"MS Word 97 Vorlage", kFormatTemplate},
      {"MS Word 95 Vorlage", kFormatTemplate},
      {"Rich Text Format", kFormatRtf},
      {"HTML", kFormatHtml},
      {"HTML (StarWriter)", kFormatHtml},
      {"MS Word 2003 XML", kFormatXml2003},
      {"MS Word 2007 XML", kFormatXmlDocument},
      {"Office Open XML Text", kFormatXmlDocument},
      {"MS Word 2007 XML VBA", kFormatXmlMacros},
      {"MS Word 2007 XML Template", kFormatXmlTemplate},
      {"Office Open XML Text Template", kFormatXmlTemplate},
      {"writer8", kFormatOpenDocument},
      {"writer8_template", kFormatOpenDocument},
      {"Text", kFormatText},
      {"Text (StarWriter/Web)", kFormatText},
  };
  for (const Known& known : kKnown)
    if (filter == known.filter) return known.format;
  // "Text (encoded)" and its Writer/Web and master-document twins.
  if (filter.rfind("Text (", 0) == 0) return kFormatEncodedText;
  return kFormatDocument;
}

}  // namespace automation::lo
