#include "automation/libreoffice/SourceLink.h"

#include <filesystem>

#include "automation/OleError.h"
#include "platform/Account.h"
#include "platform/FileSystem.h"

namespace automation::lo {
namespace {

std::string Absolute(const std::string& path) {
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(std::filesystem::path(path), ec).string();
  return ec ? path : absolute;
}

bool PrintableAscii(const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20 || c >= 0x7F) return false;
  return true;
}

// ".docx" from "Résumé ü.docx"; empty when the source's extension is not plain ASCII letters and
// digits (the office then detects the format from the contents alone).
std::string AsciiExtension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  if (ext.size() < 2 || ext.size() > 8) return std::string();
  for (size_t i = 1; i < ext.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(ext[i]);
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return std::string();
  }
  return ext;
}

}  // namespace

bool SourceLink::Needed(const std::string& path) { return !PrintableAscii(Absolute(path)); }

SourceLink::SourceLink(const std::string& path) {
  try {
    folder_ = platform::MakeTempDirectory("qx-open-");
    platform::HandToOfficeAccount(folder_);
  } catch (const std::exception&) {
    throw EOleError("The document could not be opened (no temporary folder for its name)");
  }
  link_ = folder_ + "/document" + AsciiExtension(path);
  std::error_code ec;
  std::filesystem::create_symlink(Absolute(path), link_, ec);
  if (ec) {
    platform::RemoveTree(folder_);
    throw EOleError("The document could not be opened (no link for its name: " + ec.message() + ")");
  }
}

SourceLink::~SourceLink() { platform::RemoveTree(folder_); }

}  // namespace automation::lo
