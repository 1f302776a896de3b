#include "app/PublishParams.h"

#include <iterator>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "app/FileAccess.h"
#include "app/IniFile.h"
#include "app/LeadingInt.h"
#include "app/ProgramFolder.h"
#include "app/PublishParamRanges.h"
#include "common/PercentEncode.h"

namespace {

constexpr const char* kSection = "VideoParam";

struct StringKey {
  const char* key;
  std::string PublishParamValues::*field;
};

// A missing int key takes its fallback, which is not always the built value;
// VDBitRate alone keeps what it held.
struct IntKey {
  const char* key;
  int PublishParamValues::*field;
  std::optional<int> fallback;
};

using V = PublishParamValues;

const StringKey kStringKeys[] = {
    {"strScheduleSvr", &V::strScheduleSvr}, {"strChatUrl", &V::strChatUrl},
    {"PublishRoomInfo", &V::PublishRoomInfo}, {"StrKey", &V::StrKey},
    {"PubWay", &V::PubWay}, {"stream", &V::stream},
    {"strmqPubUrlPub", &V::strmqPubUrlPub}, {"strChatTabName", &V::strChatTabName},
    {"strDomain", &V::strDomain},
};

// The ints before bVBR, then those after it, in file order.
const IntKey kIntKeysBeforeVbr[] = {
    {"ADSampleRate", &V::ADSampleRate, 44100}, {"ADChannels", &V::ADChannels, 2},
    {"ADBitperSample", &V::ADBitperSample, 16}, {"ADBitRate", &V::ADBitRate, 30000},
    {"ADVolume", &V::ADVolume, 80}, {"VDWidth", &V::VDWidth, 640},
    {"VDHeight", &V::VDHeight, 480}, {"MaxVDWidth", &V::MaxVDWidth, 1280},
    {"MaxVDHeight", &V::MaxVDHeight, 720}, {"VDFPS", &V::VDFPS, 7},
    {"VFFPS", &V::VFFPS, 15}, {"VCFPS", &V::VCFPS, 10},
    {"VDBitRate", &V::VDBitRate, std::nullopt}, {"VFBitRate", &V::VFBitRate, 500000},
    {"VCBitRate", &V::VCBitRate, 500000}, {"VDInterval", &V::VDInterval, 30},
    {"VDIntervalSencond", &V::VDIntervalSencond, 3}, {"BFrameCount", &V::BFrameCount, 0},
};
const IntKey kIntKeysAfterVbr[] = {
    {"Quality", &V::Quality, 0}, {"FQuality", &V::FQuality, 0}, {"CQuality", &V::CQuality, 0},
    {"VD_QMin", &V::VD_QMin, 0}, {"VF_QMin", &V::VF_QMin, 0}, {"VC_QMin", &V::VC_QMin, 0},
};

void ReadInts(const IniDocument& doc, const IntKey* keys, size_t count, PublishParamValues* values) {
  for (size_t i = 0; i < count; ++i) {
    const IntKey& k = keys[i];
    const auto text = doc.Find(kSection, k.key);
    const int fallback = k.fallback ? *k.fallback : values->*k.field;
    values->*k.field = text && !text->empty() ? IniValueToInt(*text) : fallback;
  }
}

void AppendInts(const PublishParamValues& values, const IntKey* keys, size_t count,
                std::vector<std::pair<std::string, std::string>>* out) {
  for (size_t i = 0; i < count; ++i) out->emplace_back(keys[i].key, std::to_string(values.*keys[i].field));
}

// Account names come from the login form and the login service: every byte
// outside a small safe set is percent-encoded, so "." and "/" never reach the
// path as they are and the name stays one file inside the folder.
std::string EncodeAccountName(const std::string& account) { return PercentEncode(account, "_-"); }

}  // namespace

PublishParamValues CPublishParams::Get() const {
  std::lock_guard<std::mutex> hold(lock_);
  return values_;
}

void CPublishParams::Set(const PublishParamValues& values) {
  std::lock_guard<std::mutex> hold(lock_);
  values_ = values;
}

bool CPublishParams::LoadIni(const std::string& path, ReadFileResult* result) {
  IniDocument doc;
  const ReadFileResult read = ReadIniFile(path, &doc);
  if (result) *result = read;
  // A file that exists but cannot be read (or is far too large to be ours)
  // changes nothing either.
  if (read != ReadFileResult::kRead) return false;
  LoadIniDocument(doc, path);
  return true;
}

void CPublishParams::LoadIniDocument(const IniDocument& doc, const std::string& source) {
  std::lock_guard<std::mutex> hold(lock_);
  PublishParamValues values = values_;
  for (const StringKey& k : kStringKeys) values.*k.field = doc.Find(kSection, k.key).value_or("");
  ReadInts(doc, kIntKeysBeforeVbr, std::size(kIntKeysBeforeVbr), &values);
  const std::string vbr = doc.Find(kSection, "bVBR").value_or("False");
  values.bVBR = vbr == "True" || vbr == "true";
  ReadInts(doc, kIntKeysAfterVbr, std::size(kIntKeysAfterVbr), &values);
  // What an absent key gives is also what a value out of range falls back to.
  PublishParamValues fallbacks = values_;
  ReadInts(IniDocument(), kIntKeysBeforeVbr, std::size(kIntKeysBeforeVbr), &fallbacks);
  KeepPublishParamsInRange(&values, fallbacks, source);
  values_ = std::move(values);
}

bool CPublishParams::SaveIni(const std::string& path) const {
  const PublishParamValues values = Get();
  std::vector<std::pair<std::string, std::string>> keyValues;
  for (const StringKey& k : kStringKeys) keyValues.emplace_back(k.key, values.*k.field);
  AppendInts(values, kIntKeysBeforeVbr, std::size(kIntKeysBeforeVbr), &keyValues);
  keyValues.emplace_back("bVBR", values.bVBR ? "True" : "False");
  AppendInts(values, kIntKeysAfterVbr, std::size(kIntKeysAfterVbr), &keyValues);
  // The account's cache is nobody else's business.
  return IniWriteStrings(path, kSection, keyValues, 0600);
}

void CPublishParams::SetMaxResolution(const std::string& text) {
  const auto star = text.find('*');
  const int width = ParseLeadingInt(std::string_view(text).substr(0, star));
  const int height = star == std::string::npos ? width : ParseLeadingInt(std::string_view(text).substr(star + 1));
  std::lock_guard<std::mutex> hold(lock_);
  values_.MaxVDWidth = width;
  values_.MaxVDHeight = height;
}

std::string CPublishParams::GetStream() const {
  std::lock_guard<std::mutex> hold(lock_);
  return values_.stream;
}

std::string CPublishParams::GetScheduleSvr() const {
  std::lock_guard<std::mutex> hold(lock_);
  return values_.strScheduleSvr;
}

std::string CPublishParams::GetPublishRoomInfo() const {
  std::lock_guard<std::mutex> hold(lock_);
  return values_.PublishRoomInfo;
}

std::string CPublishParams::GetMqPubUrlPub() const {
  std::lock_guard<std::mutex> hold(lock_);
  return values_.strmqPubUrlPub;
}

std::string CPublishParams::GetDomain() const {
  std::lock_guard<std::mutex> hold(lock_);
  return values_.strDomain;
}

CPublishParams& ThePublishParams() {
  static CPublishParams params;
  return params;
}

std::string GetUserIniDir() { return GetProgramFolder() + "/usr/"; }

std::string UserIniPath(const std::string& account) { return GetUserIniDir() + EncodeAccountName(account); }

bool SaveUserIni(const std::string& account) {
  if (account.empty()) return false;
  const std::string folder = GetProgramFolder() + "/usr";
  if (!IsDirectory(folder) && ::mkdir(folder.c_str(), 0700) != 0) return false;
  const std::string path = UserIniPath(account);
  // A cache that cannot be read (far too large, say) would refuse the update
  // for ever; it is kept aside and a fresh one takes its place.
  std::string bytes;
  const ReadFileResult existing = ReadRegularFile(path, &bytes);
  if ((existing == ReadFileResult::kTooLarge || existing == ReadFileResult::kFailed) && !IsDirectory(path))
    SetFileAside(path);
  return ThePublishParams().SaveIni(path);
}

void DeleteUserIni(const std::string& account) {
  if (account.empty()) return;
  const std::string path = UserIniPath(account);
  if (PathExists(path) && !IsDirectory(path)) ::unlink(path.c_str());
}
