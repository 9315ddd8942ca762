// Paths and masks from users: NormalizePath, MaskToRegex and the expression engine on user
// patterns ("RegExt") against user paths. Bad patterns must be reported as errors; a pattern
// that backtracks without end must be cut off by the match budget, never stall.
#include "FuzzInput.h"
#include "batch/VBScriptRegex.h"
#include "batch/cvBatch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  auto parts = fuzz::Parts(data, size, 3);
  const std::string& path = parts[0];
  const std::string& mask = parts[1];
  const std::string& pattern = parts[2];
  try {
    std::string normal = batch::TcvBatch::NormalizePath(path);
    fuzz::Check(normal.size() <= path.size());
  } catch (const batch::ERegexException&) {
  }
  std::string expr = batch::MaskToRegex(mask);
  try {
    bool hit = batch::Regex::Test(expr, batch::Regex::IgnoreCase, path);
    // A mask without wildcards or case matters matches a path that ends in it.
    if (!mask.empty() && mask.find_first_of("*?|\\") == std::string::npos && path.size() >= mask.size() &&
        path.compare(path.size() - mask.size(), mask.size(), mask) == 0)
      fuzz::Check(hit);
  } catch (const batch::ERegexException&) {
  }
  try {
    (void)batch::Regex::Test(pattern, batch::Regex::IgnoreCase, path);
    (void)batch::Regex::Replace(pattern, path, mask);
  } catch (const batch::ERegexException&) {
  }
  return 0;
}
