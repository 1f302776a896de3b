#include "platform/duilib/control.h"

#include <QBoxLayout>
#include <QStackedLayout>
#include <QWidget>

#include "platform/duilib/attribute_values.h"
#include "platform/duilib/paint_manager.h"

namespace {

QWidget* WindowOf(const QWidget* widget) { return widget ? widget->window() : nullptr; }

RECT ToRect(const QRect& r) { return RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

}  // namespace

CControlUI::CControlUI(QWidget* widget) : m_widget(widget) {}

CControlUI::~CControlUI() { delete m_widget.data(); }

void CControlUI::SetText(const std::wstring& text) { m_text = text; }

RECT CControlUI::GetPos() const {
  QWidget* widget = m_widget.data();
  if (!widget) return RECT{0, 0, 0, 0};
  QPoint topLeft = widget->parentWidget() ? widget->mapTo(WindowOf(widget), QPoint(0, 0)) : QPoint(0, 0);
  return ToRect(QRect(topLeft, widget->size()));
}

RECT CControlUI::GetClientPos() const {
  QWidget* widget = m_widget.data();
  if (!widget) return RECT{0, 0, 0, 0};
  QRect inner = widget->contentsRect();
  QPoint topLeft = widget->parentWidget() ? widget->mapTo(WindowOf(widget), inner.topLeft()) : inner.topLeft();
  return ToRect(QRect(topLeft, inner.size()));
}

void CControlUI::SetPos(RECT rc) {
  QWidget* widget = m_widget.data();
  if (!widget) return;
  QRect target(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
  if (QWidget* parent = widget->parentWidget()) {
    target.moveTopLeft(parent->mapFrom(WindowOf(widget), target.topLeft()));
  }
  widget->setGeometry(target);
}

void CControlUI::SetVisible(bool visible) {
  m_visible = visible;
  if (m_widget) m_widget->setVisible(m_visible && m_internVisible);
}

void CControlUI::SetInternVisible(bool visible) {
  m_internVisible = visible;
  if (m_widget) m_widget->setVisible(m_visible && m_internVisible);
}

void CControlUI::SetEnabled(bool enabled) {
  m_enabled = enabled;
  if (m_widget) m_widget->setEnabled(enabled);
}

bool CControlUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"name") {
    SetName(value);
  } else if (name == L"text") {
    SetText(value);
  } else if (name == L"visible") {
    auto flag = duilib_attr::ToBool(value);
    if (!flag) return false;
    SetVisible(*flag);
  } else if (name == L"enabled") {
    auto flag = duilib_attr::ToBool(value);
    if (!flag) return false;
    SetEnabled(*flag);
  } else if (name == L"width" || name == L"height") {
    auto size = duilib_attr::ToInt(value);
    if (!size || *size < 0) return false;
    if (m_widget) {
      if (name == L"width") m_widget->setFixedWidth(*size);
      else m_widget->setFixedHeight(*size);
    }
  } else if (name == L"pos") {
    // left,top,right,bottom inside the parent; such a control floats.
    auto edges = duilib_attr::ToInts(value, 4);
    if (!edges || (*edges)[2] < (*edges)[0] || (*edges)[3] < (*edges)[1]) return false;
    m_float = true;
    if (m_widget) m_widget->setGeometry((*edges)[0], (*edges)[1], (*edges)[2] - (*edges)[0], (*edges)[3] - (*edges)[1]);
  }
  // Attributes this control does not know are left to the skin author.
  return true;
}

CControlUI* CControlUI::FindByName(const std::wstring& name) { return !name.empty() && name == m_name ? this : nullptr; }

void CControlUI::CollectAll(std::vector<CControlUI*>& out) { out.push_back(this); }

void CControlUI::Notify(const std::wstring& type, WPARAM wParam, LPARAM lParam) {
  if (!m_manager) return;
  TNotifyUI msg;
  msg.sType = type;
  msg.pSender = this;
  msg.wParam = wParam;
  msg.lParam = lParam;
  m_manager->SendNotify(msg, false);
}

CContainerUI::CContainerUI() : CContainerUI(new QWidget) {}

CContainerUI::CContainerUI(QWidget* widget) : CControlUI(widget) {}

CContainerUI::~CContainerUI() { RemoveAllItems(); }

void CContainerUI::RemoveAllItems() {
  // Children go first: their widgets are children of ours.
  while (!m_items.empty()) m_items.pop_back();
}

bool CContainerUI::Add(std::unique_ptr<CControlUI> child) {
  if (!child) return false;
  CControlUI* raw = child.get();
  m_items.push_back(std::move(child));
  raw->SetManager(GetManager());
  PlaceChild(raw);
  return true;
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return m_items[static_cast<size_t>(index)].get();
}

void CContainerUI::PlaceChild(CControlUI* child) {
  QWidget* widget = child->GetWidget();
  if (!widget || !GetWidget()) return;
  QRect kept = widget->geometry();
  widget->setParent(GetWidget());
  widget->setGeometry(kept);
  widget->setVisible(child->IsVisible());
}

void CContainerUI::SetManager(CPaintManagerUI* manager) {
  CControlUI::SetManager(manager);
  for (auto& item : m_items) item->SetManager(manager);
}

CControlUI* CContainerUI::FindByName(const std::wstring& name) {
  if (CControlUI* self = CControlUI::FindByName(name)) return self;
  for (auto& item : m_items) {
    if (CControlUI* found = item->FindByName(name)) return found;
  }
  return nullptr;
}

void CContainerUI::CollectAll(std::vector<CControlUI*>& out) {
  CControlUI::CollectAll(out);
  for (auto& item : m_items) item->CollectAll(out);
}

CBoxLayoutUI::CBoxLayoutUI(bool vertical) : CContainerUI(new QWidget) {
  m_layout = new QBoxLayout(vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight, GetWidget());
  m_layout->setContentsMargins(0, 0, 0, 0);
  m_layout->setSpacing(0);
  // Stretch 0 against the flexible children's 1: it only takes what none of
  // them can.
  m_layout->addStretch(0);
}

bool CBoxLayoutUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"childpadding") {
    auto gap = duilib_attr::ToInt(value);
    if (!gap || *gap < 0) return false;
    m_layout->setSpacing(*gap);
    return true;
  }
  if (name == L"inset") {
    auto edges = duilib_attr::ToInts(value, 4);
    if (!edges) return false;
    m_layout->setContentsMargins((*edges)[0], (*edges)[1], (*edges)[2], (*edges)[3]);
    return true;
  }
  return CContainerUI::SetAttribute(name, value);
}

void CBoxLayoutUI::PlaceChild(CControlUI* child) {
  if (child->IsFloat()) {
    CContainerUI::PlaceChild(child);
    return;
  }
  QWidget* widget = child->GetWidget();
  if (!widget) return;
  const bool vertical = m_layout->direction() == QBoxLayout::TopToBottom;
  // A width or height attribute fixes the size along the layout.
  const bool fixed = vertical ? widget->minimumHeight() == widget->maximumHeight()
                              : widget->minimumWidth() == widget->maximumWidth();
  m_layout->insertWidget(m_layout->count() - 1, widget, fixed ? 0 : 1);
  widget->setVisible(child->IsVisible());
}

CTabLayoutUI::CTabLayoutUI() : CContainerUI(new QWidget) {
  m_stack = new QStackedLayout(GetWidget());
  m_stack->setContentsMargins(0, 0, 0, 0);
}

void CTabLayoutUI::PlaceChild(CControlUI* child) {
  QWidget* widget = child->GetWidget();
  if (!widget) return;
  m_stack->addWidget(widget);
  SelectItem(m_current);
}

bool CTabLayoutUI::SelectItem(int index) {
  if (index < 0 || index >= GetCount()) return false;
  m_current = index;
  for (int i = 0; i < GetCount(); ++i) GetItemAt(i)->SetInternVisible(i == index);
  if (CControlUI* page = GetItemAt(index); page && page->GetWidget()) {
    m_stack->setCurrentWidget(page->GetWidget());
    // Only the current page follows the container's size; one that was
    // hidden through a resize would show at its old size.
    m_stack->invalidate();
    m_stack->activate();
  }
  return true;
}

bool CTabLayoutUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"selectedid") {
    auto index = duilib_attr::ToInt(value);
    if (!index || *index < 0) return false;
    // Pages may not be added yet; the index is kept and applied as they come.
    m_current = *index;
    SelectItem(*index);
    return true;
  }
  return CContainerUI::SetAttribute(name, value);
}
