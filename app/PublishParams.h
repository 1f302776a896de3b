// The publish parameters the login service hands out per account: server and
// stream names, audio and video settings per source, quality settings and the
// largest output size. One program-wide object; the login thread fills it, the
// GUI thread and the library proxy read it, so every access goes through a
// lock and readers take a copy. Cached per account in an INI file (section
// "VideoParam") so a later login without the service can use it.
#pragma once
#include <mutex>
#include <string>

#include "app/FileAccess.h"

class IniDocument;

// The values, named as their INI keys. Defaults are the values after start-up.
struct PublishParamValues {
  std::string strScheduleSvr;
  std::string strChatUrl;
  std::string PublishRoomInfo;
  std::string StrKey;
  std::string PubWay;
  std::string stream;
  std::string strmqPubUrlPub;
  std::string strChatTabName = "聊天";
  std::string strDomain;
  int ADSampleRate = 44100;
  int ADChannels = 2;
  int ADBitperSample = 16;
  int ADBitRate = 0;
  int ADVolume = 0;
  int VDWidth = 640;
  int VDHeight = 480;
  int MaxVDWidth = 1920;
  int MaxVDHeight = 1080;
  int VDFPS = 5;
  int VFFPS = 25;
  int VCFPS = 15;
  int VDBitRate = 480000;
  int VFBitRate = 500000;
  int VCBitRate = 500000;
  int VDInterval = 30;
  int VDIntervalSencond = 3;
  int BFrameCount = 0;
  bool bVBR = false;
  int Quality = 0;
  int FQuality = 0;
  int CQuality = 0;
  int VD_QMin = 30;
  int VF_QMin = 30;
  int VC_QMin = 30;
};

class CPublishParams {
 public:
  CPublishParams() = default;

  // A copy of every value, taken under the lock.
  PublishParamValues Get() const;
  void Set(const PublishParamValues& values);

  // Reads section "VideoParam" of an INI file; keys that are missing take
  // their fallbacks, and so do numbers out of the range the library accepts
  // (PublishParamRanges.h). False (nothing changed) when the path is not a
  // readable file of a settings file's size; result says which.
  bool LoadIni(const std::string& path, ReadFileResult* result = nullptr);
  // The same for a file already read; source names it in reports.
  void LoadIniDocument(const IniDocument& doc, const std::string& source);
  // Writes every key of section "VideoParam", atomically.
  bool SaveIni(const std::string& path) const;

  // "W*H" sets MaxVDWidth and MaxVDHeight; without "*" both take the number.
  void SetMaxResolution(const std::string& text);

  std::string GetStream() const;
  std::string GetScheduleSvr() const;
  std::string GetPublishRoomInfo() const;
  std::string GetMqPubUrlPub() const;
  std::string GetDomain() const;

 private:
  mutable std::mutex lock_;
  PublishParamValues values_;
};

// The program-wide object.
CPublishParams& ThePublishParams();

// The folder of the per-account INI files: the program folder, then "usr/".
std::string GetUserIniDir();
// The per-account INI file of an account name. The name is encoded so that it
// always stays one file inside that folder, whatever it holds.
std::string UserIniPath(const std::string& account);
// Creates the folder when needed and saves the program-wide parameters there;
// an existing file that cannot be read is set aside first (SetFileAside).
bool SaveUserIni(const std::string& account);
// Deletes the account's file when it exists and is not a folder.
void DeleteUserIni(const std::string& account);
