#pragma once
// Names of the program's temporary files and folders, and the removal of those a killed program
// left behind. Every temporary name carries "<pid>.<host>" of the process that made it, so a
// later run can tell the leftovers of programs of this machine that no longer run from the files
// of a program still running, here or on another machine that shares the folder; those are never
// touched. Stateless; any thread.
#include <string>

namespace platform {

// "<pid>.<host>" of this process, the host name reduced to letters, digits, ".", "-" and "_".
std::string OwnerTag();

// The temporary folder: TMPDIR, else /tmp; without a final "/".
std::string TemporaryFolder();

// True when name ends in "<tag>-XXXXXX" (six letters or digits) with the tag of a process of this
// machine, other than this one, that no longer runs. A process that runs but is another user's
// counts as running.
bool MadeByEndedProgram(const std::string& name);

// Removes what ended programs of this machine left behind: the folders MakeTempDirectory named
// tempPrefix + tag + "-XXXXXX" directly in the temporary folder, and the temporary files of
// WriteFileAtomic ("NAME.tmp-" + tag + "-XXXXXX") in folder, and in its sub-folders when
// recursive (links to folders are not followed). Errors are ignored: what cannot be removed stays.
void RemoveLeftoversOfEndedPrograms(const std::string& tempPrefix, const std::string& folder, bool recursive);

}  // namespace platform
