// The presenter's settings between runs: chosen devices, recording folder and
// switches, volume, output size, size lists, the last login's credentials and
// the media-file list. One program-wide object backed by user_config.xml in
// the program folder; loaded when the main window is built, saved when it is
// destroyed and again at exit. The GUI thread and the login thread both touch
// it, so every access goes through a lock and readers take a copy.
#pragma once
#include <mutex>
#include <string>
#include <vector>

struct CaptureRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const CaptureRect&) const = default;
};

struct UserConfigValues {
  std::string micName;          // MIC
  int micIndex = 0;             // not stored
  std::string camName;          // CAM
  int camIndex = 0;             // not stored
  std::string recordPath;       // RECORDPATH; the program folder's "video"
  std::string outResolution = "640*480";      // OUTRESOLUTION
  std::string roomId;           // ROOMID
  std::string userPwd;          // USERPWD
  std::string userId;           // USERID
  std::vector<std::string> fileList;          // FILELIST
  std::vector<std::string> resolutionList;    // Resolution (output sizes)
  std::vector<std::string> captureSizeList;   // not stored
  std::string accountNumber;    // not stored; set at login
  CaptureRect capRect;          // CAPRECT
  int volume = 80;              // VOLUME
  int transparence = 255;       // TRANSPARENCE
  int volMagnify = 20;          // VOLMAGNIFY
  bool lockCap = false;         // LOCKCAP
  bool antiNoise = false;       // ANTINOISE
  bool audioMix = false;        // AUDIOMIX
  bool record = false;          // RECORD
  int selectResolutionIndex = 3;  // m_iSelectResolutionIndex
  int lockMode = 0;             // m_lockMode: 0 free, 1 lock, 2 ratio
};

// The twelve output sizes, and the capture sizes offered on a virtual screen
// of the given size (always ending in the full-screen entry).
std::vector<std::string> DefaultOutputSizes();
std::vector<std::string> CaptureSizesFor(int screenWidth, int screenHeight);

class CUserConfig {
 public:
  // Defaults; the recording folder is created and the size lists are filled
  // for a virtual screen of the given size.
  CUserConfig(const std::string& programFolder, int screenWidth, int screenHeight);

  UserConfigValues Get() const;
  void Set(const UserConfigValues& values);

  void SetCredentials(const std::string& userId, const std::string& password, const std::string& roomId);
  void SetAccountNumber(const std::string& number);
  std::string GetUserId() const;
  std::string GetUserPwd() const;
  std::string GetRecordPath() const;
  std::string GetOutResolution() const;

  // Load keeps every value when the file is missing or not XML; Save writes
  // the whole file atomically (mode 0600: it holds the password) and reports
  // whether it landed.
  void Load(const std::string& path);
  bool Save(const std::string& path) const;
  // Drops media files that no longer exist.
  void PruneFileList();

 private:
  mutable std::mutex lock_;
  UserConfigValues values_;
};

// The program-wide object, built on first use for the program folder and the
// screen the program runs on; saved to UserConfigPath() once more when the
// process exits normally.
CUserConfig& TheUserConfig();
// Fills the capture sizes for the virtual screen the program runs on; called
// once the program has its display.
void UseScreenSize(int width, int height);
// user_config.xml in the program folder.
std::string UserConfigPath();
