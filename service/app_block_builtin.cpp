// The built-in program and port lists, in the order they are added.
#include "service/app_block_table.h"

void AddBuiltInPrograms(CBlockList& list) {
    static const char* const kPrograms[][2] = {
        {"aim.exe", "AOL Instant Messenger"},           {"icq.exe", "ICQ Instant Messenger"},
        {"icqlite.exe", "ICQ Instant Messenger"},       {"msnmsgr.exe", "MSN Instant Messenger"},
        {"trillian.exe", "Trillian Instant Messenger"}, {"ypager.exe", "Yahoo! Instant Messenger"},
        {"bearshare.exe", "BearShare P2P Filesharing"}, {"kazaa.exe", "Kazaa P2P Filesharing"},
        {"morpheus.exe", "Morpheus P2P Filesharing"},   {"kazaalite.exe", "Kazaa P2P Filesharing"},
        {"gnutella", "GNUTELLA-based Filesharing"},
    };
    for (const auto& [program, displayName] : kPrograms) {
        list.Add(CBlockEntry{false, 0, program, displayName});
    }
}

void AddBuiltInPorts(CBlockList& list) {
    for (int port = 6660; port <= 6669; ++port) {
        list.Add(CBlockEntry{false, port, "", "Internet Relay Chat"});
    }
    static const struct {
        int port;
        const char* displayName;
    } kPorts[] = {
        {1863, "MSN Instant Messenger"}, {5050, "Yahoo! Instant Meesenger"},
        {1214, "Kazaa P2P Filesharing"}, {21, "Access to FTP"},
        {119, "Access to newsgroups"},   {110, "Access to POP3 email"},
    };
    for (const auto& entry : kPorts) {
        list.Add(CBlockEntry{false, entry.port, "", entry.displayName});
    }
}
