#pragma once
// Zip packages made in a test (.docx documents of any content): entries stored or deflated.
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct ZipEntry {
  std::string name;
  std::string data;
  bool deflate = false;
};

// The bytes of a zip package holding the entries in order.
std::string ZipPackage(const std::vector<ZipEntry>& entries);

// A minimal .docx: its package parts and the given body of word/document.xml (WordprocessingML
// paragraphs) and relationships of the document part; extra entries are added at the end.
std::string DocxPackage(const std::string& body, const std::string& documentRelationships,
                        std::vector<ZipEntry> extra = {}, bool deflate = false);

}  // namespace testsupport
