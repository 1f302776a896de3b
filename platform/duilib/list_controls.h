// Lists and drop-down lists of text items. Both send "itemselect" when the
// user moves the selection (wParam = new index, lParam = old index); a list
// also sends "itemclick" with the clicked item as sender. Selecting from
// code may stay silent, which the windows rely on when filling a list.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/duilib/control.h"

class QListWidget;
class QComboBox;
class CItemListUI;

// One text row of a list or drop-down list, drawn by its owner.
class CListLabelElementUI : public CControlUI {
 public:
  CListLabelElementUI() = default;
  void SetText(const std::wstring& text) override;
  void SetOwner(CItemListUI* owner) { m_owner = owner; }

 private:
  CItemListUI* m_owner = nullptr;
};

class CItemListUI : public CControlUI {
 public:
  ~CItemListUI() override;

  // Takes the item; false for a null one.
  bool Add(std::unique_ptr<CListLabelElementUI> item);
  CListLabelElementUI* AddItem(const std::wstring& text);
  void RemoveAll();
  int GetCount() const { return static_cast<int>(m_items.size()); }
  CListLabelElementUI* GetItemAt(int index) const;
  int GetCurSel() const { return m_current; }
  // Out-of-range indexes are refused. With triggerEvent false no
  // notification is sent.
  bool SelectItem(int index, bool takeFocus = false, bool triggerEvent = true);
  // No item selected; no notification.
  void ClearSelection();
  // The selected item's text; empty with no selection.
  std::wstring GetText() const override;

  void SetManager(CPaintManagerUI* manager) override;
  CControlUI* FindByName(const std::wstring& name) override;
  void ItemTextChanged(CListLabelElementUI* item);

 protected:
  explicit CItemListUI(QWidget* widget);
  // The Qt widget's side of the item list.
  virtual void ViewAppend(const std::wstring& text) = 0;
  virtual void ViewSetText(int index, const std::wstring& text) = 0;
  virtual void ViewClear() = 0;
  virtual void ViewSelect(int index) = 0;
  // The Qt widget's selection moved by user input.
  void UserSelected(int index);
  int IndexOf(const CControlUI* item) const;

 private:
  std::vector<std::unique_ptr<CListLabelElementUI>> m_items;
  int m_current = -1;
};

class CListUI : public CItemListUI {
 public:
  CListUI();

 protected:
  void ViewAppend(const std::wstring& text) override;
  void ViewSetText(int index, const std::wstring& text) override;
  void ViewClear() override;
  void ViewSelect(int index) override;

 private:
  QListWidget* m_view;
};

class CComboUI : public CItemListUI {
 public:
  CComboUI();

 protected:
  void ViewAppend(const std::wstring& text) override;
  void ViewSetText(int index, const std::wstring& text) override;
  void ViewClear() override;
  void ViewSelect(int index) override;

 private:
  QComboBox* m_view;
};
