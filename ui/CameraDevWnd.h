// The camera picker, opened (not modal) from the main window's camera button.
// Lists the proxy's cameras with the configured one selected (or says that
// none was found); choosing a
// camera stores it in the configuration and the proxy, and confirming asks
// the owner window to switch to the camera (WM_SWITCH_SOURCE, kind 3).
// GUI thread only. Who frees it after it closes is up to its creator.
#pragma once
#include <memory>

#include "platform/duilib/window_impl_base.h"

class CScreenCaptureProxy;
class CUserConfig;
class CItemListUI;

class CCameraDevWnd : public WindowImplBase {
 public:
  // The proxy may be null (no cameras then); the configuration must outlive
  // the window.
  explicit CCameraDevWnd(std::shared_ptr<CScreenCaptureProxy> proxy);
  CCameraDevWnd(std::shared_ptr<CScreenCaptureProxy> proxy, CUserConfig& config);

  // As the library's Create; parent is the owner told of the confirmed choice.
  HWND Create(HWND parent, const std::wstring& name, DWORD style, DWORD exStyle, int x = 0, int y = 0, int cx = 0,
              int cy = 0);

 protected:
  const wchar_t* GetWindowClassName() const override { return L"CameraDev"; }
  std::wstring GetSkinFile() override { return L"camedev.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;
  void OnItemSelect(TNotifyUI& msg);
  DUILIB_DECLARE_MESSAGE_MAP()

 private:
  void ChooseCamera(int index);

  const std::shared_ptr<CScreenCaptureProxy> m_proxy;
  CUserConfig& m_config;
  HWND m_owner = 0;
  CControlUI* m_closeBtn = nullptr;
  CControlUI* m_confirmBtn = nullptr;
  CItemListUI* m_cameraList = nullptr;
};
