#pragma once
// TcvActionButton: a push button that carries an action, as the buttons of the run line do: it
// shows the action's caption, hint, enabled and visible state, follows its later changes, and
// triggers it when clicked. Changing the action (Convert to Pause, Start to Stop) changes the
// button at once. GUI thread only.
#include <QPointer>
#include <QPushButton>

class QAction;

namespace ui {

class TcvActionButton : public QPushButton {
  Q_OBJECT
 public:
  explicit TcvActionButton(QWidget* parent = nullptr);

  void SetAction(QAction* action);
  QAction* Action() const { return action_; }

  // The hint a control shows for action: its hint (or, without one, its caption) followed by
  // its first shortcut as Qt writes it, "Open a batch project (Ctrl+O)". Just the hint when the
  // action has no shortcut.
  static QString HintOf(const QAction& action);

 private:
  void Sync();

  QPointer<QAction> action_;
  QMetaObject::Connection changed_;
};

}  // namespace ui
