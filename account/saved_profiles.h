#pragma once
// The saved profiles below HKEY_CURRENT_USER\Software\Quellmark\UserProfiles:
// one value per member who logged in here (named by the user name, holding
// it), and in the default value at most one remembered member as
// "name~password" (empty when nobody is remembered).

#include <string>
#include <vector>

// The saved user names (every value but the default one, up to 29 characters).
std::vector<std::string> SavedUserNames();
// The remembered member, split at the first "~" (no "~": empty name, all of it
// the password); false when nobody is remembered or the value is too long.
bool ReadRememberedMember(std::string& user, std::string& password);
// Saves a member after a successful log-in; remembers the password when asked.
void SaveProfile(const std::string& user, const std::string& password, bool remember);
void ForgetRememberedMember();

// Posts a log-in to the account server and verifies the answer, which is left
// in `answer` either way.
bool PostLogin(const std::string& user, const std::string& password, std::string& answer);
