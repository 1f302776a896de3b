// The simple controls of the skins: label, button, option (a button that
// stays selected, alone or in a group), edit, slider and progress bar. Each
// turns its Qt widget's user input into the library's notifications.
#pragma once
#include <string>

#include "platform/duilib/control.h"

class QLabel;
class QPushButton;
class QLineEdit;
class QSlider;
class QProgressBar;

class CLabelUI : public CControlUI {
 public:
  CLabelUI();
  void SetText(const std::wstring& text) override;
  // ARGB, as the skins write colours.
  void SetTextColor(DWORD argb);
  DWORD GetTextColor() const { return m_textColor; }
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;

 private:
  QLabel* m_label;
  DWORD m_textColor = 0xFF000000;
};

// Sends "click". Images are skin paths under the resource folder.
class CButtonUI : public CControlUI {
 public:
  CButtonUI();
  void SetText(const std::wstring& text) override;
  void SetNormalImage(const std::wstring& path);
  void SetHotImage(const std::wstring& path);
  const std::wstring& GetNormalImage() const { return m_normalImage; }
  const std::wstring& GetHotImage() const { return m_hotImage; }
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;

 protected:
  QPushButton* Button() const { return m_button; }
  virtual void OnClicked();
  void ApplyImages();

  std::wstring m_selectedImage;

 private:
  QPushButton* m_button;
  std::wstring m_normalImage;
  std::wstring m_hotImage;
};

// Sends "click", then "selectchanged" whenever its selected state changes.
// In a group, selecting one deselects the others, and a click on the
// selected one keeps it selected.
class COptionUI : public CButtonUI {
 public:
  COptionUI();
  bool IsSelected() const { return m_selected; }
  void Selected(bool selected, bool triggerEvent = true);
  const std::wstring& GetGroup() const { return m_group; }
  void SetGroup(const std::wstring& group) { m_group = group; }
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;

 protected:
  void OnClicked() override;

 private:
  bool m_selected = false;
  std::wstring m_group;
};

// Sends "textchanged" for typed text, "return" for the Enter key and
// "killfocus" when the focus leaves.
class CEditUI : public CControlUI {
 public:
  CEditUI();
  std::wstring GetText() const override;
  void SetText(const std::wstring& text) override;
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;

 private:
  QLineEdit* m_edit;
};

// Sends "valuechanged" when the user lets go of a new value.
class CSliderUI : public CControlUI {
 public:
  CSliderUI();
  void SetValue(int value);
  int GetValue() const;
  void SetMinValue(int value);
  void SetMaxValue(int value);
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;

 private:
  QSlider* m_slider;
};

class CProgressUI : public CControlUI {
 public:
  CProgressUI();
  void SetValue(int value);
  int GetValue() const;
  void SetMinValue(int value);
  void SetMaxValue(int value);
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;

 private:
  QProgressBar* m_bar;
};
