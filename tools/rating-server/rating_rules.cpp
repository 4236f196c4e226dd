#include "tools/rating-server/rating_rules.h"

#include <fnmatch.h>
#include <fstream>

namespace {

bool ReadPairs(const std::string& file, std::vector<std::pair<std::string, std::string>>& out) {
    std::ifstream in(file);
    if (!in) {
        return false;
    }
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::size_t space = line.find(' ');
        out.emplace_back(line.substr(0, space),
                         space == std::string::npos ? std::string() : line.substr(space + 1));
    }
    return true;
}

} // namespace

bool RatingRules::LoadRatings(const std::string& file) {
    return ReadPairs(file, ratings_);
}

bool RatingRules::LoadMembers(const std::string& file) {
    std::vector<std::pair<std::string, std::string>> pairs;
    if (!ReadPairs(file, pairs)) {
        return false;
    }
    members_.insert(pairs.begin(), pairs.end());
    haveMembers_ = true;
    return true;
}

bool RatingRules::Accepts(const std::string& user, const std::string& password) const {
    if (!haveMembers_) {
        return true;
    }
    auto found = members_.find(user);
    return found != members_.end() && found->second == password;
}

std::string RatingRules::Rate(const std::string& address) const {
    std::size_t scheme = address.rfind("https://", 0) == 0 ? 8 : 7;
    std::string rest = address.size() > scheme ? address.substr(scheme) : std::string();
    std::string host = rest.substr(0, rest.find('/'));
    for (const auto& [pattern, answer] : ratings_) {
        if (::fnmatch(pattern.c_str(), host.c_str(), FNM_CASEFOLD) == 0) {
            return answer.rfind("=", 0) == 0 ? answer.substr(1) : "+" + answer;
        }
    }
    return "+0";
}
