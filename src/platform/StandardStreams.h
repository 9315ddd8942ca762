#pragma once
// The program's standard input and output as byte streams, for a run used as a filter: the
// document read from standard input, the texts written to standard output. SIGPIPE is ignored
// by the program (Signals.h), so a reader that went away shows as StreamWrite::Closed rather
// than ending the program. Any thread; callers serialise writes to standard output.
#include <string>

namespace platform {

// Copies all of standard input into a new file at path (mode 0600), at most maxBytes of it.
// Throws EFileError with the reason (an input longer than maxBytes, a stop request while it
// waits for more); a partial file is then removed.
void CopyStandardInputTo(const std::string& path, long long maxBytes);

// Writes all of data to fd, waiting for room at most 100 ms at a time, and gives up when a stop
// was requested (Signals.h): a reader that stalls can never hold a stopping program. False with
// err (ECANCELED for a stop) when not all was written.
bool WriteUnlessStopped(int fd, const std::string& data, int& err);

enum class StreamWrite { Written, Closed, Failed };
// Writes all of data to standard output. Closed: the reader has gone (EPIPE). Failed: any other
// error, with the system's reason in error.
StreamWrite WriteStandardOutput(const std::string& data, std::string& error);

bool StdinIsTerminal();
bool StdoutIsTerminal();

}  // namespace platform
