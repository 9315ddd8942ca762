#pragma once
// The parts of loading and saving that need no office: turning paths into the URLs the office
// loads and stores, and the stand-in character that carries a typed U+0007 through the text
// export. Pure functions; any thread.
#include <string>

namespace automation::lo {

// The office's text export drops control characters, so a typed U+0007 is inserted as this
// noncharacter (never found in real documents) and turned into U+000D in the saved file.
constexpr char16_t kBellStandIn = 0xFDD0;

// Replaces every U+0007 by the stand-in (UTF-8 in, UTF-8 out).
std::string BellsToStandIns(const std::string& utf8);
// In a text file just written: stand-ins become U+000D.
std::string StandInsToCr_Utf8(const std::string& bytes);
std::string StandInsToCr_Utf16Le(const std::string& bytes);

// True for text the office should load as an address as it stands ("scheme://...").
bool LooksLikeUrl(const std::string& path);
// A file URL for a local path, made absolute against the current folder; every byte outside
// the unreserved characters and "/" is percent-encoded (blanks, "#", "%", quotes, UTF-8).
std::string FileUrlFromPath(const std::string& path);
// Either of the above, as the office should see the path.
std::string OfficeUrl(const std::string& path);

}  // namespace automation::lo
