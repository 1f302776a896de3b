#include "platform/duilib/list_controls.h"

#include <QComboBox>
#include <QListWidget>
#include <QSignalBlocker>

#include "platform/duilib/paint_manager.h"

void CListLabelElementUI::SetText(const std::wstring& text) {
  CControlUI::SetText(text);
  if (m_owner) m_owner->ItemTextChanged(this);
}

CItemListUI::CItemListUI(QWidget* widget) : CControlUI(widget) {}

CItemListUI::~CItemListUI() = default;

bool CItemListUI::Add(std::unique_ptr<CListLabelElementUI> item) {
  if (!item) return false;
  item->SetOwner(this);
  item->SetManager(GetManager());
  ViewAppend(item->CControlUI::GetText());
  m_items.push_back(std::move(item));
  return true;
}

CListLabelElementUI* CItemListUI::AddItem(const std::wstring& text) {
  auto item = std::make_unique<CListLabelElementUI>();
  item->SetText(text);
  CListLabelElementUI* raw = item.get();
  Add(std::move(item));
  return raw;
}

void CItemListUI::RemoveAll() {
  ViewClear();
  m_items.clear();
  m_current = -1;
}

CListLabelElementUI* CItemListUI::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return m_items[static_cast<size_t>(index)].get();
}

bool CItemListUI::SelectItem(int index, bool takeFocus, bool triggerEvent) {
  if (index < 0 || index >= GetCount()) return false;
  int previous = m_current;
  m_current = index;
  ViewSelect(index);
  if (takeFocus && GetWidget()) GetWidget()->setFocus();
  if (triggerEvent && index != previous) Notify(notify_type::kItemSelect, static_cast<WPARAM>(index), previous);
  return true;
}

void CItemListUI::ClearSelection() {
  m_current = -1;
  ViewSelect(-1);
}

void CItemListUI::UserSelected(int index) {
  if (index < 0 || index >= GetCount() || index == m_current) return;
  int previous = m_current;
  m_current = index;
  Notify(notify_type::kItemSelect, static_cast<WPARAM>(index), previous);
}

std::wstring CItemListUI::GetText() const {
  CListLabelElementUI* item = GetItemAt(m_current);
  return item ? item->GetText() : std::wstring();
}

void CItemListUI::SetManager(CPaintManagerUI* manager) {
  CControlUI::SetManager(manager);
  for (auto& item : m_items) item->SetManager(manager);
}

CControlUI* CItemListUI::FindByName(const std::wstring& name) {
  if (CControlUI* self = CControlUI::FindByName(name)) return self;
  for (auto& item : m_items) {
    if (CControlUI* found = item->FindByName(name)) return found;
  }
  return nullptr;
}

void CItemListUI::ItemTextChanged(CListLabelElementUI* item) {
  int index = IndexOf(item);
  if (index >= 0) ViewSetText(index, item->GetText());
}

int CItemListUI::IndexOf(const CControlUI* item) const {
  for (size_t i = 0; i < m_items.size(); ++i) {
    if (m_items[i].get() == item) return static_cast<int>(i);
  }
  return -1;
}

CListUI::CListUI() : CItemListUI(new QListWidget), m_view(static_cast<QListWidget*>(GetWidget())) {
  QObject::connect(m_view, &QListWidget::currentRowChanged, [this](int row) { UserSelected(row); });
  QObject::connect(m_view, &QListWidget::itemClicked, [this](QListWidgetItem* clicked) {
    CListLabelElementUI* item = GetItemAt(m_view->row(clicked));
    if (item && GetManager()) {
      TNotifyUI msg;
      msg.sType = notify_type::kItemClick;
      msg.pSender = item;
      GetManager()->SendNotify(msg, false);
    }
  });
}

void CListUI::ViewAppend(const std::wstring& text) {
  QSignalBlocker quiet(m_view);
  m_view->addItem(QString::fromStdWString(text));
}

void CListUI::ViewSetText(int index, const std::wstring& text) {
  if (QListWidgetItem* row = m_view->item(index)) row->setText(QString::fromStdWString(text));
}

void CListUI::ViewClear() {
  QSignalBlocker quiet(m_view);
  m_view->clear();
}

void CListUI::ViewSelect(int index) {
  QSignalBlocker quiet(m_view);
  m_view->setCurrentRow(index);
  if (index < 0) m_view->clearSelection();
}

CComboUI::CComboUI() : CItemListUI(new QComboBox), m_view(static_cast<QComboBox*>(GetWidget())) {
  QObject::connect(m_view, QOverload<int>::of(&QComboBox::currentIndexChanged), [this](int index) { UserSelected(index); });
}

void CComboUI::ViewAppend(const std::wstring& text) {
  QSignalBlocker quiet(m_view);
  m_view->addItem(QString::fromStdWString(text));
  // QComboBox selects its first item by itself; the library's lists start
  // without a selection.
  m_view->setCurrentIndex(GetCurSel());
}

void CComboUI::ViewSetText(int index, const std::wstring& text) { m_view->setItemText(index, QString::fromStdWString(text)); }

void CComboUI::ViewClear() {
  QSignalBlocker quiet(m_view);
  m_view->clear();
}

void CComboUI::ViewSelect(int index) {
  QSignalBlocker quiet(m_view);
  m_view->setCurrentIndex(index);
}
