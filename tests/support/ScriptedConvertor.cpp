#include "ScriptedConvertor.h"

#include <chrono>
#include <stdexcept>

#include "TestEnv.h"
#include "platform/FileSystem.h"

namespace testsupport {

void ConverterScript::On(const std::string& part, ConvertAction action, const std::string& message) {
  std::lock_guard<std::mutex> guard(lock_);
  rules_.push_back({part, action, message});
}

ConvertAction ConverterScript::ActionFor(const std::string& fileName, std::string& message) const {
  std::lock_guard<std::mutex> guard(lock_);
  // A rule without a slash looks at the file's own name: the test's temporary folder has a
  // random name that may hold any short text ("7.", "x1").
  const std::string name = fileName.substr(fileName.find_last_of('/') + 1);
  for (const auto& rule : rules_)
    if ((rule.part.find('/') == std::string::npos ? name : fileName).find(rule.part) != std::string::npos) {
      message = rule.message;
      return rule.action;
    }
  return ConvertAction::Write;
}

void ConverterScript::Release() {
  std::lock_guard<std::mutex> guard(lock_);
  released_ = true;
  changed_.notify_all();
}

void ConverterScript::Block() {
  std::unique_lock<std::mutex> guard(lock_);
  ++blocked_;
  changed_.notify_all();
  // Bounded, so a test that forgets to release cannot hang the suite.
  changed_.wait_for(guard, std::chrono::seconds(30), [this] { return released_; });
  --blocked_;
}

bool ConverterScript::WaitBlocked(int n, int boundMs) {
  std::unique_lock<std::mutex> guard(lock_);
  return changed_.wait_for(guard, std::chrono::milliseconds(boundMs), [&] { return blocked_ >= n; });
}

void ConverterScript::RecordConverted(const std::string& fileName) {
  std::lock_guard<std::mutex> guard(lock_);
  converted_.push_back(fileName);
  threads_.push_back(std::this_thread::get_id());
}

std::vector<std::string> ConverterScript::Converted() const {
  std::lock_guard<std::mutex> guard(lock_);
  return converted_;
}

std::vector<std::thread::id> ConverterScript::ConvertingThreads() const {
  std::lock_guard<std::mutex> guard(lock_);
  return threads_;
}

ScriptedConvertor::ScriptedConvertor(batch::TcvBatch* batch, int count, batch::TcvNodeEvent onNode,
                                     std::shared_ptr<ConverterScript> script)
    : batch::TcvConvertor(batch, count, std::move(onNode)), script_(std::move(script)) {
  ++script_->liveMembers;
}

ScriptedConvertor::~ScriptedConvertor() { --script_->liveMembers; }

void ScriptedConvertor::Convert(batch::TcvBatch& batch, batch::TcvNode& node) {
  std::string target = GetTargetFileName(batch, node);
  if (target.empty()) return;
  script_->RecordConverted(node.FileName);
  std::string message;
  ConvertAction action = script_->ActionFor(node.FileName, message);
  if (action == ConvertAction::Throw) throw std::runtime_error(message);
  try {
    if (action == ConvertAction::Fail) throw std::runtime_error(message);
    if (action == ConvertAction::Block) script_->Block();
    platform::WriteFileInPlace(target, "text of " + node.FileName, false);
    node.Message = target;
    node.Status = batch::NodeSuccess;
    FinishSourceAfterReport(target);
    batch.AddSuccess();
  } catch (const std::exception& e) {
    node.Message = e.what();
    node.Status = batch::NodeFailure;
    batch.AddFailure(e.what());
  }
}

void ScriptedConvertor::ReleaseResources() { ++script_->releasedResources; }

ScopedScriptedConverterClass::ScopedScriptedConverterClass(std::shared_ptr<ConverterScript> script)
    : script_(std::move(script)) {
  auto shared = script_;
  batch::SetConverterClass([shared](batch::TcvBatch* batch, int count, batch::TcvNodeEvent onNode) {
    return new ScriptedConvertor(batch, count, std::move(onNode), shared);
  });
}

ScopedScriptedConverterClass::~ScopedScriptedConverterClass() {
  WaitUntil([this] { return script_->liveMembers.load() == 0; }, std::chrono::seconds(10));
  batch::SetConverterClass(nullptr);
}

}  // namespace testsupport
