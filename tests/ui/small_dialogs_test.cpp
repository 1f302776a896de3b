// The exit dialog, the fixed message box and the pop-up tip, with the skins
// the program ships.
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "tests/ui/test_window.h"
#include "ui/ExitDlg.h"
#include "ui/MesageBoxUI.h"
#include "ui/QtTranslations.h"
#include "ui/TipLabelUI.h"

namespace {

void Click(WindowImplBase& wnd, const wchar_t* name) {
  QTest::mouseClick(wnd.GetPaintManager().FindControl(name)->GetWidget(), Qt::LeftButton);
}

// Runs the program's loop, clicks the button in it, and ends the loop with 5
// once the dialog is gone, unless the click ended it first. (A quit request
// reaching no running loop would end the next one at once, so the 5 is only
// asked for while this loop runs.)
int ClickInProgramLoop(CExitDlg* dlg, const wchar_t* name) {
  auto running = std::make_shared<bool>(true);
  QObject::connect(dlg->GetWidget(), &QObject::destroyed, [running] {
    QTimer::singleShot(0, [running] {
      if (*running) QCoreApplication::exit(5);
    });
  });
  QTimer::singleShot(0, [dlg, name] { Click(*dlg, name); });
  const int code = CPaintManagerUI::MessageLoop();
  *running = false;
  return code;
}

}  // namespace

class SmallDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { CPaintManagerUI::SetResourcePath(VELMORA_SKIN_DIR); }

  void exitDialogOnlyConfirmEndsTheProgram() {
    // Cancelling while live leaves the program (and publishing) running.
    for (auto [button, code] : {std::pair{L"cancel", 5}, {L"closebtn", 5}, {L"comfirm", 18}}) {
      auto* dlg = new CExitDlg();
      QVERIFY(dlg->Create(0, L"EDLG", UI_WNDSTYLE_DIALOG, 0) != 0);
      dlg->SetExitText(L"正在直播中，确定退出程序结束直播？");
      QPointer<QWidget> widget = dlg->GetWidget();
      QCOMPARE(ClickInProgramLoop(dlg, button), code);
      QTRY_VERIFY(widget.isNull());
    }
  }

  void messageBoxConfirmClosesItWithResultOne() {
    auto* box = new CMesageBoxUI();
    QVERIFY(box->Create(0, L"Messagebox", UI_WNDSTYLE_DIALOG, 0) != 0);
    box->CenterWindow();
    QTimer::singleShot(0, [box] { Click(*box, L"comfirm"); });
    QCOMPARE(box->ShowModal(), UINT(1));
  }

  void tipShowsAtThePointAndClosesWhenItLosesTheFocus() {
    TestWindow owner(L"tipMenu.xml");
    QVERIFY(owner.Create(0, L"CSettingDlg", UI_WNDSTYLE_FRAME, 0) != 0);
    auto* tip = new CTipLabelUI();
    QVERIFY(tip->Create(owner.GetHWND(), L"tipMenu", WS_POPUP, WS_EX_TOPMOST | WS_EX_TOOLWINDOW) != 0);
    tip->SetTipText(L"最大输出分辨率");
    tip->ShowAt(100, 120);
    QPointer<QWidget> widget = tip->GetWidget();
    QTRY_VERIFY(widget->isActiveWindow());
    QCOMPARE(widget->geometry(), QRect(100, 120, 220, 60));
    // The presenter clicks elsewhere: another window takes the focus.
    owner.GetWidget()->activateWindow();
    QTRY_VERIFY(widget.isNull());
  }

  // Last: the translations stay installed for the rest of the process.
  void qtsOwnDialogsSpeakTheProgramsLanguage() {
    QVERIFY(InstallQtTranslations());
    QMessageBox box(QMessageBox::Warning, QString(), QString(), QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Ok)->text(), QString("确定"));
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QString("取消"));
    QFileDialog chooser;
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    QCOMPARE(chooser.labelText(QFileDialog::FileType), QString("文件类型："));
  }
};

QTEST_MAIN(SmallDialogsTest)
#include "small_dialogs_test.moc"
