// Runs the window test classes: all of them, or the one named by the first argument (the rest
// of the arguments go to QtTest).
#include <QApplication>
#include <QTest>

#include <cstring>
#include <vector>

#include "UiTestEnv.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
  std::vector<char*> args{argv[0]};
  for (int i = only ? 2 : 1; i < argc; ++i) args.push_back(argv[i]);
  int status = 0;
  for (QObject* suite : uitest::Suites()) {
    if (only && std::strcmp(suite->metaObject()->className(), only) != 0) continue;
    status |= QTest::qExec(suite, static_cast<int>(args.size()), args.data());
  }
  return status;
}
