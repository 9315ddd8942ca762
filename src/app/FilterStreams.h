#pragma once
// The standard streams of a headless run used as a filter: Source "-" (one document read from
// standard input into a private file) and Target "-" (the texts written to standard output in
// list order). Each text is converted into a private folder first and written out once every
// earlier entry of the list has been written or has failed, whatever the number of workers;
// the private files go with this object. Owned by the headless runner.
//
// Threads: TakeStandardInput and OutputFolder on the main thread before the run; Finished from
// the worker threads, serialised by the object's lock (the writing worker waits on a slow
// reader, which holds the others back); Broken and AllWritten from any thread.
#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace app {

class FilterStreams {
 public:
  FilterStreams() = default;
  // Removes the private files and folders.
  ~FilterStreams();
  FilterStreams(const FilterStreams&) = delete;
  FilterStreams& operator=(const FilterStreams&) = delete;

  // Copies standard input into a private file and returns its path; its name gives the text
  // the name stdin.txt. Throws platform::EFileError with the reason.
  std::string TakeStandardInput(long long maxBytes);
  // The path TakeStandardInput returned; empty before.
  const std::string& InputFile() const { return inputFile_; }
  // A private folder for the texts bound for standard output, made on the first call. Throws
  // platform::EFileError.
  const std::string& OutputFolder();

  // The entry at index (0-based list position) has ended; textFile is its text, empty when it
  // has none (a failure). Writes every text that is next in list order and removes its file.
  void Finished(int index, const std::string& textFile);
  // True once no more texts can be written (the reader has gone, or WriteError): the run
  // should end, quietly.
  bool Broken() const { return broken_.load(); }
  // Why a write to standard output failed otherwise (a full disk behind a redirection), the
  // first time; empty when none did.
  std::string WriteError() const;

 private:
  std::string inputFolder_;
  std::string inputFile_;
  std::string outputFolder_;
  mutable std::mutex lock_;
  std::map<int, std::string> held_;  // ended entries waiting for an earlier one, by index
  int next_ = 0;                     // the index written next
  std::atomic<bool> broken_{false};
  std::string writeError_;
};

}  // namespace app
