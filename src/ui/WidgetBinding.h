#pragma once
// TcvWidgetBinding: the Qt side of a bound control (core::IBoundControl), a window control
// bound to a project setting. It reads and writes the
// property that its hint names through Qt's property system: the hint "Text" is the widget's
// "text" property, "Checked" its "checked" property (Booleans travel as "True"/"False").
//
// Owned by the window that owns the widget; it must be unbound from the project before the
// widget goes. GUI thread only.
#include <QPointer>
#include <QWidget>

#include "core/BoundControl.h"

namespace ui {

class TcvWidgetBinding : public core::IBoundControl {
 public:
  // hint: the bound property as the project names it ("Text", "Checked").
  TcvWidgetBinding(QWidget* widget, std::string hint);
  TcvWidgetBinding(const TcvWidgetBinding&) = delete;
  TcvWidgetBinding& operator=(const TcvWidgetBinding&) = delete;

  std::string ComponentName() const override;
  std::string Hint() const override { return hint_; }
  std::string GetProperty(const std::string& name) const override;
  void SetProperty(const std::string& name, const std::string& value) override;

  // The Qt property behind a property name of the project: the first letter in lower case.
  static QByteArray QtPropertyName(const std::string& name);

 private:
  QPointer<QWidget> widget_;
  const std::string hint_;
};

}  // namespace ui
