// Changing the preference file: adding and removing lines, the download from
// the account server, the import of the lists of earlier versions.

#include "account/account_server.h"
#include "account/replacement_file.h"
#include "account/user_prefs.h"
#include "common/text.h"
#include "service/data_folder_check.h"
#include "service/service_constants.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Where earlier versions left overrides.list and popups.list.
std::string LegacyFolder() {
    const char* folder = std::getenv("QUELLMARK_LEGACY_DIR");
    return folder && *folder ? folder : kDefaultInstallFolder;
}

} // namespace

bool CUserPrefs::AddLine(const std::string& header, const std::string& line) {
    if (IntegrityCheckFailed()) {
        return false;
    }
    return RewriteWith(header, line, {});
}

bool CUserPrefs::RemoveLine(const std::string& line) {
    if (IntegrityCheckFailed()) {
        return false;
    }
    return RewriteWith({}, {}, line);
}

// Copies the file line by line into its replacement, writing `insert` after
// every header line and leaving out lines equal to `remove`, then records the
// new integrity code.
bool CUserPrefs::RewriteWith(const std::string& header, const std::string& insert,
                             const std::string& remove) {
    std::string path = FilePath();
    if (path.empty()) {
        return false;
    }
    std::vector<std::string> lines = SplitLines(ReadWholeFile(path));
    ReplacementFile out(path);
    for (const std::string& line : lines) {
        if (!remove.empty() && qm::EqualsNoCase(line, remove)) {
            continue;
        }
        // Each line goes back as it was read, ended with CR LF: one that ends
        // in a carriage return of its own keeps it (a bare "\n" after it would
        // be taken as that line's end and the line would change).
        out.Write(line + "\r\n");
        if (!header.empty() && qm::EqualsNoCase(line, header)) {
            out.Write(insert + "\r\n");
        }
    }
    if (!Commit(out, "CUserPrefs::RewriteWith")) {
        return false;
    }
    RecordIntegrity(-1);
    return true;
}

bool CUserPrefs::Commit(ReplacementFile& out, const char* place) {
    if (out.Commit([this](const std::string& newFile) { RecordPendingIntegrity(newFile); })) {
        return true;
    }
    std::string folder = std::filesystem::path(FilePath()).parent_path().string();
    ReportDataWriteFailure(place, "user.prefs cannot be written in " + folder);
    return false;
}

// overrides.list is dropped; each "site<TAB>owner" line of popups.list becomes
// an "owner,site" line of "[POPUPS]". The lines are taken in even when the
// current file fails its integrity check: the download that follows keeps the
// "[POPUPS]" section, and popups.list is gone afterwards.
void CUserPrefs::ImportLegacyLists() {
    std::string folder = LegacyFolder();
    std::error_code ignored;
    std::filesystem::remove(folder + "/overrides.list", ignored);
    std::string popups = folder + "/popups.list";
    if (!std::filesystem::exists(popups, ignored)) {
        return;
    }
    for (const std::string& line : SplitLines(ReadWholeFile(popups))) {
        std::size_t tab = line.find('\t');
        if (line.empty()) {
            continue;
        }
        std::string site = tab == std::string::npos ? line : line.substr(0, tab);
        std::string owner = tab == std::string::npos ? std::string() : line.substr(tab + 1);
        RewriteWith("[POPUPS]", owner + "," + site, {});
    }
    std::filesystem::remove(popups, ignored);
}

void CUserPrefs::Download(const std::string& user, const std::string& password, int version) {
    std::string path = FilePath();
    if (path.empty()) {
        return;
    }
    EnsureFileExists(path);
    ImportLegacyLists();
    std::string kept = "[POPUPS]\n" + SectionText("[POPUPS]") + "\n";

    CAccountServer server;
    int challenge = server.NewChallenge();
    std::string answer = server.Post(AccountServerHost(), kGetUserPrefsPath,
                                     AccountRequestBody(user, password, challenge));
    if (!server.VerifyAnswer(answer, challenge)) {
        return; // the old file stays, nothing is recorded
    }
    ReplacementFile out(path);
    out.Write(kept);
    std::size_t fields = answer.find("|response|");
    if (fields != std::string::npos) {
        out.Write(answer.substr(0, fields));
    }
    if (Commit(out, "CUserPrefs::Download")) {
        RecordIntegrity(version);
    }
}
