// Window messages across threads, their fate when the window is gone, modal
// windows, the message loop's quit code, and menu click records.
#include <QAction>
#include <QMenu>
#include <QtTest>
#include <atomic>
#include <memory>
#include <thread>

#include "platform/duilib/menu_wnd.h"
#include "tests/ui/test_window.h"

namespace {

const char* kSkin = R"(<Window size="200,100"><VerticalLayout><Button name="shareDeskBtn"/></VerticalLayout></Window>)";
const char* kMenu = R"(<Menu>
  <MenuElement name="Menu_Test1" text="测试一" userdata="one" checkable="true"/>
  <MenuElement name="windowsWnd" text="窗口"/>
</Menu>)";

std::atomic<int> g_payloadsFreed{0};

struct Payload {
  int value;
};
void FreePayload(WPARAM wParam, LPARAM) {
  delete reinterpret_cast<Payload*>(wParam);
  ++g_payloadsFreed;
}
WPARAM NewPayload(int value) { return reinterpret_cast<WPARAM>(new Payload{value}); }

QMenu* OpenMenu() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }

// Clicks the item as the presenter would, which also closes the menu.
void ClickMenuItem(QMenu* menu, const QString& name) {
  for (QAction* action : menu->actions()) {
    if (action->objectName() == name) QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
  }
}

}  // namespace

class WindowMessagesTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_skins = std::make_unique<SkinFolder>();
    m_skins->Write("skin.xml", kSkin);
    m_skins->Write("shareDeskMenu.xml", kMenu);
    g_payloadsFreed = 0;
    TestWindow::finalMessages = 0;
  }
  void cleanup() { m_skins.reset(); }

  void aChildWindowGoesWithItsParent() {
    auto parent = std::make_unique<TestWindow>(L"skin.xml");
    QVERIFY(parent->Create(0, L"transwnd", UI_WNDSTYLE_FRAME, 0) != 0);
    TestWindow child(L"skin.xml");
    const HWND childHwnd = child.Create(parent->GetHWND(), L"EDLG", UI_WNDSTYLE_DIALOG, 0);
    QVERIFY(childHwnd != 0);
    QVERIFY(PostMessageW(childHwnd, WM_USER + 7, NewPayload(1), 0, FreePayload));
    parent.reset();  // Qt deletes the child's widget with the parent's
    QCOMPARE(child.GetHWND(), HWND(0));
    QVERIFY(child.GetWidget() == nullptr);
    QCOMPARE(TestWindow::finalMessages, 1);
    // What was on its way is dropped, and freed, instead of reaching it.
    QTRY_COMPARE(g_payloadsFreed.load(), 1);
    QVERIFY(child.messages.empty());
    QVERIFY(!PostMessageW(childHwnd, WM_CLOSE));
  }

  void postsFromAnotherThreadArriveOnTheGuiThreadInOrder() {
    TestWindow window(L"skin.xml");
    HWND hwnd = window.Create(0, L"transwnd", UI_WNDSTYLE_FRAME, 0);
    QVERIFY(hwnd != 0);
    constexpr int kCount = 500;
    std::thread poster([hwnd] {
      for (int i = 0; i < kCount; ++i) PostMessageW(hwnd, WM_PUBLISH_EVENT, static_cast<WPARAM>(i), -i);
    });
    poster.join();
    QTRY_COMPARE(window.messages.size(), size_t(kCount));
    for (int i = 0; i < kCount; ++i) {
      QCOMPARE(window.messages[i].message, WM_PUBLISH_EVENT);
      QCOMPARE(window.messages[i].wParam, WPARAM(i));
      QCOMPARE(window.messages[i].lParam, LPARAM(-i));
      QVERIFY(window.messages[i].thread == std::this_thread::get_id());
    }
  }

  void messagesToAGoneWindowAreDroppedAndTheirPayloadFreed() {
    // A window that deletes itself when closed, with payload messages still
    // queued behind the close.
    auto* window = new TestWindow(L"skin.xml");
    window->deleteOnFinal = true;
    int delivered = 0;
    window->onMessage = [&delivered](UINT, WPARAM wParam, LPARAM) {
      // A delivered payload is the window's to free.
      delete reinterpret_cast<Payload*>(wParam);
      ++delivered;
    };
    HWND hwnd = window->Create(0, L"EDLG", UI_WNDSTYLE_DIALOG, 0);
    QVERIFY(hwnd != 0);
    QVERIFY(PostMessageW(hwnd, WM_USER + 1, NewPayload(1), 0, FreePayload));
    window->Close(1);
    QVERIFY(PostMessageW(hwnd, WM_USER + 2, NewPayload(2), 0, FreePayload));
    std::thread late([hwnd] { PostMessageW(hwnd, WM_USER + 3, NewPayload(3), 0, FreePayload); });
    late.join();
    QTRY_COMPARE(TestWindow::finalMessages, 1);
    // The first one was delivered, the others were dropped and freed.
    QTRY_COMPARE(g_payloadsFreed.load(), 2);
    QCOMPARE(delivered, 1);

    // A window that never existed: refused at once, payload freed.
    QVERIFY(!PostMessageW(HWND(0x7fffffff), WM_USER, NewPayload(4), 0, FreePayload));
    QCOMPARE(g_payloadsFreed.load(), 3);
  }

  void nativeCloseOfAWindowThatDeletesItself() {
    // The presenter closes the frame: the window is deleted from inside the
    // widget's own close handling, which must then go with it.
    auto* window = new TestWindow(L"skin.xml");
    window->deleteOnFinal = true;
    QVERIFY(window->Create(0, L"EDLG", UI_WNDSTYLE_DIALOG, 0) != 0);
    QPointer<QWidget> host = window->GetWidget();
    host->close();
    QCOMPARE(TestWindow::finalMessages, 1);
    QVERIFY(host.isNull());
  }

  void showModalReturnsTheCloseCode() {
    TestWindow window(L"skin.xml");
    QVERIFY(window.Create(0, L"Messagebox", UI_WNDSTYLE_DIALOG & ~WS_VISIBLE, 0) != 0);
    window.CenterWindow();
    window.Close(7);
    QCOMPARE(window.ShowModal(), UINT(7));
    QCOMPARE(window.GetHWND(), HWND(0));
    QCOMPARE(TestWindow::finalMessages, 1);
  }

  void quitMessageEndsTheLoopWithItsCode() {
    std::thread asker([] { CPaintManagerUI::PostQuitMessage(18); });
    asker.join();
    QCOMPARE(CPaintManagerUI::MessageLoop(), 18);
  }

  void menuClickReachesTheOwnerAndItsRecordIsReadBeforeItIsFreed() {
    TestWindow window(L"skin.xml");
    QVERIFY(window.Create(0, L"transwnd", UI_WNDSTYLE_FRAME, 0) != 0);
    CStdStringPtrMap checks(83);
    std::vector<MenuClick> clicks;
    window.onMessage = [&clicks](UINT message, WPARAM wParam, LPARAM) {
      // The owner's handler frees the record first, then decides by its
      // name and check state: it must work from the copy.
      if (message == WM_MENUCLICK) clicks.push_back(TakeMenuClick(wParam));
    };
    for (int round = 0; round < 2; ++round) {
      QVERIFY(CMenuWnd::CreateMenu(L"shareDeskMenu.xml", POINT{50, 60}, &window.GetPaintManager(), &checks, 6));
      QTRY_VERIFY(OpenMenu());
      ClickMenuItem(OpenMenu(), "Menu_Test1");
      QTRY_COMPARE(clicks.size(), size_t(round + 1));
    }
    QCOMPARE(clicks[0].name, std::wstring(L"Menu_Test1"));
    QCOMPARE(clicks[0].text, std::wstring(L"测试一"));
    QCOMPARE(clicks[0].userData, std::wstring(L"one"));
    QVERIFY(clicks[0].checked);
    QVERIFY(!clicks[1].checked);  // the second click unchecks it
    QVERIFY(checks.Find(L"Menu_Test1") == nullptr);
    QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
  }

  void menuRecordForAGoneOwnerIsFreedUnread() {
    auto window = std::make_unique<TestWindow>(L"skin.xml");
    QVERIFY(window->Create(0, L"transwnd", UI_WNDSTYLE_FRAME, 0) != 0);
    QVERIFY(CMenuWnd::CreateMenu(L"shareDeskMenu.xml", POINT{0, 0}, &window->GetPaintManager(), nullptr, 18));
    QTRY_VERIFY(OpenMenu());
    ClickMenuItem(OpenMenu(), "windowsWnd");  // the record is queued for the owner...
    window.reset();     // ...which goes before it arrives
    QCoreApplication::sendPostedEvents();
    QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
    // Leak checking (the address-sanitizer build) proves the record freed.
  }

  void menuWithoutAValidLayoutOrOwnerIsRefused() {
    TestWindow window(L"skin.xml");
    QVERIFY(window.Create(0, L"transwnd", UI_WNDSTYLE_FRAME, 0) != 0);
    std::string error;
    QVERIFY(!CMenuWnd::CreateMenu(L"trayMenu.xml", POINT{0, 0}, &window.GetPaintManager(), nullptr, 18, &error));
    QVERIFY(error.find("trayMenu.xml") != std::string::npos);
    CPaintManagerUI unattached;
    QVERIFY(!CMenuWnd::CreateMenu(L"shareDeskMenu.xml", POINT{0, 0}, &unattached, nullptr, 6, &error));
  }

 private:
  std::unique_ptr<SkinFolder> m_skins;
};

QTEST_MAIN(WindowMessagesTest)
#include "window_messages_test.moc"
