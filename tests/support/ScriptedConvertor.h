#pragma once
// A converter class for tests of the worker chain: instead of a word processor it follows a
// script shared by every member of the chain. Per source it writes a small target, fails (an
// error the conversion catches), throws (an error that escapes the conversion) or blocks
// until the test releases it. It records what it converted, on which thread, and when its
// members released their resources and were freed.
//
// Threads: the script is shared by the workers and the test; every member is locked.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "batch/cvConvertor.h"

namespace testsupport {

enum class ConvertAction { Write, Fail, Throw, Block };

class ConverterScript {
 public:
  // Sources whose name contains `part` (whose path, when `part` holds a slash) take `action`;
  // the first matching rule wins, and a source no rule matches is written.
  void On(const std::string& part, ConvertAction action, const std::string& message = "scripted failure");
  ConvertAction ActionFor(const std::string& fileName, std::string& message) const;

  // Blocked conversions wait until Release; WaitBlocked waits (bounded) until n are waiting.
  void Release();
  bool WaitBlocked(int n, int boundMs = 10000);
  void Block();

  void RecordConverted(const std::string& fileName);
  std::vector<std::string> Converted() const;
  std::vector<std::thread::id> ConvertingThreads() const;

  std::atomic<int> releasedResources{0};  // ReleaseResources calls
  std::atomic<int> liveMembers{0};        // members constructed and not yet destroyed

 private:
  struct Rule {
    std::string part;
    ConvertAction action;
    std::string message;
  };
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Rule> rules_;
  bool released_ = false;
  int blocked_ = 0;
  std::vector<std::string> converted_;
  std::vector<std::thread::id> threads_;
};

class ScriptedConvertor : public batch::TcvConvertor {
 public:
  ScriptedConvertor(batch::TcvBatch* batch, int count, batch::TcvNodeEvent onNode,
                    std::shared_ptr<ConverterScript> script);
  ~ScriptedConvertor() override;

  void Convert(batch::TcvBatch& batch, batch::TcvNode& node) override;

 protected:
  void ReleaseResources() override;

 private:
  std::shared_ptr<ConverterScript> script_;
};

// Installs ScriptedConvertor as the converter class for its lifetime, then waits (bounded)
// until every member it created has freed itself and restores the base class.
class ScopedScriptedConverterClass {
 public:
  explicit ScopedScriptedConverterClass(std::shared_ptr<ConverterScript> script);
  ~ScopedScriptedConverterClass();
  ScopedScriptedConverterClass(const ScopedScriptedConverterClass&) = delete;
  ScopedScriptedConverterClass& operator=(const ScopedScriptedConverterClass&) = delete;

 private:
  std::shared_ptr<ConverterScript> script_;
};

}  // namespace testsupport
