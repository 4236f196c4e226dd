#include "account/user_prefs.h"

#include "common/text.h"
#include "service/app.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Lines end with carriage return + line feed, as everywhere in the file.
constexpr char kNewSections[] =
    "[POPUPS]\r\n\r\n[PORTS]\r\n\r\n[APPS]\r\n\r\n[SOALLOWS]\r\n\r\n[SODENIES]\r\n\r\n";

std::string OwnerOf(const std::string& line) {
    std::size_t comma = line.find(',');
    return comma == std::string::npos ? std::string() : line.substr(0, comma);
}

std::string ValueOf(const std::string& line) {
    std::size_t comma = line.find(',');
    return comma == std::string::npos ? std::string() : line.substr(comma + 1);
}

// One line without its line end.
bool ReadPrefsLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

} // namespace

bool FindPrefsSection(std::istream& in, const std::string& header) {
    in.clear();
    in.seekg(0);
    for (std::string line; ReadPrefsLine(in, line);) {
        if (qm::EqualsNoCase(line, header)) {
            return true;
        }
    }
    return false;
}

void ReadSiteLines(std::istream& in, const std::string& header, const std::string& user,
                   std::list<CSiteEntry>& list) {
    if (FindPrefsSection(in, header)) {
        for (std::string line; ReadPrefsLine(in, line) && !line.empty();) {
            std::string owner = OwnerOf(line);
            if (owner == "*" || (!owner.empty() && qm::EqualsNoCase(owner, user))) {
                list.push_front(CSiteEntry::FromSite(ValueOf(line)));
            }
        }
    }
}

bool ReadMemberValues(std::istream& in, const std::string& header, const std::string& user,
                      std::vector<std::string>& values) {
    bool found = FindPrefsSection(in, header);
    if (found) {
        for (std::string line; ReadPrefsLine(in, line) && !line.empty();) {
            std::string owner = OwnerOf(line);
            if (owner.empty()) {
                continue; // a line without a comma has no owner
            }
            if (owner == "*" || user == "*" || qm::EqualsNoCase(owner, user)) {
                values.push_back(ValueOf(line));
            }
        }
    }
    return found;
}

std::string CUserPrefs::FilePath() {
    CPCAppApp* app = CPCAppApp::Current();
    if (!app || app->InstallFolder().empty()) {
        return {};
    }
    return app->InstallFolder() + "/user.prefs";
}

bool CUserPrefs::EnsureFileExists(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return true; // it exists already (or cannot be made: opening will tell)
    }
    bool written =
        ::write(fd, kNewSections, sizeof kNewSections - 1) == ssize_t(sizeof kNewSections - 1);
    ::close(fd);
    return written;
}

bool CUserPrefs::Open(const std::string& user, const std::string& password) {
    if (open_) {
        return true;
    }
    std::string path = FilePath();
    if (path.empty()) {
        return false;
    }
    EnsureFileExists(path);
    if (IntegrityCheckFailed()) {
        if (qm::EqualsNoCase(user, "*")) {
            return false;
        }
        Download(user, password, -1);
    }
    file_.clear();
    file_.open(path, std::ios::binary);
    open_ = file_.is_open();
    return open_;
}

void CUserPrefs::Close() {
    if (open_) {
        file_.close();
        open_ = false;
    }
}

bool CUserPrefs::FindSection(const std::string& header) {
    return FindPrefsSection(file_, header);
}

void CUserPrefs::ReadSiteSection(const std::string& header, const std::string& user,
                                 const std::string& password, std::list<CSiteEntry>& list) {
    if (!Open(user, password)) {
        return;
    }
    ReadSiteLines(file_, header, user, list);
    Close();
}

bool CUserPrefs::ReadMemberLines(const std::string& header, const std::string& user,
                                 const std::string& password, std::vector<std::string>& values) {
    if (!Open(user, password)) {
        return false;
    }
    bool found = ReadMemberValues(file_, header, user, values);
    Close();
    return found;
}

std::string CUserPrefs::SectionText(const std::string& header) {
    std::string path = FilePath();
    if (path.empty()) {
        return {};
    }
    file_.clear();
    file_.open(path, std::ios::binary);
    std::string text;
    if (file_.is_open() && FindSection(header)) {
        for (std::string line; ReadPrefsLine(file_, line) && !line.empty();) {
            text += line + "\n";
        }
    }
    file_.close();
    return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::string line =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}
