#include "ui/WidgetBinding.h"

#include <QVariant>
#include <cctype>

#include "core/SettingsList.h"

namespace ui {

TcvWidgetBinding::TcvWidgetBinding(QWidget* widget, std::string hint)
    : widget_(widget), hint_(std::move(hint)) {}

std::string TcvWidgetBinding::ComponentName() const {
  return widget_ ? widget_->objectName().toStdString() : std::string();
}

QByteArray TcvWidgetBinding::QtPropertyName(const std::string& name) {
  QByteArray qtName = QByteArray::fromStdString(name);
  if (!qtName.isEmpty()) qtName[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(qtName[0])));
  return qtName;
}

std::string TcvWidgetBinding::GetProperty(const std::string& name) const {
  if (!widget_) return {};
  QVariant value = widget_->property(QtPropertyName(name).constData());
  if (!value.isValid()) return {};
  if (value.typeId() == QMetaType::Bool) return value.toBool() ? "True" : "False";
  return value.toString().toStdString();
}

void TcvWidgetBinding::SetProperty(const std::string& name, const std::string& value) {
  if (!widget_) return;
  QByteArray qtName = QtPropertyName(name);
  QVariant current = widget_->property(qtName.constData());
  // Only properties the widget declares are written: a dynamic property would silently swallow
  // the value and the control would never show it.
  if (!current.isValid()) return;
  if (current.typeId() == QMetaType::Bool)
    widget_->setProperty(qtName.constData(), core::ReadBool(value, false));
  else
    widget_->setProperty(qtName.constData(), QString::fromStdString(value));
}

}  // namespace ui
