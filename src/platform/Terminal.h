#pragma once
// Facts about the program's standard streams. Any thread.
namespace platform {

bool StderrIsTerminal();

}  // namespace platform
