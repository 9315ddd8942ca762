// Quillex Converter: batch conversion of word-processor documents to plain text.
#include <iostream>

#include "app/ConventionalOptions.h"
#include "app/ProductConstants.h"
#include "app/Program.h"
#include "app/ProgressLine.h"
#include "app/WindowedRunner.h"
#include "app/cvMain.h"
#include "automation/LibreOfficeWriter.h"
#include "batch/cvConvertor.h"
#include "convert/cvQUILLEX.h"
#include "platform/ProgramPath.h"

int main(int argc, char** argv) try {
  // Help, version and a wrong command line are answered before anything else exists: no window,
  // no display needed, no counter raised.
  app::Invocation invocation = app::ReadArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (invocation.action != app::Invocation::Action::Run)
    return app::AnswerWithoutRunning(invocation, app::kVersion, automation::InstalledOfficeVersion(), std::cout,
                                     std::cerr);

  // An office older than the program knows would fail in ways no message could explain.
  if (std::string why = automation::WhyOfficeCannotBeUsed(); !why.empty()) {
    app::ProgressLine::Say(why);
    return app::TcvMain::kNotCarriedOut;
  }
  automation::RegisterLibreOfficeWriter();
  batch::SetConverterClass([](batch::TcvBatch* batch, int count, batch::TcvNodeEvent onNode) -> batch::TcvConvertor* {
    return new convert::TcvQUILLEX(batch, count, std::move(onNode));
  });
  app::ProgramOptions options;
  options.exeName = platform::ProgramPath();
  options.firstParam = argc > 1 ? argv[1] : "";
  options.commandLine = invocation.commandLine;
  options.runWindowed = app::WindowedRunner(argc, argv);
  return app::RunProgram(options);
} catch (const std::exception& e) {
  // Whatever escaped the run: it could not be carried out.
  app::ProgressLine::Say(std::string("the run could not be carried out: ") + e.what());
  return app::TcvMain::kNotCarriedOut;
} catch (...) {
  app::ProgressLine::Say("the run could not be carried out");
  return app::TcvMain::kNotCarriedOut;
}
