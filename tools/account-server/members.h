#pragma once
// The account stand-in's members file and the answers it gives. The file is
// made of blocks; "member NAME" starts one, then "key value" lines:
//   password, catmask, agencyserver, agencyport, localoverridesver,
//   localoverrides, popupblocker, loginmessage, loginmessagetime
//   prefs TEXT   one line of the member's preference sections (may repeat;
//                "prefs" alone is an empty line)
//   fault NAME   upper-sid | bad-sid | no-response | huge | no-br | no-fields |
//                binary | prefs-no-response: a wrong answer for tests

#include <map>
#include <string>
#include <vector>

struct Member {
    std::map<std::string, std::string> fields;
    std::string prefs;
    std::vector<std::string> faults;
    bool Has(const std::string& fault) const;
};

class Members {
  public:
    bool Load(const std::string& file);
    // The answer to a request body "user=..&password=..&sid=.." for a command
    // ("login" or "getuserprefs").
    std::string Answer(const std::string& command, const std::string& body) const;

  private:
    std::map<std::string, Member> members_;
};
