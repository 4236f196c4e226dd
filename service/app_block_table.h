#pragma once
// The member's application blocking table: programs refused by their file name
// whatever port they use, and ports refused to every program. Each entry tells
// the person at the screen once per load of the table.

#include <deque>
#include <mutex>
#include <string>

class CUserPrefs;

struct CBlockEntry {
    bool notified = false; // set once the entry's notification has been shown
    int port = 0;          // destination port of a port entry; 0 for a program entry
    std::string program;   // lower-case file name of a program entry; empty for a port entry
    std::string displayName;
};

// Entries in the order they are met: the one added last comes first.
class CBlockList {
  public:
    void Add(CBlockEntry entry) { entries_.push_front(std::move(entry)); }
    void Clear() { entries_.clear(); }
    bool Empty() const { return entries_.empty(); }
    std::deque<CBlockEntry>::iterator begin() { return entries_.begin(); }
    std::deque<CBlockEntry>::iterator end() { return entries_.end(); }

  private:
    std::deque<CBlockEntry> entries_;
};

class CAppBlockTable {
  public:
    // Refills both lists for the identity ("*" and "*" when nobody is logged in).
    // Each list comes from the identity's lines of the preference file's section
    // ("[APPS]", "[PORTS]") where the file and the section are there, otherwise
    // from the built-in list. Notifications start afresh.
    void Load(const std::string& user, const std::string& password, CUserPrefs& prefs);

    // True when the request ("AB:" port "," program) names a listed program or
    // port. The first refusal of an entry after a load shows a notification.
    bool IsBlocked(const std::string& request);

  private:
    // Loads run on the login worker while decisions run on the user-interface
    // thread: the lists are swapped in whole under this lock.
    std::mutex lock_;
    CBlockList programs_;
    CBlockList ports_;
};

// The built-in lists, used where the preference file has no such section.
void AddBuiltInPrograms(CBlockList& list);
void AddBuiltInPorts(CBlockList& list);
