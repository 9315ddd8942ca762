// The information store beside the program: its file may be damaged or replaced. Decoding
// must never crash, and what we encode must decode to the same lines.
#include <algorithm>

#include "FuzzInput.h"
#include "core/cvInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  if (core::TcvInfo::DecodeStore(bytes, lines)) {
    std::vector<std::string> again;
    fuzz::Check(core::TcvInfo::DecodeStore(core::TcvInfo::EncodeStore(lines), again));
    fuzz::Check(again == lines);
  }
  // Lines of our own (printable ASCII, after the installation number) survive a round trip.
  auto parts = fuzz::Parts(data, size, 4);
  std::vector<std::string> own{"R=1"};
  for (auto& p : parts)
    if (std::all_of(p.begin(), p.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) own.push_back(p);
  std::vector<std::string> back;
  fuzz::Check(core::TcvInfo::DecodeStore(core::TcvInfo::EncodeStore(own), back));
  fuzz::Check(back == own);
  return 0;
}
