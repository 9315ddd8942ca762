// The settings editor and the about window, driven from the main window as a user would.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "UiTestEnv.h"
#include "core/cvInfo.h"
#include "core/cvProject.h"
#include "ui/cvFormCfg.h"
#include "ui/cvFormMain.h"
#include "ui/cvQuillexAbout.h"

using uitest::Env;

class DialogWindowsTest : public QObject {
  Q_OBJECT
 private slots:
  void configEditsTheSettings_data() {
    QTest::addColumn<QString>("edit");    // "replace": Target line changed; "empty": memo cleared
    QTest::addColumn<QString>("button");  // btnOk or btnCancel
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("subdir");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("settings");
    QTest::newRow("ok takes the edited target") << "replace" << "btnOk" << "/in/*.doc?" << true << "/d/out/"
                                                << "ThreadsCount=2\r\nSource=/in/*.doc?\r\nSubdir=True\r\nTarget=/d/out/\r\n";
    QTest::newRow("cancel keeps what was collected") << "replace" << "btnCancel" << "/in/*.doc?" << true << "/out/"
                                                     << "ThreadsCount=2\r\nSource=/in/*.doc?\r\nSubdir=True\r\nTarget=/out/\r\n";
    QTest::newRow("ok on an emptied memo removes every setting") << "empty" << "btnOk" << "" << false << "" << "";
  }
  void configEditsTheSettings() {
    QFETCH(QString, edit);
    QFETCH(QString, button);
    QFETCH(QString, source);
    QFETCH(bool, subdir);
    QFETCH(QString, target);
    QFETCH(QString, settings);
    Env env;
    ui::TcvFrmMain main;
    env.project->SetSettingsText("ThreadsCount=2\r\n");
    // Typed into the window but never saved: Config must see them.
    main.eSource->setText("/in/*.doc?");
    main.cSubdir->setChecked(true);
    main.eTarget->setText("/out/");
    QString shown;
    QTimer::singleShot(0, [&] {
      ui::TcvFrmCfg* cfg = main.ConfigWindow();
      QVERIFY(cfg && cfg->isVisible());
      shown = cfg->txtCfg->toPlainText();
      if (edit == "empty")
        cfg->txtCfg->clear();
      else
        cfg->txtCfg->setPlainText(shown.replace("Target=/out/", "Target=/d/out/"));
      cfg->findChild<QPushButton*>(button)->click();
    });
    main.aConfig->trigger();
    QVERIFY(!main.ConfigWindow()->isVisible());
    QVERIFY(shown.contains("Source=/in/*.doc?\n"));
    QCOMPARE(main.eSource->text(), source);
    QCOMPARE(main.cSubdir->isChecked(), subdir);
    QCOMPARE(main.eTarget->text(), target);
    QCOMPARE(QString::fromStdString(env.project->SettingsText()), settings);
  }

  void configWindowIsKeptAndRefilled() {
    Env env;
    ui::TcvFrmMain main;
    QTimer::singleShot(0, [&] { main.ConfigWindow()->btnCancel->click(); });
    main.aConfig->trigger();
    ui::TcvFrmCfg* first = main.ConfigWindow();
    QCOMPARE(first->size(), QSize(292, 273));
    QCOMPARE(first->windowTitle(), QString("Config"));
    main.eTarget->setText("/second/");
    QString shown;
    QTimer::singleShot(0, [&] {
      shown = main.ConfigWindow()->txtCfg->toPlainText();
      main.ConfigWindow()->btnCancel->click();
    });
    main.aConfig->trigger();
    QCOMPARE(main.ConfigWindow(), first);
    QVERIFY(shown.contains("Target=/second/"));
  }

  void helpLinksWithAndWithoutCounting() {
    Env env;
    ui::TcvFrmMain main;
    QTimer::singleShot(0, [&] {
      main.ConfigWindow()->btnHelp->click();
      main.ConfigWindow()->btnOk->click();
    });
    main.aConfig->trigger();
    QCOMPARE(uitest::WaitForLinks(env, 1), QStringList{QString::fromStdString(env.exeName + ".pdf")});
    // The editor's Help opens the manual without counting it as the main window's Help does.
    QCOMPARE(env.info->StoreValue("H"), std::string());
  }

  void firstShowAboutOnlyHidesPureConsoleWindows_data() {
    QTest::addColumn<QString>("pureConsole");
    QTest::addColumn<double>("opacity");
    QTest::newRow("PureConsole") << "True" << 0.0;
    QTest::newRow("ordinary project") << "False" << 1.0;
    QTest::newRow("unset") << "" << 1.0;
  }
  void firstShowAboutOnlyHidesPureConsoleWindows() {
    QFETCH(QString, pureConsole);
    QFETCH(double, opacity);
    Env env;
    ui::TcvFrmMain main;
    env.project->SetValue("PureConsole", pureConsole.toStdString());
    ui::TcvFrmQuillexAbout about(&main);
    about.ShowAbout();
    QVERIFY(!about.isVisible());
    QCOMPARE(main.windowOpacity(), opacity);
    QCOMPARE(about.ShowCount(), 1);
  }

  void aboutLabelsAreFilledOnce() {
    Env env;
    env.project->Title = "Quill & Co Converter";
    ui::TcvFrmMain main;
    ui::TcvFrmQuillexAbout about(&main);
    main.SetAboutWindow(&about);
    about.ShowAbout();
    QCOMPARE(about.lblProduct->text(), QString());
    QStringList seen;
    auto lookThenClick = [&] {
      QVERIFY(about.isVisible());
      seen << about.lblProduct->text() + "|" + about.lblVersion->text();
      QTest::mouseClick(&about, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    };
    QTimer::singleShot(0, lookThenClick);
    main.aAbout->trigger();
    QVERIFY(!about.isVisible());
    env.project->Title = "Changed";
    QTimer::singleShot(0, [&] {
      seen << about.lblProduct->text() + "|" + about.lblVersion->text();
      QTest::keyClick(&about, Qt::Key_X);
    });
    main.aAbout->trigger();
    QVERIFY(!about.isVisible());
    // The ampersand is shown as it stands, and the second showing does not refill.
    QCOMPARE(seen, (QStringList{"Quill & Co Converter|2020.12.1118.2014", "Quill & Co Converter|2020.12.1118.2014"}));
    QCOMPARE(about.img->pixmap().size(), QSize(128, 128));
    for (QLabel* label : {about.lblProduct, about.lblVersion, about.lblCopright})
      QCOMPARE(label->palette().color(label->foregroundRole()), QColor(221, 221, 221));
    QCOMPARE(about.size(), QSize(472, 243));
  }
};

static uitest::Register<DialogWindowsTest> registerDialogs;

#include "test_cvFormDialogs.moc"
