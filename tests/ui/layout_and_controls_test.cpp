// Layouts, control lookup and the notifications controls send to a window.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QtTest>
#include <memory>

#include "platform/duilib/controls.h"
#include "platform/duilib/list_controls.h"
#include "tests/ui/test_window.h"

namespace {

const char* kMainSkin = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="400,300" caption="0,0,0,30">
  <VerticalLayout name="root">
    <Label name="status" text="连接成功" textcolor="#FF00FF00" height="20"/>
    <Button name="closebtn" text="x" normalimage="images/a.png" hotimage="images/b.png"/>
    <HorizontalLayout>
      <Option name="desk_tab" group="tabs" selected="true"/>
      <Option name="camera_tab" group="tabs"/>
      <Option name="nsopen"/>
    </HorizontalLayout>
    <TabLayout name="tab_switch">
      <Container name="page0"/>
      <Container name="page1"/>
    </TabLayout>
    <Edit name="widthEdit" text="480"/>
    <Edit name="heightEdit"/>
    <Slider name="slidervolume" min="0" max="200" value="50"/>
    <Progress name="level" value="7"/>
    <List name="audiodevList">
      <ListLabelElement text="mic A"/>
      <ListLabelElement text="mic B"/>
    </List>
    <Combo name="sizes"/>
    <Label name="hidden" visible="false"/>
  </VerticalLayout>
</Window>)";

// Rows of fixed height, pages of a tab layout and an empty <Control/>.
const char* kRowsSkin = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="300,400">
  <VerticalLayout childpadding="6">
    <HorizontalLayout name="volumeRow" height="28" childpadding="4">
      <Label name="volumeLabel" text="音量" width="40"/>
      <Slider name="volume"/>
    </HorizontalLayout>
    <HorizontalLayout name="noiseRow" height="28"/>
    <TabLayout name="pages" height="200">
      <VerticalLayout><Button name="first" text="一" height="32"/></VerticalLayout>
      <VerticalLayout><Button name="second" text="二" height="32"/></VerticalLayout>
    </TabLayout>
    <HorizontalLayout height="40">
      <Control/>
      <Button name="right" text="右" width="50"/>
    </HorizontalLayout>
  </VerticalLayout>
</Window>)";

template <typename T>
T* As(TestWindow& window, const wchar_t* name) {
  return dynamic_cast<T*>(window.Find(name));
}

}  // namespace

class LayoutAndControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_skins = std::make_unique<SkinFolder>();
    m_skins->Write("main.xml", kMainSkin);
    m_window = std::make_unique<TestWindow>(L"main.xml");
    QVERIFY(m_window->Create(0, L"transwnd", UI_WNDSTYLE_FRAME, 0) != 0);
    QVERIFY(QTest::qWaitForWindowExposed(m_window->GetWidget()));
    m_window->notifies.clear();
  }

  void cleanup() {
    m_window.reset();
    m_skins.reset();
  }

  void layoutBuildsNamedControlsWithTheirAttributes() {
    TestWindow& w = *m_window;
    QCOMPARE(w.GetWidget()->windowTitle(), QStringLiteral("transwnd"));
    QCOMPARE(w.GetHWND(), static_cast<HWND>(w.GetWidget()->winId()));
    QCOMPARE(w.GetPaintManager().GetInitSize().cx, 400);
    QCOMPARE(w.GetPaintManager().GetCaptionRect().bottom, 30);
    QCOMPARE(w.GetWidget()->size(), QSize(400, 300));

    auto* status = As<CLabelUI>(w, L"status");
    QVERIFY(status);
    QCOMPARE(status->GetText(), std::wstring(L"连接成功"));
    QCOMPARE(status->GetTextColor(), 0xFF00FF00u);
    QCOMPARE(static_cast<QLabel*>(status->GetWidget())->text(), QStringLiteral("连接成功"));
    QVERIFY(As<CButtonUI>(w, L"closebtn"));
    QCOMPARE(As<CButtonUI>(w, L"closebtn")->GetHotImage(), std::wstring(L"images/b.png"));
    QVERIFY(As<CTabLayoutUI>(w, L"tab_switch"));
    QCOMPARE(As<CSliderUI>(w, L"slidervolume")->GetValue(), 50);
    QCOMPARE(As<CProgressUI>(w, L"level")->GetValue(), 7);
    QCOMPARE(As<CListUI>(w, L"audiodevList")->GetCount(), 2);
    QVERIFY(!As<CLabelUI>(w, L"hidden")->IsVisible());
    QVERIFY(!As<CLabelUI>(w, L"hidden")->GetWidget()->isVisible());

    QVERIFY(w.Find(L"pvwstatuLabel") == nullptr);
    QVERIFY(w.Find(L"") == nullptr);
  }

  void positionsAreInClientCoordinates() {
    TestWindow& w = *m_window;
    CControlUI* close = w.Find(L"closebtn");
    RECT pos = close->GetPos();
    QPoint expected = close->GetWidget()->mapTo(w.GetWidget(), QPoint(0, 0));
    QCOMPARE(pos.left, expected.x());
    QCOMPARE(pos.top, expected.y());
    QCOMPARE(pos.right - pos.left, close->GetWidget()->width());

    auto* page = w.Find(L"page1");
    As<CTabLayoutUI>(w, L"tab_switch")->SelectItem(1);
    page->SetPos(RECT{10, 200, 60, 230});
    RECT moved = page->GetPos();
    QCOMPARE(moved.left, 10);
    QCOMPARE(moved.top, 200);
    QCOMPARE(moved.bottom, 230);
  }

  void notificationsReachTheMessageMapWithTheirSender() {
    TestWindow& w = *m_window;
    CControlUI* close = w.Find(L"closebtn");
    QTest::mouseClick(close->GetWidget(), Qt::LeftButton);
    QCOMPARE(w.notifies.size(), size_t(1));
    QCOMPARE(w.notifies[0].type, std::wstring(L"click"));
    QVERIFY(w.notifies[0].sender == close);
    QVERIFY(!w.notifies[0].viaMap);

    auto* slider = As<CSliderUI>(w, L"slidervolume");
    w.notifies.clear();
    static_cast<QSlider*>(slider->GetWidget())->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(w.notifies.size(), size_t(1));
    QCOMPARE(w.notifies[0].type, std::wstring(L"valuechanged"));
    QVERIFY(w.notifies[0].sender == slider);
    slider->SetValue(120);  // from code: no notification
    QCOMPARE(w.notifies.size(), size_t(1));

    auto* edit = As<CEditUI>(w, L"widthEdit");
    auto* other = As<CEditUI>(w, L"heightEdit");
    w.notifies.clear();
    QApplication::setActiveWindow(w.GetWidget());
    edit->GetWidget()->setFocus();
    QTRY_VERIFY(edit->GetWidget()->hasFocus());
    QTest::keyClicks(edit->GetWidget(), "0");
    other->GetWidget()->setFocus();
    QTRY_VERIFY(!w.notifies.empty() && w.notifies.back().type == L"killfocus");
    QCOMPARE(w.notifies.front().type, std::wstring(L"textchanged"));
    QVERIFY(w.notifies.back().sender == edit);
    QCOMPARE(edit->GetText(), std::wstring(L"4800"));
  }

  void optionsKeepTheirGroupExclusive() {
    TestWindow& w = *m_window;
    auto* desk = As<COptionUI>(w, L"desk_tab");
    auto* camera = As<COptionUI>(w, L"camera_tab");
    auto* ns = As<COptionUI>(w, L"nsopen");
    QVERIFY(desk->IsSelected());

    QTest::mouseClick(camera->GetWidget(), Qt::LeftButton);
    QVERIFY(camera->IsSelected());
    QVERIFY(!desk->IsSelected());
    // click, the deselected member's change, then the selected one's
    QCOMPARE(w.notifies.size(), size_t(3));
    QCOMPARE(w.notifies[0].type, std::wstring(L"click"));
    QVERIFY(w.notifies[1].sender == desk && w.notifies[1].viaMap);
    QVERIFY(w.notifies[2].sender == camera && w.notifies[2].type == L"selectchanged");

    w.notifies.clear();
    QTest::mouseClick(camera->GetWidget(), Qt::LeftButton);  // selected group member stays selected
    QVERIFY(camera->IsSelected());
    QCOMPARE(w.notifies.size(), size_t(1));

    QTest::mouseClick(ns->GetWidget(), Qt::LeftButton);
    QTest::mouseClick(ns->GetWidget(), Qt::LeftButton);  // alone, it toggles
    QVERIFY(!ns->IsSelected());
    QVERIFY(camera->IsSelected());
  }

  void listsSelectWithOrWithoutNotifying() {
    TestWindow& w = *m_window;
    auto* list = As<CListUI>(w, L"audiodevList");
    QCOMPARE(list->GetCurSel(), -1);
    QCOMPARE(list->GetText(), std::wstring());

    QVERIFY(list->SelectItem(1, false, false));
    QCOMPARE(list->GetCurSel(), 1);
    QCOMPARE(list->GetText(), std::wstring(L"mic B"));
    QVERIFY(w.notifies.empty());
    QVERIFY(!list->SelectItem(2, false, false));
    QCOMPARE(list->GetCurSel(), 1);

    QVERIFY(list->SelectItem(0));
    QCOMPARE(w.notifies.size(), size_t(1));
    QCOMPARE(w.notifies[0].type, std::wstring(L"itemselect"));
    QVERIFY(w.notifies[0].sender == list);

    // The user's choice notifies the list's selection and the clicked item.
    w.notifies.clear();
    auto* view = static_cast<QListWidget*>(list->GetWidget());
    QRect row = view->visualItemRect(view->item(1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, row.center());
    QCOMPARE(list->GetCurSel(), 1);
    QCOMPARE(w.notifies.size(), size_t(2));
    QVERIFY(w.notifies[0].type == L"itemselect" && w.notifies[0].sender == list);
    QVERIFY(w.notifies[1].type == L"itemclick" && w.notifies[1].sender == list->GetItemAt(1));

    auto* combo = As<CComboUI>(w, L"sizes");
    w.notifies.clear();
    combo->AddItem(L"640*480");
    combo->AddItem(L"1280*720");
    QCOMPARE(combo->GetCurSel(), -1);
    QVERIFY(combo->SelectItem(1, false, false));
    QCOMPARE(combo->GetText(), std::wstring(L"1280*720"));
    combo->RemoveAll();
    QCOMPARE(combo->GetCount(), 0);
    QCOMPARE(combo->GetText(), std::wstring());
    QVERIFY(w.notifies.empty());
  }

  void resizingTheWindowNotifiesWindowSize() {
    TestWindow& w = *m_window;
    w.GetWidget()->resize(500, 350);
    QTRY_VERIFY(!w.notifies.empty());
    QCOMPARE(w.notifies.back().type, std::wstring(L"windowsize"));
    QVERIFY(w.notifies.back().sender == w.Find(L"root"));
    // Children are already laid out for the new size when it arrives.
    QCOMPARE(w.Find(L"root")->GetPos().right, 500);
  }

  void rowsKeepTheirSpacingAndPagesTakeTheLayoutsSize() {
    m_skins->Write("rows.xml", kRowsSkin);
    TestWindow w(L"rows.xml");
    QVERIFY(w.Create(0, L"rows", UI_WNDSTYLE_FRAME, 0) != 0);
    QVERIFY(QTest::qWaitForWindowExposed(w.GetWidget()));
    // Fixed rows stay together at the top; what is left stays below them.
    QCOMPARE(w.Find(L"volumeRow")->GetPos().top, 0);
    QCOMPARE(w.Find(L"noiseRow")->GetPos().top, 34);
    QCOMPARE(w.Find(L"pages")->GetPos().top, 68);
    QCOMPARE(w.Find(L"volumeLabel")->GetPos().right + 4, w.Find(L"volume")->GetPos().left);
    // An empty <Control/> takes the free width.
    QCOMPARE(w.Find(L"right")->GetPos().left, 250);
    QCOMPARE(w.Find(L"first")->GetPos().top, 68);

    // A page chosen after the window changed size is laid out at the new one.
    w.GetWidget()->resize(420, 400);
    QTRY_COMPARE(w.Find(L"first")->GetPos().right, 420);
    auto* pages = As<CTabLayoutUI>(w, L"pages");
    QVERIFY(pages->SelectItem(1));
    const RECT second = w.Find(L"second")->GetPos();
    QCOMPARE(second.left, 0);
    QCOMPARE(second.right, 420);
    QCOMPARE(second.top, 68);
  }

  void badLayoutsFailCreateWithAClearError_data() {
    QTest::addColumn<QString>("skin");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing file") << QString() << "cannot be read";
    QTest::newRow("not xml") << "<Window><Label></Window>" << "not well-formed";
    QTest::newRow("wrong root") << "<Dialog><Label/></Dialog>" << "root element must be <Window>";
    QTest::newRow("no control") << "<Window size=\"1,1\"/>" << "holds no control";
    QTest::newRow("unknown tag") << "<Window>\n<VerticalLayout>\n<Fancy/></VerticalLayout></Window>"
                                 << "line 3: unknown control <Fancy>";
    QTest::newRow("bad value") << "<Window><Label width=\"wide\"/></Window>" << "\"wide\" for attribute width";
    QTest::newRow("bad colour") << "<Window><Label textcolor=\"green\"/></Window>" << "textcolor";
    QTest::newRow("bad size") << "<Window size=\"10\"><Label/></Window>" << "attribute size";
    QTest::newRow("label with children") << "<Window><Label><Button/></Label></Window>" << "cannot hold controls";
    QTest::newRow("list with a button") << "<Window><List><Button/></List></Window>" << "only <ListLabelElement>";
  }

  void badLayoutsFailCreateWithAClearError() {
    QFETCH(QString, skin);
    QFETCH(QString, expected);
    if (!skin.isNull()) m_skins->Write("bad.xml", skin);
    TestWindow window(skin.isNull() ? L"absent.xml" : L"bad.xml");
    int windowsBefore = QApplication::topLevelWidgets().size();
    QCOMPARE(window.Create(0, L"LoginDlg", UI_WNDSTYLE_FRAME, 0), HWND(0));
    QVERIFY2(QString::fromStdString(window.GetCreateError()).contains(expected), window.GetCreateError().c_str());
    QVERIFY(window.GetWidget() == nullptr);
    QCOMPARE(window.GetHWND(), HWND(0));
    QCOMPARE(QApplication::topLevelWidgets().size(), windowsBefore);
    // Nothing of it is left to message.
    QVERIFY(!window.PostMessageW(WM_USER + 1));
  }

 private:
  std::unique_ptr<SkinFolder> m_skins;
  std::unique_ptr<TestWindow> m_window;
};

QTEST_MAIN(LayoutAndControlsTest)
#include "layout_and_controls_test.moc"
