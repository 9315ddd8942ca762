#pragma once
// Whether a source can be searched at all, said in words for the person who gave it: the one
// check that the headless run and the window make before anything is created, so both name a
// missing or unreadable source alike. Pure reads of the file system; any thread.
#include <string>

namespace batch {

// Empty when the source can be searched; otherwise one sentence: a named document that does
// not exist, or a source folder that is missing, a file, or cannot be read. source is a path
// ("file:" addresses already turned into one, see TcvBatch::NormalizePath): a folder and a
// mask, a folder, or one document. A folder named without wildcards passes here; the batch
// expands it. Touches nothing on disk.
std::string WhySourceCannotBeRead(const std::string& source);

}  // namespace batch
