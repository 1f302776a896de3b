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
  // Not stored: the account logged in this run, online or from its cache.
  // Its cached publish parameters are the ones in use; USERID is only the
  // last account that logged in online.
  std::string loginAccount;
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

// The account in use: the one logged in this run, else the last one that
// logged in online (USERID). What the presenter is shown and what a crash
// report names.
std::string AccountInUse(const UserConfigValues& values);

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
  void SetLoginAccount(const std::string& account);
  std::string GetUserId() const;
  std::string GetUserPwd() const;
  std::string GetRecordPath() const;
  std::string GetOutResolution() const;

  // What Load found at its path.
  enum class LoadResult {
    kLoaded,   // every element that was there was taken
    kMissing,  // no file: every value stays
    // A file that cannot be read (no permission, too large, not a regular
    // file) or is not XML: every value stays, and Save refuses the path until
    // SetAsideDamaged has moved the file out of the way, so settings the
    // presenter never saw are not written over the ones in the file.
    kDamaged,
  };
  LoadResult Load(const std::string& path);
  // Renames the file Load found damaged to "<path>.bad-<YYYYMMDD-hhmmss>" (with
  // "-2", "-3"... when that name is taken) and lets saves to the path go
  // ahead. The new name, or "" when the file could not be moved (saves to
  // the path stay refused for this object's life).
  std::string SetAsideDamaged(const std::string& path);
  // Writes the whole file atomically (mode 0600: it holds the password) and
  // reports whether it landed. False, and nothing written, for a path whose
  // damaged file is still in place.
  bool Save(const std::string& path) const;
  // Saves only when the content differs from what this object last saved,
  // so a save that repeats the last one cannot replace a newer file another
  // instance of the program wrote meanwhile. True when nothing needed saving.
  bool SaveIfChanged(const std::string& path) const;
  // Drops media files that no longer exist.
  void PruneFileList();

 private:
  void PruneFileListLocked();
  std::string Serialize() const;
  bool WriteBytes(const std::string& path, const std::string& bytes) const;

  mutable std::mutex lock_;
  UserConfigValues values_;
  std::string damagedPath_;        // a path Load found damaged and that is still in place
  mutable std::string lastSaved_;  // the bytes of the last save that landed
};

// The program-wide object, built on first use for the program folder and the
// screen the program runs on. Once loaded from UserConfigPath(), it is saved
// there once more when the process exits normally, unless that would repeat
// the last save.
CUserConfig& TheUserConfig();
// Loads the program-wide object from UserConfigPath(); a damaged file is set
// aside (keptAs: its new name, "" when it could not be moved).
struct ProgramConfigLoad {
  CUserConfig::LoadResult result = CUserConfig::LoadResult::kMissing;
  std::string keptAs;
};
ProgramConfigLoad LoadProgramUserConfig();
// The program's own save (the main window's, at exit); nothing is written
// before the file was loaded, so a program that never got that far cannot
// replace the presenter's settings with the defaults.
bool SaveProgramUserConfig();
// Fills the capture sizes for the virtual screen the program runs on; called
// once the program has its display.
void UseScreenSize(int width, int height);
// user_config.xml in the program folder.
std::string UserConfigPath();
