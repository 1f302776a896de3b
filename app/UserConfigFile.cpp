// user_config.xml: writing and reading the settings of CUserConfig, and
// setting a damaged file aside.
#include <cstdio>
#include <string_view>
#include <tinyxml2.h>

#include "app/FileAccess.h"
#include "app/LeadingInt.h"
#include "app/UserConfig.h"

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;

namespace {

const char* BoolText(bool value) { return value ? "TRUE" : "FALSE"; }

XMLElement* AddElement(XMLDocument* doc, XMLElement* parent, const char* name, const std::string& text) {
  XMLElement* element = doc->NewElement(name);
  element->SetText(text.c_str());
  parent->InsertEndChild(element);
  return element;
}

// sscanf(text, "{%d,%d,%d,%d}") without its overflow: the fields before the
// first mismatch are taken.
bool ScanInt(const char** p, int* out) {
  const char* s = *p;
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  const char* digits = s + ((*s == '-' || *s == '+') ? 1 : 0);
  if (*digits < '0' || *digits > '9') return false;
  while (*digits >= '0' && *digits <= '9') ++digits;
  *out = ParseLeadingInt(std::string_view(s, static_cast<size_t>(digits - s)));
  *p = digits;
  return true;
}

void ScanRect(const char* text, CaptureRect* rect) {
  int* fields[] = {&rect->left, &rect->top, &rect->right, &rect->bottom};
  const char* p = text;
  if (*p++ != '{') return;
  for (int i = 0; i < 4; ++i) {
    if (!ScanInt(&p, fields[i])) return;
    if (i < 3 && *p++ != ',') return;
  }
}

// The children of the root are looked for in file order, each among the
// siblings after the one found before it; a missing one leaves the position.
class ElementWalk {
 public:
  explicit ElementWalk(const XMLElement* root) : root_(root) {}
  const XMLElement* Next(const char* name) {
    const XMLElement* found = last_ ? last_->NextSiblingElement(name) : root_->FirstChildElement(name);
    if (found) last_ = found;
    return found;
  }
  // Texts of elements that are there and not empty; nullptr otherwise.
  const char* NextText(const char* name) {
    const XMLElement* element = Next(name);
    return element ? element->GetText() : nullptr;
  }

 private:
  const XMLElement* root_;
  const XMLElement* last_ = nullptr;
};

void ReadString(ElementWalk* walk, const char* name, std::string* field) {
  if (const char* text = walk->NextText(name)) *field = text;
}

void ReadInt(ElementWalk* walk, const char* name, int* field) {
  if (const char* text = walk->NextText(name)) *field = ParseLeadingInt(text);
}

// Only "TRUE" switches a flag on; any other text leaves it as it was.
void ReadBool(ElementWalk* walk, const char* name, bool* field) {
  if (const char* text = walk->NextText(name); text && std::string_view(text) == "TRUE") *field = true;
}

std::vector<std::string> ChildTexts(const XMLElement* parent, const char* childName) {
  std::vector<std::string> texts;
  for (const XMLElement* e = parent->FirstChildElement(childName); e; e = e->NextSiblingElement(childName)) {
    const char* text = e->GetText();
    texts.emplace_back(text ? text : "");
  }
  return texts;
}

// Applies the document to the values. An element that is missing is skipped
// alone; the walk goes on with the next one.
void ApplyDocument(const XMLElement* root, UserConfigValues* v) {
  ElementWalk walk(root);
  ReadString(&walk, "MIC", &v->micName);
  ReadString(&walk, "CAM", &v->camName);
  ReadString(&walk, "RECORDPATH", &v->recordPath);
  if (const char* text = walk.NextText("CAPRECT")) ScanRect(text, &v->capRect);
  ReadBool(&walk, "LOCKCAP", &v->lockCap);
  ReadString(&walk, "OUTRESOLUTION", &v->outResolution);
  ReadInt(&walk, "VOLUME", &v->volume);
  ReadBool(&walk, "ANTINOISE", &v->antiNoise);
  ReadBool(&walk, "AUDIOMIX", &v->audioMix);
  ReadBool(&walk, "RECORD", &v->record);
  ReadInt(&walk, "VOLMAGNIFY", &v->volMagnify);
  ReadInt(&walk, "TRANSPARENCE", &v->transparence);
  ReadString(&walk, "USERID", &v->userId);
  ReadString(&walk, "USERPWD", &v->userPwd);
  ReadString(&walk, "ROOMID", &v->roomId);
  if (const XMLElement* files = walk.Next("FILELIST")) v->fileList = ChildTexts(files, "FILE");
  if (const XMLElement* sizes = walk.Next("Resolution")) v->resolutionList = ChildTexts(sizes, "Element");
  ReadInt(&walk, "m_iSelectResolutionIndex", &v->selectResolutionIndex);
  ReadInt(&walk, "m_lockMode", &v->lockMode);
}

}  // namespace

std::string CUserConfig::Serialize() const {
  const UserConfigValues v = Get();
  XMLDocument doc;
  doc.InsertEndChild(doc.NewDeclaration("xml version=\"1.0\" encoding=\"UTF-8\""));
  XMLElement* root = doc.NewElement("USERINFO");
  doc.InsertEndChild(root);
  char rect[64];
  std::snprintf(rect, sizeof rect, "{%d,%d,%d,%d}", v.capRect.left, v.capRect.top, v.capRect.right, v.capRect.bottom);
  AddElement(&doc, root, "MIC", v.micName);
  AddElement(&doc, root, "CAM", v.camName);
  AddElement(&doc, root, "RECORDPATH", v.recordPath);
  AddElement(&doc, root, "CAPRECT", rect);
  AddElement(&doc, root, "LOCKCAP", BoolText(v.lockCap));
  AddElement(&doc, root, "OUTRESOLUTION", v.outResolution);
  AddElement(&doc, root, "VOLUME", std::to_string(v.volume));
  AddElement(&doc, root, "ANTINOISE", BoolText(v.antiNoise));
  AddElement(&doc, root, "AUDIOMIX", BoolText(v.audioMix));
  AddElement(&doc, root, "RECORD", BoolText(v.record));
  AddElement(&doc, root, "VOLMAGNIFY", std::to_string(v.volMagnify));
  AddElement(&doc, root, "TRANSPARENCE", std::to_string(v.transparence));
  AddElement(&doc, root, "USERID", v.userId);
  AddElement(&doc, root, "USERPWD", v.userPwd);
  AddElement(&doc, root, "ROOMID", v.roomId);
  XMLElement* files = doc.NewElement("FILELIST");
  root->InsertEndChild(files);
  for (const std::string& file : v.fileList) AddElement(&doc, files, "FILE", file);
  XMLElement* sizes = doc.NewElement("Resolution");
  root->InsertEndChild(sizes);
  for (const std::string& size : v.resolutionList) AddElement(&doc, sizes, "Element", size);
  AddElement(&doc, root, "m_iSelectResolutionIndex", std::to_string(v.selectResolutionIndex));
  AddElement(&doc, root, "m_lockMode", std::to_string(v.lockMode));

  tinyxml2::XMLPrinter printer;  // indented, as people read and edit this file
  doc.Print(&printer);
  return std::string(printer.CStr(), static_cast<size_t>(printer.CStrSize() - 1));
}

bool CUserConfig::WriteBytes(const std::string& path, const std::string& bytes) const {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!damagedPath_.empty() && damagedPath_ == path) return false;
  }
  // The file holds the password in plain text: owner only.
  if (!WriteFileAtomically(path, bytes, 0600)) return false;
  std::lock_guard<std::mutex> hold(lock_);
  lastSaved_ = bytes;
  return true;
}

bool CUserConfig::Save(const std::string& path) const { return WriteBytes(path, Serialize()); }

bool CUserConfig::SaveIfChanged(const std::string& path) const {
  const std::string bytes = Serialize();
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (bytes == lastSaved_) return true;
  }
  return WriteBytes(path, bytes);
}

CUserConfig::LoadResult CUserConfig::Load(const std::string& path) {
  std::string bytes;
  switch (ReadRegularFile(path, &bytes)) {
    case ReadFileResult::kRead:
      break;
    case ReadFileResult::kMissing:
      return LoadResult::kMissing;
    case ReadFileResult::kTooLarge:
    case ReadFileResult::kFailed: {
      std::lock_guard<std::mutex> hold(lock_);
      damagedPath_ = path;
      return LoadResult::kDamaged;
    }
  }
  XMLDocument doc;
  const XMLElement* root = nullptr;
  if (doc.Parse(bytes.data(), bytes.size()) == tinyxml2::XML_SUCCESS) root = doc.FirstChildElement();
  std::lock_guard<std::mutex> hold(lock_);
  if (!root) {
    damagedPath_ = path;
    return LoadResult::kDamaged;
  }
  ApplyDocument(root, &values_);
  PruneFileListLocked();
  return LoadResult::kLoaded;
}

std::string CUserConfig::SetAsideDamaged(const std::string& path) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (damagedPath_ != path) return {};
  }
  const std::string target = SetFileAside(path);
  if (target.empty()) return {};
  std::lock_guard<std::mutex> hold(lock_);
  damagedPath_.clear();
  return target;
}
