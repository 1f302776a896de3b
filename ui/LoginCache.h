// The account's cached publish parameters (its INI file under "usr") as the
// login uses them: a successful login stores them together with a salted
// check value of the password, so that a later login without the service
// opens the account only for the presenter who knows its password.
#pragma once
#include <string>

// Saves the program-wide publish parameters into the account's file and
// adds a new salt and check value of the password. False when the file could
// not be written.
bool StoreAccountCache(const std::string& account, const std::string& password);

// True when the account's file exists, holds a check value, and the
// password matches it. A file from before check values were kept is refused.
bool CachedPasswordMatches(const std::string& account, const std::string& password);

// The login without the service: the account's file is read once; when its
// check value matches the password, its parameters become the program-wide
// ones. A file larger than a settings file can be is refused unread.
enum class AccountCacheOpen { kOpened, kRefused, kTooLarge };
AccountCacheOpen OpenAccountCache(const std::string& account, const std::string& password);

// The check value itself: a salted, repeated MD5, so a copied file does not
// give the password away to a single digest lookup.
std::string PasswordCheckValue(const std::string& salt, const std::string& password);
