#include "tools/account-server/members.h"

#include "common/account_secrets.h"
#include "common/md5.h"
#include "common/text.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace {

constexpr const char* kProfileFields[] = {"catmask",           "agencyserver",    "agencyport",
                                          "localoverridesver", "localoverrides",  "popupblocker",
                                          "loginmessage",      "loginmessagetime"};

// The body split at '&' into name=value pairs, as a form handler sees it.
std::map<std::string, std::string> FormFields(const std::string& body) {
    std::map<std::string, std::string> fields;
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('&', start);
        std::string pair = body.substr(start, end == std::string::npos ? end : end - start);
        std::size_t equals = pair.find('=');
        if (equals != std::string::npos) {
            fields.emplace(pair.substr(0, equals), pair.substr(equals + 1));
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return fields;
}

std::string Field(const std::string& key, const std::string& value) {
    return "|" + key + "|" + value + "<BR>\n";
}

std::string Proof(const std::string& challenge, const Member* member) {
    std::string proof = qm::Md5Hex(challenge + qm::VerificationConstant());
    if (member && member->Has("upper-sid")) {
        return qm::ToUpper(proof);
    }
    if (member && member->Has("bad-sid")) {
        return qm::Md5Hex("wrong" + challenge);
    }
    return proof;
}

// Applies the faults that change the whole answer.
std::string Damage(std::string answer, const Member* member) {
    if (!member) {
        return answer;
    }
    if (member->Has("no-br")) {
        std::string out;
        for (std::size_t at = 0; at < answer.size();) {
            std::size_t br = answer.find("<BR>", at);
            out += answer.substr(at, br == std::string::npos ? br : br - at);
            at = br == std::string::npos ? answer.size() : br + 4;
        }
        answer = out;
    }
    if (member->Has("no-fields")) {
        answer = "Internal server error\n";
    }
    if (member->Has("huge")) {
        answer = std::string(1 << 20, 'x') + "\n" + answer;
    }
    if (member->Has("binary")) {
        answer = std::string("\x01\xff\xfe\0\x7f\n", 6) + answer;
    }
    return answer;
}

} // namespace

bool Member::Has(const std::string& fault) const {
    return std::find(faults.begin(), faults.end(), fault) != faults.end();
}

bool Members::Load(const std::string& file) {
    std::ifstream in(file);
    if (!in) {
        return false;
    }
    Member* current = nullptr;
    for (std::string line; std::getline(in, line);) {
        std::size_t space = line.find(' ');
        std::string key = line.substr(0, space);
        std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (key == "member") {
            current = &members_[value];
        } else if (!current || key.empty() || key[0] == '#') {
            continue;
        } else if (key == "prefs") {
            current->prefs += value + "\n";
        } else if (key == "fault") {
            current->faults.push_back(value);
        } else {
            current->fields[key] = value;
        }
    }
    return true;
}

std::string Members::Answer(const std::string& command, const std::string& body) const {
    auto form = FormFields(body);
    auto found = members_.find(form["user"]);
    const Member* member = found == members_.end() ? nullptr : &found->second;
    std::string proof = Field("sid", Proof(form["sid"], member));
    auto password = member ? member->fields.find("password")
                           : std::map<std::string, std::string>::const_iterator();
    if (!member || password == member->fields.end() || password->second != form["password"]) {
        return Field("response", "-Invalid user name or password") + proof;
    }
    std::string answer;
    if (command == "getuserprefs") {
        answer = member->prefs;
        if (!member->Has("prefs-no-response")) {
            answer += Field("response", "+Preferences");
        }
        return Damage(answer + proof, member);
    }
    if (!member->Has("no-response")) {
        answer += Field("response", "+Welcome");
    }
    answer += proof + Field("user", found->first) + Field("password", form["password"]);
    for (const char* name : kProfileFields) {
        auto value = member->fields.find(name);
        if (value != member->fields.end()) {
            answer += Field(name, value->second);
        }
    }
    return Damage(answer, member);
}
