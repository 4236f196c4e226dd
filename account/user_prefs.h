#pragma once
// The preference store: Dir/user.prefs, shared by all members. Sections begin
// with a header line ("[POPUPS]", "[PORTS]", "[APPS]", "[SOALLOWS]",
// "[SODENIES]") and run to the first empty line; each line is an owner (a
// member's name or "*" for everybody), a comma and a value. The file is guarded
// by an integrity code kept in the registry (OverrideCheck); a member's copy is
// downloaded again when it was changed behind the service's back. Lines end
// with carriage return + line feed on disk; reading accepts a line feed alone.
//
// The file is only ever replaced whole: a ".new" file is written, flushed and
// renamed over it, so a crash leaves either the old or the new file. The new
// file's code is recorded as OverrideCheckNew before the rename and becomes
// OverrideCheck after it; a file matching either passes the check, so a crash
// between the rename and the record leaves a file that still passes.

#include "account/site_entry.h"

#include <fstream>
#include <list>
#include <string>
#include <vector>

class ReplacementFile;

class CUserPrefs {
  public:
    // Opens the file for reading for an identity ("*", "*" is the anonymous
    // one). A file that does not exist is created with the five empty sections.
    // When the integrity check fails the anonymous identity gets nothing and a
    // member's preferences are downloaded first.
    bool Open(const std::string& user, const std::string& password);
    void Close();
    // Positions the open file right after the first line equal to the header (any case).
    bool FindSection(const std::string& header);

    // Adds, at the front of the list, an entry for each line of a site section
    // whose owner is the user (any case) or "*".
    void ReadSiteSection(const std::string& header, const std::string& user,
                         const std::string& password, std::list<CSiteEntry>& list);
    // The values (the text after the first comma) of a program or port section's
    // lines that apply to the identity, in file order: owner equal to the user
    // (any case), owner "*", or every line for the user "*". True when the file
    // opened for the identity and the section was found, however many lines applied.
    bool ReadMemberLines(const std::string& header, const std::string& user,
                         const std::string& password, std::vector<std::string>& values);

    // The section's lines, each followed by a line feed, read without the
    // integrity check; empty when the file or the section is missing.
    std::string SectionText(const std::string& header);
    // Inserts a line right after the section's header; false when the integrity check fails.
    bool AddLine(const std::string& header, const std::string& line);
    // Removes every line equal to the given one (any case); false when the integrity check fails.
    bool RemoveLine(const std::string& line);

    // Fetches the member's sections from the account server and replaces the
    // file, keeping its "[POPUPS]" section. An answer that fails verification
    // leaves the file and the recorded code as they were.
    void Download(const std::string& user, const std::string& password, int version);

    // Five hexadecimal characters computed from the file's exact bytes.
    std::string IntegrityCode();
    bool IntegrityCheckFailed();
    // Records the current code, and the version when it is 0 or more.
    void RecordIntegrity(int version);
    // Records the code of a finished replacement file about to take the file's place.
    void RecordPendingIntegrity(const std::string& newFile);

    // Dir + "/user.prefs"; empty while the installation folder is unknown.
    static std::string FilePath();

  private:
    bool EnsureFileExists(const std::string& path);
    void ImportLegacyLists();
    bool RewriteWith(const std::string& header, const std::string& insert,
                     const std::string& remove);
    // Puts a finished replacement in the file's place, its code recorded as
    // pending first; a failure is reported (level 1, the person told once).
    bool Commit(ReplacementFile& out, const char* place);

    std::ifstream file_;
    bool open_ = false;
};

// The readers of the sections, over the file open above or its text in memory.
// Positions the stream right after the first line equal to the header (any case).
bool FindPrefsSection(std::istream& in, const std::string& header);
// Adds, at the front of the list, an entry for each line of a site section
// whose owner is the user (any case) or "*".
void ReadSiteLines(std::istream& in, const std::string& header, const std::string& user,
                   std::list<CSiteEntry>& list);
// The values of a program or port section's lines that apply to the user, as
// ReadMemberLines; true when the section was found.
bool ReadMemberValues(std::istream& in, const std::string& header, const std::string& user,
                      std::vector<std::string>& values);

// Lines of a text, accepting "\r\n" and "\n" line ends.
std::vector<std::string> SplitLines(const std::string& text);
