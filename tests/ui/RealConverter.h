#pragma once
// Real conversions for window tests that need them: while an object of this class lives, the
// converter class is the product's (LibreOffice Writer through UNO) and converters hand their
// end to the GUI thread through a dispatcher of the test's own. GUI thread; one at a time.
#include <memory>

namespace ui {
class TcvMainThreadDispatcher;
}

namespace uitest {

class RealConverter {
 public:
  RealConverter();
  ~RealConverter();
  RealConverter(const RealConverter&) = delete;
  RealConverter& operator=(const RealConverter&) = delete;

 private:
  std::unique_ptr<ui::TcvMainThreadDispatcher> dispatcher_;
};

}  // namespace uitest
