#include "RealConverter.h"

#include "automation/LibreOfficeWriter.h"
#include "batch/cvConvertor.h"
#include "convert/cvQUILLEX.h"
#include "platform/MainThread.h"
#include "ui/MainThreadDispatcher.h"

namespace uitest {

RealConverter::RealConverter() : dispatcher_(std::make_unique<ui::TcvMainThreadDispatcher>()) {
  platform::SetMainThreadDispatcher(dispatcher_.get());
  automation::RegisterLibreOfficeWriter();
  batch::SetConverterClass(
      [](batch::TcvBatch* batch, int count, batch::TcvNodeEvent onNode) -> batch::TcvConvertor* {
        return new convert::TcvQUILLEX(batch, count, std::move(onNode));
      });
}

RealConverter::~RealConverter() {
  batch::SetConverterClass(nullptr);
  platform::SetMainThreadDispatcher(nullptr);
}

}  // namespace uitest
