#pragma once
// In-memory stand-ins for bound window controls and the project's file dialogs.
#include <map>
#include <string>

#include "core/BoundControl.h"

class FakeControl : public core::IBoundControl {
 public:
  FakeControl(std::string name, std::string hint) : name_(std::move(name)), hint_(std::move(hint)) {}
  std::string ComponentName() const override { return name_; }
  std::string Hint() const override { return hint_; }
  std::string GetProperty(const std::string& name) const override {
    auto it = props_.find(name);
    return it == props_.end() ? "" : it->second;
  }
  void SetProperty(const std::string& name, const std::string& value) override {
    props_[name] = (name == "Checked" && value.empty()) ? "False" : value;
  }
  std::string& operator[](const std::string& name) { return props_[name]; }

 private:
  std::string name_, hint_;
  std::map<std::string, std::string> props_;
};

class FakeDialogs : public core::IProjectDialogs {
 public:
  std::string answer;  // empty: the user cancels
  int opened = 0, saved = 0;
  std::string lastFilter, lastProposed, lastFolder;
  bool OpenFile(const std::string& filter, const std::string& proposed, const std::string& folder,
                std::string& chosen) override {
    ++opened;
    lastFilter = filter, lastProposed = proposed, lastFolder = folder;
    chosen = answer;
    return !answer.empty();
  }
  bool SaveFile(const std::string& filter, const std::string&, const std::string& proposed, const std::string& folder,
                std::string& chosen) override {
    ++saved;
    lastFilter = filter, lastProposed = proposed, lastFolder = folder;
    chosen = answer;
    return !answer.empty();
  }
};
