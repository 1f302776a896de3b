// The main function of a QtTest that needs a real X server: a private Xvfb
// is started and exported before the application object exists, so Qt (or
// the test's own Xlib calls) talk to it and never to the session's display.
#pragma once
#include <QApplication>
#include <QtTest>
#include <cstdio>
#include <type_traits>

#include "platform/duilib/qt_start.h"
#include "tests/support/xvfb_server.h"

// Application is QApplication for tests with windows (on Qt's xcb platform),
// QCoreApplication for tests that use Xlib alone. beforeTests runs once the
// application exists.
template <class TestObject, class Application = QApplication>
int RunQtTestOnPrivateXvfb(int argc, char** argv, void (*beforeTests)() = nullptr) {
  test_support::XvfbServer xvfb;
  if (!xvfb.Start()) {
    std::fprintf(stderr, "Xvfb did not start\n");
    return 1;
  }
  xvfb.ExportDisplay();
  if constexpr (std::is_same_v<Application, QApplication>) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    PrepareQtForWindows();
  }
  Application app(argc, argv);
  if (beforeTests) beforeTests();
  TestObject test;
  return QTest::qExec(&test, argc, argv);
}
