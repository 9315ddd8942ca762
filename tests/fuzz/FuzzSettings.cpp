// Settings lists and project files as they come from disk or a -P switch: any bytes, any
// encoding. Reading them must never crash, and a value written must read back as written.
#include <cstdlib>
#include <memory>

#include "FuzzInput.h"
#include "core/SettingsList.h"
#include "core/cvProject.h"
#include "platform/TextEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  auto parts = fuzz::Parts(data, size, 3);
  const std::string& fileBytes = parts[0];

  // The project file reader: decode whatever encoding the bytes claim, then read settings.
  static auto project = std::make_unique<core::TcvProject>("/nonexistent/quillex-fuzz/quillex");
  project->SetSettingsText(platform::DecodeText(fileBytes));
  (void)project->Source();
  (void)project->IsOverwrite();
  (void)project->ThreadsCount();
  (void)project->Bool("Subdir", false);
  (void)project->SettingsText();

  core::SettingsList list;
  list.SetText(fileBytes);
  const std::string& name = parts[1];
  const std::string& value = parts[2];
  // A name is the text before the first "=" and no line holds a line break.
  bool plainName = !name.empty() && name.find_first_of("=\r\n") == std::string::npos;
  bool plainValue = value.find_first_of("\r\n") == std::string::npos;
  list.SetValue(name, value);
  if (plainName && plainValue && !value.empty()) {
    fuzz::Check(list.Value(name) == value);
    // The text form reads back to the same lines.
    core::SettingsList again;
    again.SetText(list.Text());
    fuzz::Check(again.Value(name) == value);
  }
  (void)core::ReadBool(value, false);
  (void)core::ReadInt(value, 0);
  return 0;
}
