// Quillex Converter: batch conversion of word-processor documents to plain text.
#include "app/Program.h"
#include "app/WindowedRunner.h"
#include "app/cvMain.h"
#include "automation/LibreOfficeWriter.h"
#include "batch/cvConvertor.h"
#include "convert/cvQUILLEX.h"
#include "platform/ProgramPath.h"

int main(int argc, char** argv) try {
  automation::RegisterLibreOfficeWriter();
  batch::SetConverterClass([](batch::TcvBatch* batch, int count, batch::TcvNodeEvent onNode) -> batch::TcvConvertor* {
    return new convert::TcvQUILLEX(batch, count, std::move(onNode));
  });
  app::ProgramOptions options;
  options.exeName = platform::ProgramPath();
  options.firstParam = argc > 1 ? argv[1] : "";
  options.runWindowed = app::WindowedRunner(argc, argv);
  return app::RunProgram(options);
} catch (...) {
  // Whatever escaped the run: it could not be carried out. Nothing reaches a console.
  return app::TcvMain::kNotCarriedOut;
}
