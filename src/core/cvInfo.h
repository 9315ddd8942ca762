#pragma once
// TcvInfo: what the program knows about its installation and use. It keeps the information
// store (usage counters under one-letter keys) in a private file of the program's, builds
// every help, web, report and mail link, and counts and reports exceptions that nothing else
// caught.
//
// Threads: links and most counter updates come from the main thread; a worker records the
// word processor's version. Store reads and writes are serialised by the store's own lock.
// Processes: several programs may share one store (shards of one job beside one installed
// program). Each change re-reads the file and writes it whole under a lock file beside it
// (StoreFileName() + ".lock"), so no process writes back a stale copy over another's counts.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/SettingsList.h"

namespace core {

class TcvInfo {
 public:
  // Computes the installation number, loads the store and counts this start (R).
  // webSite has no trailing "/"; mailbox is the support address. The store is stateBase with
  // ".ext" for its extension, and Help opens manual; empty, they are the program's own name
  // with ".ext" and (".chm" when it exists, else) ".pdf", beside the program.
  TcvInfo(std::string exeName, std::string webSite, std::string mailbox, std::string stateBase = "",
          std::string manual = "");
  // Writes the store (a failure is silent).
  ~TcvInfo();
  TcvInfo(const TcvInfo&) = delete;
  TcvInfo& operator=(const TcvInfo&) = delete;

  int32_t InstallNumber() const { return installNumber_; }
  std::string StoreFileName() const;
  std::string StoreValue(const std::string& key) const;
  std::vector<std::string> StoreLines() const;

  // Value > 0 replaces the stored number; otherwise Step is added to the number stored in the
  // file now (other processes' counts included). Writes the store when the text changed. Any
  // thread.
  void UpdateCounter(const std::string& key, int64_t value, int64_t step);
  // Builds one link and hands it to the shell; never waits, never reports.
  void OpenLink(const std::string& page, const std::string& action, const std::string& extra);
  // The link OpenLink would open.
  std::string BuildLink(const std::string& page, const std::string& action, const std::string& extra) const;
  // Opens the failure report for a run's distinct failure messages.
  void ReportFailures(const std::vector<std::string>& errors);
  // Counts the exception (E) and opens an error report link; no message box.
  void HandleException(const std::string& message);

  void LoadStore();
  void SaveStore();

  // The store's private file format.
  static std::string EncodeStore(const std::vector<std::string>& lines);
  // False when the bytes are not a store of ours.
  static bool DecodeStore(const std::string& bytes, std::vector<std::string>& lines);
  // The failure report action: "err&e=" and the messages as comma text, "?" as "%3F".
  static std::string FailureReportAction(const std::vector<std::string>& errors);
  static std::string CommaText(const std::vector<std::string>& items);

 private:
  std::string CounterText() const;
  // Under the store's lock and the lock file: takes the file's lines when it holds a store,
  // applies change, and writes the store when change returns true.
  void ChangeStore(const std::function<bool(SettingsList&)>& change);

  const std::string exeName_;
  const std::string webSite_;
  const std::string mailbox_;
  const std::string stateBase_;
  const std::string manual_;
  int32_t installNumber_ = -1;
  mutable std::mutex lock_;
  SettingsList store_;
};

}  // namespace core
