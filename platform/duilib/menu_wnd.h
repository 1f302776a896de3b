// Pop-up menus loaded from a menu layout:
//   <Menu> <MenuElement name="..." text="..." userdata="..." checkable="true"/> ... </Menu>
// A click on an item posts WM_MENUCLICK to the owner window with wParam
// pointing to a MenuClickRecord; the owner frees it with
// CPaintManagerUI::DeletePtr (TakeMenuClick copies it out and frees it).
// If the owner is gone the record is freed unread.
#pragma once
#include <string>
#include <unordered_map>

#include "platform/duilib/ui_events.h"

class CPaintManagerUI;

struct MenuClickRecord {
  wchar_t szName[256];
  wchar_t szUserData[1024];
  wchar_t szText[1024];
  bool bChecked;
};

struct MenuClick {
  std::wstring name;
  std::wstring userData;
  std::wstring text;
  bool checked = false;
};

// Reads everything the record holds, then frees it: a handler has no reason
// to touch the record after this.
MenuClick TakeMenuClick(WPARAM record);

// Item name -> value. The menus use it as their check states: an item is
// checked while its entry holds a non-null value.
class CStdStringPtrMap {
 public:
  explicit CStdStringPtrMap(size_t buckets = 83) { m_map.reserve(buckets); }
  void* Find(const std::wstring& key) const;
  void Set(const std::wstring& key, void* value);
  void Remove(const std::wstring& key) { m_map.erase(key); }
  size_t GetSize() const { return m_map.size(); }

 private:
  std::unordered_map<std::wstring, void*> m_map;
};

class CMenuWnd {
 public:
  // Alignment bits: which edges of the menu meet the point.
  static constexpr DWORD kAlignLeft = 2;
  static constexpr DWORD kAlignTop = 4;
  static constexpr DWORD kAlignRight = 8;
  static constexpr DWORD kAlignBottom = 16;

  // Shows the menu at a screen point; it deletes itself when it closes.
  // False (with error) when the menu layout cannot be loaded or the owner
  // has no window. checkStates may be null.
  static bool CreateMenu(const std::wstring& menuFile, POINT point, CPaintManagerUI* owner,
                         CStdStringPtrMap* checkStates, DWORD alignment, std::string* error = nullptr);
};
