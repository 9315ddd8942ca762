#pragma once
// The program's standard input and output as byte streams, for a run used as a filter: the
// document read from standard input, the texts written to standard output. SIGPIPE is ignored
// by the program (Signals.h), so a reader that went away shows as StreamWrite::Closed rather
// than ending the program. Any thread; callers serialise writes to standard output.
#include <string>

namespace platform {

// Copies all of standard input into a new file at path (mode 0600). Throws EFileError with the
// reason; a partial file is then removed.
void CopyStandardInputTo(const std::string& path);

enum class StreamWrite { Written, Closed, Failed };
// Writes all of data to standard output. Closed: the reader has gone (EPIPE). Failed: any other
// error, with the system's reason in error.
StreamWrite WriteStandardOutput(const std::string& data, std::string& error);

bool StdinIsTerminal();
bool StdoutIsTerminal();

}  // namespace platform
