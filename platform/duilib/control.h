// The base of every skinned control and the containers that arrange them.
// A control is a named object the windows look up and query; behind it sits
// one Qt widget that draws it (list items have none). A container owns its
// children; the window's paint manager owns the root container.
#pragma once
#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/duilib/ui_events.h"

class QBoxLayout;
class QStackedLayout;
class CPaintManagerUI;

class CControlUI {
 public:
  // widget may be null (a control drawn by its owner); the control owns it.
  explicit CControlUI(QWidget* widget = nullptr);
  virtual ~CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  const std::wstring& GetName() const { return m_name; }
  void SetName(const std::wstring& name) { m_name = name; }
  virtual std::wstring GetText() const { return m_text; }
  virtual void SetText(const std::wstring& text);

  // Rectangles in the window's client coordinates.
  virtual RECT GetPos() const;
  virtual RECT GetClientPos() const;
  virtual void SetPos(RECT rc);

  virtual void SetVisible(bool visible);
  bool IsVisible() const { return m_visible; }
  // Visibility imposed by an owner (a tab page not shown); the control's own
  // visible flag is kept.
  virtual void SetInternVisible(bool visible);
  virtual void SetEnabled(bool enabled);
  bool IsEnabled() const { return m_enabled; }

  // One skin attribute; false when the value is malformed for this control.
  virtual bool SetAttribute(const std::wstring& name, const std::wstring& value);

  // Containers and list owners pass this on to what they hold.
  virtual void SetManager(CPaintManagerUI* manager) { m_manager = manager; }
  CPaintManagerUI* GetManager() const { return m_manager; }
  QWidget* GetWidget() const { return m_widget.data(); }

  // Placed by its pos attribute rather than by the container's layout.
  bool IsFloat() const { return m_float; }

  // Depth-first search of this control and what it contains.
  virtual CControlUI* FindByName(const std::wstring& name);
  virtual void CollectAll(std::vector<CControlUI*>& out);

 protected:
  void Notify(const std::wstring& type, WPARAM wParam = 0, LPARAM lParam = 0);

 private:
  std::wstring m_name;
  std::wstring m_text;
  QPointer<QWidget> m_widget;
  CPaintManagerUI* m_manager = nullptr;
  bool m_visible = true;
  bool m_internVisible = true;
  bool m_enabled = true;
  bool m_float = false;
};

// A container without a layout: children are placed by their pos attributes.
class CContainerUI : public CControlUI {
 public:
  CContainerUI();
  ~CContainerUI() override;

  bool Add(std::unique_ptr<CControlUI> child);
  int GetCount() const { return static_cast<int>(m_items.size()); }
  CControlUI* GetItemAt(int index) const;

  void SetManager(CPaintManagerUI* manager) override;
  CControlUI* FindByName(const std::wstring& name) override;
  void CollectAll(std::vector<CControlUI*>& out) override;

 protected:
  explicit CContainerUI(QWidget* widget);
  // Puts a child widget into this container's layout.
  virtual void PlaceChild(CControlUI* child);
  void RemoveAllItems();

 private:
  std::vector<std::unique_ptr<CControlUI>> m_items;
};

// Children stacked top to bottom or left to right; a child's width and
// height attributes fix its size, otherwise it shares the free space. When
// no child takes free space, it is left after the last child: rows keep
// their natural spacing instead of being spread over the whole layout.
class CBoxLayoutUI : public CContainerUI {
 public:
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;

 protected:
  explicit CBoxLayoutUI(bool vertical);
  void PlaceChild(CControlUI* child) override;

 private:
  QBoxLayout* m_layout;
};

class CVerticalLayoutUI : public CBoxLayoutUI {
 public:
  CVerticalLayoutUI() : CBoxLayoutUI(true) {}
};

class CHorizontalLayoutUI : public CBoxLayoutUI {
 public:
  CHorizontalLayoutUI() : CBoxLayoutUI(false) {}
};

// Pages of which one is shown at a time; a page is laid out at the
// container's size as it is selected.
class CTabLayoutUI : public CContainerUI {
 public:
  CTabLayoutUI();
  bool SelectItem(int index);
  int GetCurSel() const { return m_current; }
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;

 protected:
  void PlaceChild(CControlUI* child) override;

 private:
  QStackedLayout* m_stack;
  int m_current = 0;
};
