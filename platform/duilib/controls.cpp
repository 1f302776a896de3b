#include "platform/duilib/controls.h"

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <functional>

#include "platform/duilib/attribute_values.h"
#include "platform/duilib/paint_manager.h"

namespace {

QString ToQt(const std::wstring& text) { return QString::fromStdWString(text); }

QString ImageUrl(const std::wstring& skinPath) {
  QString path = QString::fromStdString(CPaintManagerUI::ResolvePath(QString::fromStdWString(skinPath).toStdString()));
  path.replace(QLatin1Char('"'), QLatin1String("\\\""));
  return QStringLiteral("url(\"%1\")").arg(path);
}

class FocusReportingEdit : public QLineEdit {
 public:
  std::function<void()> onFocusOut;

 protected:
  void focusOutEvent(QFocusEvent* event) override {
    QLineEdit::focusOutEvent(event);
    if (onFocusOut) onFocusOut();
  }
};

}  // namespace

CLabelUI::CLabelUI() : CControlUI(new QLabel), m_label(static_cast<QLabel*>(GetWidget())) {}

void CLabelUI::SetText(const std::wstring& text) {
  CControlUI::SetText(text);
  m_label->setText(ToQt(text));
}

void CLabelUI::SetTextColor(DWORD argb) {
  m_textColor = argb;
  QPalette palette = m_label->palette();
  palette.setColor(QPalette::WindowText, QColor::fromRgba(argb));
  m_label->setPalette(palette);
}

bool CLabelUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"textcolor") {
    auto colour = duilib_attr::ToColour(value);
    if (!colour) return false;
    SetTextColor(*colour);
    return true;
  }
  return CControlUI::SetAttribute(name, value);
}

CButtonUI::CButtonUI() : CControlUI(new QPushButton), m_button(static_cast<QPushButton*>(GetWidget())) {
  QObject::connect(m_button, &QPushButton::clicked, [this] { OnClicked(); });
}

void CButtonUI::SetText(const std::wstring& text) {
  CControlUI::SetText(text);
  m_button->setText(ToQt(text));
}

void CButtonUI::OnClicked() { Notify(notify_type::kClick); }

void CButtonUI::SetNormalImage(const std::wstring& path) {
  m_normalImage = path;
  ApplyImages();
}

void CButtonUI::SetHotImage(const std::wstring& path) {
  m_hotImage = path;
  ApplyImages();
}

void CButtonUI::ApplyImages() {
  QString sheet;
  if (!m_normalImage.empty()) sheet += QStringLiteral("QPushButton{border-image:%1;}").arg(ImageUrl(m_normalImage));
  if (!m_hotImage.empty()) sheet += QStringLiteral("QPushButton:hover{border-image:%1;}").arg(ImageUrl(m_hotImage));
  if (!m_selectedImage.empty()) {
    sheet += QStringLiteral("QPushButton:checked{border-image:%1;}").arg(ImageUrl(m_selectedImage));
  }
  m_button->setStyleSheet(sheet);
}

bool CButtonUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"normalimage") {
    SetNormalImage(value);
  } else if (name == L"hotimage") {
    SetHotImage(value);
  } else {
    return CControlUI::SetAttribute(name, value);
  }
  return true;
}

COptionUI::COptionUI() { Button()->setCheckable(true); }

void COptionUI::OnClicked() {
  // Qt has already toggled the button; the library's rule decides instead.
  bool wanted = m_group.empty() ? !m_selected : true;
  {
    QSignalBlocker quiet(Button());
    Button()->setChecked(m_selected);
  }
  CButtonUI::OnClicked();
  Selected(wanted);
}

void COptionUI::Selected(bool selected, bool triggerEvent) {
  if (selected == m_selected) return;
  m_selected = selected;
  {
    QSignalBlocker quiet(Button());
    Button()->setChecked(selected);
  }
  if (selected && !m_group.empty() && GetManager()) {
    for (COptionUI* other : GetManager()->GetOptionGroup(m_group)) {
      if (other != this && other->IsSelected()) other->Selected(false, triggerEvent);
    }
  }
  if (triggerEvent) Notify(notify_type::kSelectChanged);
}

bool COptionUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"group") {
    SetGroup(value);
  } else if (name == L"selected") {
    auto flag = duilib_attr::ToBool(value);
    if (!flag) return false;
    // Skin defaults are not user choices: no notification.
    Selected(*flag, false);
  } else if (name == L"selectedimage") {
    m_selectedImage = value;
    ApplyImages();
  } else {
    return CButtonUI::SetAttribute(name, value);
  }
  return true;
}

CEditUI::CEditUI() : CControlUI(new FocusReportingEdit), m_edit(static_cast<QLineEdit*>(GetWidget())) {
  static_cast<FocusReportingEdit*>(m_edit)->onFocusOut = [this] { Notify(notify_type::kKillFocus); };
  QObject::connect(m_edit, &QLineEdit::textEdited, [this] { Notify(notify_type::kTextChanged); });
  QObject::connect(m_edit, &QLineEdit::returnPressed, [this] { Notify(notify_type::kReturn); });
}

std::wstring CEditUI::GetText() const { return m_edit->text().toStdWString(); }

void CEditUI::SetText(const std::wstring& text) {
  CControlUI::SetText(text);
  m_edit->setText(ToQt(text));
}

bool CEditUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"password") {
    auto flag = duilib_attr::ToBool(value);
    if (!flag) return false;
    m_edit->setEchoMode(*flag ? QLineEdit::Password : QLineEdit::Normal);
  } else if (name == L"readonly") {
    auto flag = duilib_attr::ToBool(value);
    if (!flag) return false;
    m_edit->setReadOnly(*flag);
  } else if (name == L"maxchar") {
    auto count = duilib_attr::ToInt(value);
    if (!count || *count <= 0) return false;
    m_edit->setMaxLength(*count);
  } else {
    return CControlUI::SetAttribute(name, value);
  }
  return true;
}

CSliderUI::CSliderUI() : CControlUI(new QSlider(Qt::Horizontal)), m_slider(static_cast<QSlider*>(GetWidget())) {
  // Only a value the user settles on is reported, not every step of a drag.
  m_slider->setTracking(false);
  QObject::connect(m_slider, &QSlider::valueChanged, [this] { Notify(notify_type::kValueChanged); });
}

void CSliderUI::SetValue(int value) {
  QSignalBlocker quiet(m_slider);
  m_slider->setValue(value);
}

int CSliderUI::GetValue() const { return m_slider->value(); }
void CSliderUI::SetMinValue(int value) { m_slider->setMinimum(value); }
void CSliderUI::SetMaxValue(int value) { m_slider->setMaximum(value); }

namespace {

// min, max and value attributes shared by the slider and the progress bar.
template <typename Control>
bool SetRangeAttribute(Control& control, const std::wstring& name, const std::wstring& value, bool& known) {
  known = name == L"min" || name == L"max" || name == L"value";
  if (!known) return true;
  auto number = duilib_attr::ToInt(value);
  if (!number) return false;
  if (name == L"min") control.SetMinValue(*number);
  else if (name == L"max") control.SetMaxValue(*number);
  else control.SetValue(*number);
  return true;
}

}  // namespace

bool CSliderUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  bool known = false;
  bool ok = SetRangeAttribute(*this, name, value, known);
  return known ? ok : CControlUI::SetAttribute(name, value);
}

CProgressUI::CProgressUI() : CControlUI(new QProgressBar), m_bar(static_cast<QProgressBar*>(GetWidget())) {
  m_bar->setTextVisible(false);
}

void CProgressUI::SetValue(int value) { m_bar->setValue(value); }
int CProgressUI::GetValue() const { return m_bar->value(); }
void CProgressUI::SetMinValue(int value) { m_bar->setMinimum(value); }
void CProgressUI::SetMaxValue(int value) { m_bar->setMaximum(value); }

bool CProgressUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  bool known = false;
  bool ok = SetRangeAttribute(*this, name, value, known);
  return known ? ok : CControlUI::SetAttribute(name, value);
}
