#pragma once
// The rating stand-in's data: host patterns with their answers, and members.

#include <map>
#include <string>
#include <utility>
#include <vector>

class RatingRules {
  public:
    // Lines "host-pattern answer"; blank lines and lines starting with '#' are skipped.
    bool LoadRatings(const std::string& file);
    // Lines "name password".
    bool LoadMembers(const std::string& file);

    // True without a members file, or when the pair is listed.
    bool Accepts(const std::string& user, const std::string& password) const;
    // The answer for an address ("http://host/path" or "https://host/path").
    std::string Rate(const std::string& address) const;

  private:
    std::vector<std::pair<std::string, std::string>> ratings_;
    std::map<std::string, std::string> members_;
    bool haveMembers_ = false;
};
