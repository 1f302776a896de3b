#include "platform/duilib/menu_wnd.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <algorithm>
#include <memory>
#include <tinyxml2.h>
#include <vector>

#include "platform/duilib/paint_manager.h"
#include "platform/duilib/window_messages.h"

namespace {

// The value a check-state entry holds while its item is checked.
char g_checkedMark;

struct MenuItemEntry {
  QString name;
  QString text;
  QString userData;
  bool checkable = false;
};

template <size_t N>
void CopyBounded(wchar_t (&target)[N], const std::wstring& source) {
  size_t count = std::min(source.size(), N - 1);
  std::copy_n(source.data(), count, target);
  target[count] = L'\0';
}

void ReleaseRecord(WPARAM wParam, LPARAM) { CPaintManagerUI::DeletePtr(reinterpret_cast<void*>(wParam)); }

bool ReadMenu(const std::wstring& menuFile, std::vector<MenuItemEntry>& items, std::string& error) {
  std::string name = QString::fromStdWString(menuFile).toStdString();
  QFile file(QString::fromStdString(CPaintManagerUI::ResolvePath(name)));
  if (!file.open(QIODevice::ReadOnly)) {
    error = "menu " + name + " cannot be read: " + file.errorString().toStdString();
    return false;
  }
  QByteArray bytes = file.readAll();
  tinyxml2::XMLDocument doc;
  if (doc.Parse(bytes.constData(), static_cast<size_t>(bytes.size())) != tinyxml2::XML_SUCCESS) {
    error = "menu " + name + " is not well-formed XML (line " + std::to_string(doc.ErrorLineNum()) + ")";
    return false;
  }
  const tinyxml2::XMLElement* root = doc.RootElement();
  if (!root || std::string(root->Name()) != "Menu") {
    error = "menu " + name + ": the root element must be <Menu>";
    return false;
  }
  for (const tinyxml2::XMLElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
    if (std::string(e->Name()) != "MenuElement") {
      error = "menu " + name + " line " + std::to_string(e->GetLineNum()) + ": unknown element <" + e->Name() + ">";
      return false;
    }
    MenuItemEntry item;
    item.name = QString::fromUtf8(e->Attribute("name") ? e->Attribute("name") : "");
    item.text = QString::fromUtf8(e->Attribute("text") ? e->Attribute("text") : "");
    item.userData = QString::fromUtf8(e->Attribute("userdata") ? e->Attribute("userdata") : "");
    item.checkable = e->BoolAttribute("checkable", false);
    items.push_back(item);
  }
  return true;
}

}  // namespace

MenuClick TakeMenuClick(WPARAM record) {
  MenuClick click;
  auto* source = reinterpret_cast<const MenuClickRecord*>(record);
  if (!source) return click;
  click.name = source->szName;
  click.userData = source->szUserData;
  click.text = source->szText;
  click.checked = source->bChecked;
  CPaintManagerUI::DeletePtr(reinterpret_cast<void*>(record));
  return click;
}

void* CStdStringPtrMap::Find(const std::wstring& key) const {
  auto found = m_map.find(key);
  return found == m_map.end() ? nullptr : found->second;
}

void CStdStringPtrMap::Set(const std::wstring& key, void* value) { m_map[key] = value; }

bool CMenuWnd::CreateMenu(const std::wstring& menuFile, POINT point, CPaintManagerUI* owner,
                          CStdStringPtrMap* checkStates, DWORD alignment, std::string* error) {
  std::string reason;
  std::vector<MenuItemEntry> items;
  HWND ownerWindow = owner ? owner->GetPaintWindow() : 0;
  if (!ownerWindow || !window_messages::FindWindow(ownerWindow)) {
    reason = "the menu has no owner window";
  } else {
    ReadMenu(menuFile, items, reason);
  }
  if (!reason.empty()) {
    if (error) *error = reason;
    return false;
  }

  auto* menu = new QMenu;
  menu->setAttribute(Qt::WA_DeleteOnClose);
  for (const MenuItemEntry& entry : items) {
    QAction* action = menu->addAction(entry.text);
    action->setObjectName(entry.name);
    action->setData(entry.userData);
    action->setCheckable(entry.checkable);
    if (checkStates) action->setChecked(checkStates->Find(entry.name.toStdWString()) != nullptr);
  }
  QObject::connect(menu, &QMenu::triggered, menu, [ownerWindow, checkStates](QAction* action) {
    // The map belongs to the owner window; only touch it while that lives.
    if (!window_messages::FindWindow(ownerWindow)) return;
    std::wstring name = action->objectName().toStdWString();
    bool checked = action->isChecked();
    if (checkStates && action->isCheckable()) checkStates->Set(name, checked ? &g_checkedMark : nullptr);
    auto record = std::make_unique<MenuClickRecord>();
    CopyBounded(record->szName, name);
    CopyBounded(record->szUserData, action->data().toString().toStdWString());
    CopyBounded(record->szText, action->text().toStdWString());
    record->bChecked = checked;
    PostMessageW(ownerWindow, WM_MENUCLICK, reinterpret_cast<WPARAM>(record.release()), 0, ReleaseRecord);
  });

  QPoint at(point.x, point.y);
  QSize size = menu->sizeHint();
  if (alignment & kAlignRight) at.rx() -= size.width();
  if (alignment & kAlignBottom) at.ry() -= size.height();
  menu->popup(at);
  return true;
}
