// Windows on a real X server: other programs find them by their window name
// and see the same window id as the library's HWND; Chinese texts get a font
// that has their glyphs.
#include <QApplication>
#include <QLabel>
#include <QWindow>
#include <QtTest>
#include <memory>

#include "platform/duilib/controls.h"
#include "tests/support/process.h"
#include "tests/ui/xvfb_qtest_main.h"
#include "tests/ui/test_window.h"

class X11WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void windowIsFoundByItsNameWithItsHwnd() {
    SkinFolder skins;
    skins.Write("login.xml", "<Window size=\"300,200\"><VerticalLayout><Label name=\"tip\" text=\"用户名或者密码错误！\"/>"
                             "</VerticalLayout></Window>");
    TestWindow window(L"login.xml");
    HWND hwnd = window.Create(0, L"LoginDlg", UI_WNDSTYLE_FRAME, 0);
    QVERIFY(hwnd != 0);
    QVERIFY(QTest::qWaitForWindowExposed(window.GetWidget()));

    auto found = test_support::RunCommand({"xdotool", "search", "--onlyvisible", "--name", "^LoginDlg$"}, 20000);
    QCOMPARE(found.exitCode, 0);
    QCOMPARE(QString::fromStdString(found.out).trimmed(), QString::number(hwnd));
    auto byClass = test_support::RunCommand({"xdotool", "search", "--onlyvisible", "--class", "^LoginDlg$"}, 20000);
    QCOMPARE(QString::fromStdString(byClass.out).trimmed(), QString::number(hwnd));

    // Raising a window above the others, and lowering it again, keeps its
    // id: other programs still find the same window.
    window.SetExStyle(WS_EX_TOPMOST);
    QVERIFY(window.GetWidget()->isVisible());
    QCOMPARE(static_cast<HWND>(window.GetWidget()->winId()), hwnd);
    QVERIFY(window.GetWidget()->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    auto raised = test_support::RunCommand({"xdotool", "search", "--onlyvisible", "--name", "^LoginDlg$"}, 20000);
    QCOMPARE(QString::fromStdString(raised.out).trimmed(), QString::number(hwnd));
    window.SetExStyle(0);
    QVERIFY(!window.GetWidget()->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(static_cast<HWND>(window.GetWidget()->winId()), hwnd);
    QVERIFY(window.GetWidget()->isVisible());

    QLabel* tip = static_cast<QLabel*>(window.Find(L"tip")->GetWidget());
    QCOMPARE(tip->font().family(), QStringLiteral("WenQuanYi Micro Hei"));
    QVERIFY(QFontMetrics(tip->font()).inFont(QChar(0x7528)));  // 用

    // A window that is gone is no longer visible to others.
    window.Close(0);
    QTRY_VERIFY(!window.GetWidget()->isVisible());
    auto gone = test_support::RunCommand({"xdotool", "search", "--onlyvisible", "--name", "^LoginDlg$"}, 20000);
    QVERIFY(QString::fromStdString(gone.out).trimmed().isEmpty());
  }
};

int main(int argc, char** argv) { return RunQtTestOnPrivateXvfb<X11WindowTest>(argc, argv); }

#include "x11_window_test.moc"
