#include "app/FilterStreams.h"

#include "platform/FileSystem.h"
#include "platform/StandardStreams.h"

namespace app {

namespace {

// Leftovers of a killed run carry this prefix, so that the next run removes them (TcvMain).
const char kInputPrefix[] = "qx-stdin-";
const char kOutputPrefix[] = "qx-stdout-";

}  // namespace

FilterStreams::~FilterStreams() {
  if (!inputFolder_.empty()) platform::RemoveTree(inputFolder_);
  if (!outputFolder_.empty()) platform::RemoveTree(outputFolder_);
}

std::string FilterStreams::TakeStandardInput(long long maxBytes) {
  inputFolder_ = platform::MakeTempDirectory(kInputPrefix);
  // No extension: the office finds the type by content, as it must for a pipe of any document.
  std::string file = inputFolder_ + "/stdin";
  platform::CopyStandardInputTo(file, maxBytes);
  inputFile_ = file;
  return file;
}

const std::string& FilterStreams::OutputFolder() {
  if (outputFolder_.empty()) outputFolder_ = platform::MakeTempDirectory(kOutputPrefix);
  return outputFolder_;
}

void FilterStreams::Finished(int index, const std::string& textFile) {
  std::lock_guard<std::mutex> guard(lock_);
  held_[index] = textFile;
  for (auto it = held_.find(next_); it != held_.end(); it = held_.find(next_)) {
    const std::string file = it->second;
    held_.erase(it);
    ++next_;
    if (file.empty()) continue;
    std::string bytes;
    bool read = platform::ReadFileBytes(file, bytes);
    platform::DeleteFile(file);
    if (broken_ || !writeError_.empty()) continue;
    if (!read) {
      writeError_ = "a text could not be read back";
      continue;
    }
    std::string error;
    platform::StreamWrite written = platform::WriteStandardOutput(bytes, error);
    if (written == platform::StreamWrite::Closed) broken_ = true;
    if (written == platform::StreamWrite::Failed) {
      writeError_ = error;
      broken_ = true;
    }
  }
}

std::string FilterStreams::WriteError() const {
  std::lock_guard<std::mutex> guard(lock_);
  return writeError_;
}

}  // namespace app
