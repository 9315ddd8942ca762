#pragma once
// TcvQUILLEX: the converter of this program. It has the worker's word processor open each
// document and save it as Unicode text (UTF-16, UTF-8, or the ANSI code page: "Encoding", "Ansi";
// CR LF or LF line ends: "LineEnds"), with page
// breaks kept as form feeds when "PageBreaks" is set. Every outcome is recorded in the job entry
// and the batch; one document's failure never stops the worker. A word processor that cannot
// start before any document of the run has succeeded gives up the run (TcvBatch::GiveUpRun).
//
// Threads: Convert runs on the worker's own thread.
#include "convert/cvWordOle.h"

namespace convert {

class TcvQUILLEX : public TcvWordOle {
 public:
  TcvQUILLEX(batch::TcvBatch* batch, int count, batch::TcvNodeEvent onNode);

  void Convert(batch::TcvBatch& batch, batch::TcvNode& node) override;

  // Word's save formats used here.
  static constexpr int32_t kUnicodeText = 7;
  static constexpr int32_t kAnsiText = 2;
  // Not Word's: the office's Markdown export (see automation/libreoffice/FileFormats.h).
  static constexpr int32_t kMarkdown = 100;
  // Word's SaveAs values for the text's encoding (msoEncodingUTF8) and LF-only line ends
  // (wdLFOnly).
  static constexpr int32_t kUtf8Encoding = 65001;
  static constexpr int32_t kLfOnly = 2;
  // Typed at the start of every page but the first; the saved text shows it as three CR.
  static constexpr const char* kPageMarker = "\x07\x07\x07";

 private:
  // Makes sure the worker has a word processor. False when it has none: the entry is then
  // settled as failed, or left without an outcome when the run was given up or abandoned.
  bool StartServerFor(batch::TcvBatch& batch, batch::TcvNode& node);
  // Throws EServerStartFailure when the office in hand cannot write the project's Format:
  // every document would fail alike.
  void RequireFormat();
  bool formatChecked_ = false;
  // Returns the page count.
  int32_t MarkPages();
  // Returns the characters the text could not hold, as the server counts them (0 when it
  // does not count).
  // The text's encoding and line ends come from "Encoding" and "LineEnds" (with "Ansi").
  int32_t SaveDocument(const std::string& target, int32_t format);
};

}  // namespace convert
