#include "ui/ActionButton.h"

#include <QAction>

namespace ui {

TcvActionButton::TcvActionButton(QWidget* parent) : QPushButton(parent) {
  connect(this, &QPushButton::clicked, this, [this] {
    if (action_ && action_->isEnabled()) action_->trigger();
  });
}

void TcvActionButton::SetAction(QAction* action) {
  if (changed_) disconnect(changed_);
  action_ = action;
  if (action_) changed_ = connect(action_, &QAction::changed, this, &TcvActionButton::Sync);
  Sync();
}

QString TcvActionButton::HintOf(const QAction& action) {
  QKeySequence key = action.shortcut();
  if (key.isEmpty()) return action.statusTip();
  QString hint = action.statusTip();
  if (hint.isEmpty()) hint = QString(action.text()).remove(QLatin1Char('&'));
  return hint + QStringLiteral(" (") + key.toString(QKeySequence::NativeText) + QStringLiteral(")");
}

void TcvActionButton::Sync() {
  if (!action_) return;
  setText(action_->text());
  setToolTip(HintOf(*action_));
  setStatusTip(action_->statusTip());
  setEnabled(action_->isEnabled());
  setVisible(action_->isVisible());
}

}  // namespace ui
