#pragma once
// TcvFrmBase: the base of every window of the program. It gives the common font (Tahoma 8 pt,
// or the system font family where Tahoma is missing), the initial bounds 100,100,1200x600, the
// placement in the middle of the screen at the first showing, and a modal showing that returns
// the window's modal result, as the settings editor and the about window need.
//
// Owned by whoever creates it (the windowed run, or the main window for its dialogs). GUI thread
// only, like every widget.
#include <QWidget>

#include <functional>
#include <string>

class QEventLoop;

namespace ui {

// Runs a window's handler. An exception it throws goes to the program's handler of uncaught
// exceptions (core::cvInfo()->HandleException: counted and reported, no message box) instead of
// unwinding through the toolkit, and the program goes on.
void RunGuarded(const std::function<void()>& handler);
// Hands an exception's message to that handler; never throws.
void ReportException(const std::string& message);

// Modal results, as the dialogs set them.
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2 };

class TcvFrmBase : public QWidget {
  Q_OBJECT
 public:
  explicit TcvFrmBase(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::Window);
  ~TcvFrmBase() override;

  // Shows the window modal to the whole application and returns when it is hidden or closed,
  // with the modal result set meanwhile (mrNone when it was simply closed).
  int ShowModal();
  int ModalResult() const { return modalResult_; }
  // Sets the result and closes the window, as a dialog button does.
  void SetModalResult(int result);

  // Font "Tahoma" when the system has it, otherwise the system's font family; same size.
  static QFont BaseFont(const QString& family = QStringLiteral("Tahoma"), int pointSize = 8);

 protected:
  // Called at every showing, after the first-show placement.
  virtual void FormShow() {}
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void CenterOnScreen();

  bool placed_ = false;
  int modalResult_ = mrNone;
  QEventLoop* modalLoop_ = nullptr;
};

}  // namespace ui
