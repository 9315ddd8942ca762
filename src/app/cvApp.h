#pragma once
// TcvApp: the program path and the first command-line argument, taken once at start-up.
// Created first and released last; read on the main thread.
#include <string>

namespace app {

class TcvApp {
 public:
  TcvApp(std::string exeName, std::string firstParam)
      : ExeName(std::move(exeName)), FirstParam(std::move(firstParam)) {}
  const std::string ExeName;
  const std::string FirstParam;
};

}  // namespace app
