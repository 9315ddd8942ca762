#pragma once
// What the project needs of a window control bound to a setting, and of the file dialogs.
// The windows implement these (the property read and written by name through the toolkit's
// property system); tests implement them too. Called on the main thread only.
#include <string>

namespace core {

class IBoundControl {
 public:
  virtual ~IBoundControl() = default;
  // The component name, e.g. "eSource": the settings key is this name without its first letter.
  virtual std::string ComponentName() const = 0;
  // Names the property that carries the value, e.g. "Text" or "Checked".
  virtual std::string Hint() const = 0;
  // The property as text ("True"/"False" for a Boolean); empty for a missing property or on error.
  virtual std::string GetProperty(const std::string& name) const = 0;
  // Sets the property from text (empty counts as "False" for a Boolean); errors are ignored.
  virtual void SetProperty(const std::string& name, const std::string& value) = 0;
};

class IProjectDialogs {
 public:
  virtual ~IProjectDialogs() = default;
  // Filters are "Description|pattern;pattern|Description|pattern". True when the user chose a
  // file; chosen is then its full path.
  virtual bool OpenFile(const std::string& filter, const std::string& proposedName, const std::string& folder,
                        std::string& chosen) = 0;
  // Asks before overwriting an existing file; defaultExt is added to a name without one.
  virtual bool SaveFile(const std::string& filter, const std::string& defaultExt, const std::string& proposedName,
                        const std::string& folder, std::string& chosen) = 0;
};

}  // namespace core
