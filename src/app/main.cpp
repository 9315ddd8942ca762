// Quillex Converter: batch conversion of word-processor documents to plain text.
#include "app/Program.h"
#include "app/WindowedRunner.h"
#include "automation/LibreOfficeWriter.h"
#include "batch/cvConvertor.h"
#include "convert/cvQUILLEX.h"
#include "platform/ProgramPath.h"

int main(int argc, char** argv) {
  automation::RegisterLibreOfficeWriter();
  batch::SetConverterClass([](batch::TcvBatch* batch, int count, batch::TcvNodeEvent onNode) -> batch::TcvConvertor* {
    return new convert::TcvQUILLEX(batch, count, std::move(onNode));
  });
  app::ProgramOptions options;
  options.exeName = platform::ProgramPath();
  options.firstParam = argc > 1 ? argv[1] : "";
  options.runWindowed = app::WindowedRunner(argc, argv);
  return app::RunProgram(options);
}
