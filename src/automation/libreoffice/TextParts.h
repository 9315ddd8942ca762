#pragma once
// Which parts of a Writer document its text export carries, beyond what the export writes by
// itself: notes, headers and footers, comments and text frames appended after the body, tracked
// changes accepted or rejected, hidden text left out. Works on the in-memory model of an open
// document just before it is stored, so the file on disk never changes. Called inside
// WriterServer::Guard, on the server's thread; UNO exceptions pass through to it.
//
// The appended layout, one paragraph per entry after the body, in this order:
//   [Header] TEXT / [Footer] TEXT   each distinct header and footer text once
//   [MARK] TEXT                      each footnote and endnote, MARK as the body shows it
//   [Comment AUTHOR] TEXT            each comment, in the order of its place in the document
//   [Frame] TEXT                     each text frame or shape holding text
// A paragraph break inside an entry's text starts a new line that does not begin with "[".
#include <string>

#include "automation/libreoffice/WriterServer.h"

namespace automation::lo {

struct TextParts {
  bool notes = false;
  bool headers = false;
  bool comments = false;
  bool frames = false;
  enum class Changes { Show, Accept, Reject } changes = Changes::Show;
  bool dropHidden = false;

  bool ExportAsIs() const {
    return !notes && !headers && !comments && !frames && changes == Changes::Show && !dropHidden;
  }
};

// Reads the words of the automation member: a comma list of notes, headers, comments, frames;
// show, accept or reject; keep or drop. Unknown words are ignored (the settings report them).
TextParts TextPartsOf(const std::string& include, const std::string& changes, const std::string& hidden);

// Edits the document's model as the parts ask. Does nothing when parts.ExportAsIs().
void ShapeDocumentText(const WriterDocument& doc, const TextParts& parts);

}  // namespace automation::lo
