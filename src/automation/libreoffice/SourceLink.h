#pragma once
// A plain ASCII name for a document whose own name the office might not read. The office turns
// a file URL back into a path through its own locale, so a name that is not valid in that
// locale's charset (Latin-1 bytes under UTF-8, or any non-ASCII name under a single-byte locale)
// never opens. The office is given a symbolic link with an ASCII name in a private folder
// instead; it lives as long as the document is open, since the office may read the file again
// (a view added later, parts of a package read on demand). Owned by the open document; one
// thread at a time.
#include <string>

namespace automation::lo {

class SourceLink {
 public:
  // Makes a private folder holding "document.EXT" -> the absolute path. The extension is the
  // source's when it is plain ASCII, so that detection by extension still sees it. Throws
  // EOleError when the folder or the link cannot be made.
  explicit SourceLink(const std::string& path);
  ~SourceLink();
  SourceLink(const SourceLink&) = delete;
  SourceLink& operator=(const SourceLink&) = delete;

  const std::string& Path() const { return link_; }

  // True when the absolute path has a byte outside printable ASCII. A printable ASCII name
  // reads the same in every locale, so such a document opens under its own name, and links
  // relative to its folder keep working.
  static bool Needed(const std::string& path);

 private:
  std::string folder_;
  std::string link_;
};

}  // namespace automation::lo
