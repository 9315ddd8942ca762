#pragma once
// A scripted word-processor automation server: the application object and the objects under
// it, each member recorded, and failures, a vanishing server or a hang on demand. It writes
// real files on SaveAs, so the converter's later steps run as with the real server.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "automation/AutoObject.h"
#include "automation/Variant.h"

namespace scripted {

// What every server of one test shares: the script and the record.
struct Script {
  std::mutex lock;
  // Script.
  automation::Variant version = automation::Variant("16.0");
  bool visibleFails = false;
  std::string openError;     // non-empty: Documents.Open throws this
  std::string saveError;     // non-empty: SaveAs throws this
  int vanishAtSave = -1;     // the n-th SaveAs (0-based, over all servers) finds the server gone
  bool hangAtSave = false;   // SaveAs blocks until the server is aborted
  int saveDelayMs = 0;       // SaveAs takes this long
  int startDelayMs = 0;      // creating a server takes this long
  int startFailures = 0;     // the next n creations fail
  int pages = 1;
  // Record.
  int created = 0;
  int starts = 0;  // creations tried, failed ones included
  int quits = 0;
  int aborts = 0;
  int saves = 0;
  std::vector<std::string> calls;  // "Member(arg,arg)" in order
  std::vector<int> openArgCounts;
  std::vector<std::string> typed;

  void Record(const std::string& call) {
    std::lock_guard<std::mutex> g(lock);
    calls.push_back(call);
  }
  int Count(const std::string& prefix) {
    std::lock_guard<std::mutex> g(lock);
    int n = 0;
    for (auto& c : calls) n += c.rfind(prefix, 0) == 0;
    return n;
  }
};

// Creates a new application object for the script (as the registry's factory does).
automation::AutoObject NewApplication(const std::shared_ptr<Script>& script);

}  // namespace scripted
