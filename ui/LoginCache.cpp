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

bool CachedPasswordMatches(const std::string& account, const std::string& password) {
  if (account.empty()) return false;
  const std::string path = UserIniPath(account);
  const std::string salt = IniGetString(path, kSection, kSaltKey, "");
  const std::string check = IniGetString(path, kSection, kCheckKey, "");
  if (salt.empty() || check.empty()) return false;
  return SameText(PasswordCheckValue(salt, password), check);
}

bool LoadAccountCache(const std::string& account) {
  if (account.empty()) return false;
  return ThePublishParams().LoadIni(UserIniPath(account));
}
