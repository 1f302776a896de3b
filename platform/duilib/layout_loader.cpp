#include "platform/duilib/layout_loader.h"

#include <QFile>
#include <QString>
#include <functional>
#include <map>
#include <tinyxml2.h>

#include "platform/duilib/attribute_values.h"
#include "platform/duilib/controls.h"
#include "platform/duilib/list_controls.h"
#include "platform/duilib/paint_manager.h"

namespace {

std::wstring Wide(const char* utf8) { return QString::fromUtf8(utf8 ? utf8 : "").toStdWString(); }

// A bare <Control/> is the skins' empty space: in a layout it takes what the
// other children leave. It must not catch the mouse meant for what lies
// beneath it.
QWidget* MakeSpacerWidget() {
  auto* widget = new QWidget;
  widget->setAttribute(Qt::WA_TransparentForMouseEvents);
  return widget;
}

std::unique_ptr<CControlUI> MakeKnownControl(const std::string& tag) {
  static const std::map<std::string, std::function<std::unique_ptr<CControlUI>()>> factories = {
      {"Control", [] { return std::make_unique<CControlUI>(MakeSpacerWidget()); }},
      {"Container", [] { return std::make_unique<CContainerUI>(); }},
      {"VerticalLayout", [] { return std::make_unique<CVerticalLayoutUI>(); }},
      {"HorizontalLayout", [] { return std::make_unique<CHorizontalLayoutUI>(); }},
      {"TabLayout", [] { return std::make_unique<CTabLayoutUI>(); }},
      {"Label", [] { return std::make_unique<CLabelUI>(); }},
      {"Text", [] { return std::make_unique<CLabelUI>(); }},
      {"Button", [] { return std::make_unique<CButtonUI>(); }},
      {"Option", [] { return std::make_unique<COptionUI>(); }},
      {"Edit", [] { return std::make_unique<CEditUI>(); }},
      {"Slider", [] { return std::make_unique<CSliderUI>(); }},
      {"Progress", [] { return std::make_unique<CProgressUI>(); }},
      {"List", [] { return std::make_unique<CListUI>(); }},
      {"Combo", [] { return std::make_unique<CComboUI>(); }},
  };
  auto found = factories.find(tag);
  return found == factories.end() ? nullptr : found->second();
}

class Builder {
 public:
  Builder(std::string name, IDialogBuilderCallback* callback) : m_name(std::move(name)), m_callback(callback) {}

  bool Build(const tinyxml2::XMLDocument& doc, LoadedLayout& out, std::string& error) {
    const tinyxml2::XMLElement* window = doc.RootElement();
    if (!window || std::string(window->Name()) != "Window") {
      return Fail(window, "the root element must be <Window>", error);
    }
    if (const char* size = window->Attribute("size")) {
      auto values = duilib_attr::ToInts(Wide(size), 2);
      if (!values || (*values)[0] < 0 || (*values)[1] < 0) return Fail(window, BadValue("size", size), error);
      out.size = SIZE{(*values)[0], (*values)[1]};
    }
    if (const char* caption = window->Attribute("caption")) {
      auto values = duilib_attr::ToInts(Wide(caption), 4);
      if (!values) return Fail(window, BadValue("caption", caption), error);
      out.caption = RECT{(*values)[0], (*values)[1], (*values)[2], (*values)[3]};
    }
    const tinyxml2::XMLElement* first = window->FirstChildElement();
    if (!first) return Fail(window, "<Window> holds no control", error);
    if (first->NextSiblingElement()) return Fail(first->NextSiblingElement(), "<Window> holds more than one root control", error);
    std::unique_ptr<CControlUI> root = BuildControl(first, error);
    if (!root) return false;
    out.root = std::move(root);
    return true;
  }

 private:
  std::unique_ptr<CControlUI> BuildControl(const tinyxml2::XMLElement* element, std::string& error) {
    std::string tag = element->Name();
    std::unique_ptr<CControlUI> control = MakeKnownControl(tag);
    if (!control && m_callback) control = m_callback->CreateControl(Wide(tag.c_str()));
    if (!control) {
      Fail(element, "unknown control <" + tag + ">", error);
      return nullptr;
    }
    for (const tinyxml2::XMLAttribute* attr = element->FirstAttribute(); attr; attr = attr->Next()) {
      if (!control->SetAttribute(Wide(attr->Name()), Wide(attr->Value()))) {
        Fail(element, BadValue(attr->Name(), attr->Value()) + " of <" + tag + ">", error);
        return nullptr;
      }
    }
    if (!AddChildren(element, *control, error)) return nullptr;
    return control;
  }

  bool AddChildren(const tinyxml2::XMLElement* element, CControlUI& control, std::string& error) {
    const tinyxml2::XMLElement* child = element->FirstChildElement();
    if (!child) return true;
    if (auto* list = dynamic_cast<CItemListUI*>(&control)) {
      for (; child; child = child->NextSiblingElement()) {
        if (std::string(child->Name()) != "ListLabelElement") {
          return Fail(child, "a list holds only <ListLabelElement> items", error);
        }
        auto item = std::make_unique<CListLabelElementUI>();
        for (const tinyxml2::XMLAttribute* attr = child->FirstAttribute(); attr; attr = attr->Next()) {
          if (!item->SetAttribute(Wide(attr->Name()), Wide(attr->Value()))) {
            return Fail(child, BadValue(attr->Name(), attr->Value()) + " of <ListLabelElement>", error);
          }
        }
        list->Add(std::move(item));
      }
      return true;
    }
    auto* container = dynamic_cast<CContainerUI*>(&control);
    if (!container) return Fail(child, std::string("<") + element->Name() + "> cannot hold controls", error);
    for (; child; child = child->NextSiblingElement()) {
      std::unique_ptr<CControlUI> built = BuildControl(child, error);
      if (!built) return false;
      container->Add(std::move(built));
    }
    return true;
  }

  static std::string BadValue(const char* attribute, const char* value) {
    return std::string("bad value \"") + value + "\" for attribute " + attribute;
  }

  bool Fail(const tinyxml2::XMLNode* where, const std::string& what, std::string& error) const {
    error = "layout " + m_name;
    if (where) error += " line " + std::to_string(where->GetLineNum());
    error += ": " + what;
    return false;
  }

  std::string m_name;
  IDialogBuilderCallback* m_callback;
};

}  // namespace

bool LoadLayoutText(const std::string& xml, const std::string& name, IDialogBuilderCallback* callback,
                    LoadedLayout& out, std::string& error) {
  tinyxml2::XMLDocument doc;
  if (doc.Parse(xml.data(), xml.size()) != tinyxml2::XML_SUCCESS) {
    error = "layout " + name + " is not well-formed XML (line " + std::to_string(doc.ErrorLineNum()) +
            "): " + (doc.ErrorStr() ? doc.ErrorStr() : "");
    return false;
  }
  LoadedLayout built;
  if (!Builder(name, callback).Build(doc, built, error)) return false;
  out = std::move(built);
  return true;
}

bool LoadLayoutFile(const std::string& skinFile, IDialogBuilderCallback* callback, LoadedLayout& out,
                    std::string& error) {
  std::string path = CPaintManagerUI::ResolvePath(skinFile);
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    error = "layout " + skinFile + " cannot be read from " + path + ": " + file.errorString().toStdString();
    return false;
  }
  QByteArray bytes = file.readAll();
  return LoadLayoutText(std::string(bytes.constData(), static_cast<size_t>(bytes.size())), skinFile, callback, out,
                        error);
}
