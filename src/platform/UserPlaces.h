#pragma once
// Where the program keeps its own files, and the user's home folder. A portable copy (a build
// tree, a program unpacked into a folder of the user's) keeps them beside the program; an
// installed program, whose folder the user cannot write, keeps them in the places the XDG base
// directory rules give each user. Any thread; reads the environment.
#include <string>

namespace platform {

struct ProgramPlaces {
  bool installed = false;
  // Paths to which the caller appends an extension: the program file itself when portable,
  // e.g. ~/.config/quillex/quillex when installed.
  std::string settingsBase;  // the start-up project and the recent-projects list
  std::string stateBase;     // the usage counters
  // The manual Help opens when installed (PREFIX/share/doc/NAME/NAME.pdf); empty when portable.
  std::string manual;
};

// Decides where the program's files live and, for an installed program, creates the user's
// folders (owner only) so that the first write finds them. The program counts as installed when
// its folder cannot be written, or when it stands in PREFIX/bin beside PREFIX/share/doc/NAME
// (an installation that root may write, which must still not collect files of its users).
ProgramPlaces PrepareProgramPlaces(const std::string& exeName, const std::string& shortName);

// $HOME, or the password database's entry when it is unset; empty when neither is known.
std::string HomeFolder();
// A leading "~/" (or a lone "~") means the home folder; any other text is returned unchanged.
std::string ExpandHome(const std::string& path);

}  // namespace platform
