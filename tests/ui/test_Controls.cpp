// The small parts the windows are built from: bound controls, dialog filters, pictures, and
// buttons that carry an action.
#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QTest>

#include "UiTestEnv.h"
#include "ui/ActionButton.h"
#include "ui/Dialogs.h"
#include "ui/Pictures.h"
#include "ui/WidgetBinding.h"

namespace {

bool HasPaintedPixel(const QPixmap& pixmap) {
  QImage image = pixmap.toImage();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(image.pixel(x, y)) > 0) return true;
  return false;
}

}  // namespace

class ControlsTest : public QObject {
  Q_OBJECT
 private slots:
  void checkBoxTravelsAsTrueFalse_data() {
    QTest::addColumn<QString>("written");
    QTest::addColumn<bool>("checked");
    QTest::newRow("True") << "True" << true;
    QTest::newRow("lower case") << "true" << true;
    QTest::newRow("number") << "1" << true;
    QTest::newRow("zero") << "0" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("nonsense") << "maybe" << false;
  }
  void checkBoxTravelsAsTrueFalse() {
    QFETCH(QString, written);
    QFETCH(bool, checked);
    QCheckBox box;
    box.setObjectName("cSubdir");
    box.setChecked(!checked);
    ui::TcvWidgetBinding control(&box, "Checked");
    control.SetProperty("Checked", written.toStdString());
    QCOMPARE(box.isChecked(), checked);
    QCOMPARE(control.GetProperty("Checked"), std::string(checked ? "True" : "False"));
  }

  void editTextAndUnknownProperties() {
    QLineEdit edit;
    edit.setObjectName("eSource");
    ui::TcvWidgetBinding control(&edit, "Text");
    QCOMPARE(control.ComponentName(), std::string("eSource"));
    control.SetProperty("Text", "/home/ann/in/*.doc?");
    QCOMPARE(edit.text(), QString("/home/ann/in/*.doc?"));
    QCOMPARE(control.GetProperty("Text"), std::string("/home/ann/in/*.doc?"));
    // A property the widget does not have is neither read nor invented.
    control.SetProperty("Colour", "red");
    QCOMPARE(control.GetProperty("Colour"), std::string());
    QVERIFY(!edit.property("colour").isValid());
  }

  void controlGoneBeforeBinding() {
    auto* edit = new QLineEdit;
    edit->setObjectName("eTarget");
    ui::TcvWidgetBinding control(edit, "Text");
    delete edit;
    control.SetProperty("Text", "x");
    QCOMPARE(control.GetProperty("Text"), std::string());
  }

  void nameFilters_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("description with its patterns") << "Word Document (*.doc;*.docx)|*.doc;*.docx"
                                                   << QStringList{"Word Document (*.doc *.docx)"};
    QTest::newRow("project then documents")
        << "Quillex Project|*.batch-quillex|Word Document (*.doc;*.docx)|*.doc;*.docx"
        << QStringList{"Quillex Project (*.batch-quillex)", "Word Document (*.doc *.docx)"};
    QTest::newRow("log") << "Log File|*.log" << QStringList{"Log File (*.log)"};
    QTest::newRow("empty") << "" << QStringList{"* (*)"};
  }
  void nameFilters() {
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(ui::TcvDialogs::NameFilters(filter), expected);
  }

  void picturesByRole() {
    for (int i = 0; i < ui::imgCount; ++i) {
      QPixmap image = ui::ImagePixmap(i);
      QCOMPARE(image.size(), QSize(16, 16));
      bool unused = i == 12 || i == 13 || i == 15;
      QVERIFY2(HasPaintedPixel(image) != unused, qPrintable(QString("image %1").arg(i)));
    }
    QVERIFY(!HasPaintedPixel(ui::ImagePixmap(99)));
    QPixmap product = ui::ProductPicture();
    QCOMPARE(product.size(), QSize(128, 128));
    QVERIFY(HasPaintedPixel(product));
  }

  void buttonFollowsItsAction() {
    QAction convert("&Convert"), stop("Sto&p");
    convert.setStatusTip("Convert the file(s) instantly");
    ui::TcvActionButton button;
    button.SetAction(&convert);
    QCOMPARE(button.text(), QString("&Convert"));
    QCOMPARE(button.toolTip(), QString("Convert the file(s) instantly"));
    int fired = 0;
    connect(&convert, &QAction::triggered, [&] { ++fired; });
    button.click();
    QCOMPARE(fired, 1);
    convert.setEnabled(false);
    QVERIFY(!button.isEnabled());
    // After the swap, changes of the old action no longer reach the button.
    button.SetAction(&stop);
    convert.setText("changed");
    QCOMPARE(button.text(), QString("Sto&p"));
    QVERIFY(button.isEnabled());
    stop.setVisible(false);
    QVERIFY(button.isHidden());
  }
};

static uitest::Register<ControlsTest> registerControls;

#include "test_Controls.moc"
