// The page-break rewrite over any saved text: it may only shrink the text, by exactly two
// units per form feed it adds, and must leave no run of three carriage returns behind.
#include <algorithm>

#include "FuzzInput.h"
#include "convert/PageBreaks.h"

namespace {

std::size_t Count(const std::string& s, const std::string& what, std::size_t step) {
  std::size_t n = 0;
  for (std::size_t i = 0; i + what.size() <= s.size(); i += step)
    if (s.compare(i, what.size(), what) == 0) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);

  std::string b = convert::ReplacePageMarksBytes(bytes);
  std::size_t added = std::count(b.begin(), b.end(), '\f') - std::count(bytes.begin(), bytes.end(), '\f');
  fuzz::Check(bytes.size() - b.size() == 2 * added);
  fuzz::Check(b.find("\r\r\r") == std::string::npos);

  std::string u = convert::ReplacePageMarksUtf16(bytes);
  fuzz::Check(u.size() <= bytes.size() && (bytes.size() - u.size()) % 4 == 0);
  std::size_t ffBefore = Count(bytes, std::string("\f\0", 2), 2);
  std::size_t ffAfter = Count(u, std::string("\f\0", 2), 2);
  fuzz::Check(bytes.size() - u.size() == 4 * (ffAfter - ffBefore));
  fuzz::Check(Count(u, std::string("\r\0\r\0\r\0", 6), 2) == 0);
  // An odd trailing byte stays as it was.
  if (bytes.size() % 2) fuzz::Check(u.back() == bytes.back());
  return 0;
}
