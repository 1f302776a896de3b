#include "ui/LoginCache.h"

#include <random>

#include "app/IniFile.h"
#include "app/Md5Hex.h"
#include "app/PublishParams.h"

namespace {

const char kSection[] = "LoginCheck";
const char kSaltKey[] = "Salt";
const char kCheckKey[] = "Check";
constexpr int kRounds = 4096;

std::string NewSalt() {
  std::random_device source;
  static const char kHex[] = "0123456789abcdef";
  std::string salt;
  for (int i = 0; i < 32; ++i) salt.push_back(kHex[source() & 0x0F]);
  return salt;
}

// Compares without stopping at the first difference.
bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace

std::string PasswordCheckValue(const std::string& salt, const std::string& password) {
  std::string value = Md5Hex(salt + password);
  for (int i = 1; i < kRounds; ++i) value = Md5Hex(salt + value);
  return value;
}

bool StoreAccountCache(const std::string& account, const std::string& password) {
  if (!SaveUserIni(account)) return false;
  const std::string salt = NewSalt();
  return IniWriteStrings(UserIniPath(account), kSection,
                         {{kSaltKey, salt}, {kCheckKey, PasswordCheckValue(salt, password)}}, 0600);
}

namespace {

bool PasswordMatches(const IniDocument& cache, const std::string& password) {
  const std::string salt = cache.Find(kSection, kSaltKey).value_or("");
  const std::string check = cache.Find(kSection, kCheckKey).value_or("");
  if (salt.empty() || check.empty()) return false;
  return SameText(PasswordCheckValue(salt, password), check);
}

}  // namespace

bool CachedPasswordMatches(const std::string& account, const std::string& password) {
  if (account.empty()) return false;
  IniDocument cache;
  return ReadIniFile(UserIniPath(account), &cache) == ReadFileResult::kRead && PasswordMatches(cache, password);
}

AccountCacheOpen OpenAccountCache(const std::string& account, const std::string& password) {
  if (account.empty()) return AccountCacheOpen::kRefused;
  const std::string path = UserIniPath(account);
  IniDocument cache;
  switch (ReadIniFile(path, &cache)) {
    case ReadFileResult::kRead:
      break;
    case ReadFileResult::kTooLarge:
      return AccountCacheOpen::kTooLarge;
    case ReadFileResult::kMissing:
    case ReadFileResult::kFailed:
      return AccountCacheOpen::kRefused;
  }
  if (!PasswordMatches(cache, password)) return AccountCacheOpen::kRefused;
  ThePublishParams().LoadIniDocument(cache, path);
  return AccountCacheOpen::kOpened;
}

