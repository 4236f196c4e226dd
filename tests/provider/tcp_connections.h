#pragma once
// This process's TCP connections to a port on the loopback address, read from
// /proc: the sockets the process holds, matched with the kernel's TCP table.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace qmtest {

// Number of this process's connections to 127.0.0.1:port in the given TCP
// state (01 established).
inline int ConnectionsToPort(int port, const std::string& state = "01") {
    std::set<std::string> inodes;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (target.starts_with("socket:[")) {
            inodes.insert(target.substr(8, target.size() - 9));
        }
    }
    char remote[32];
    std::snprintf(remote, sizeof remote, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line); // header
    int count = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, peer, st, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> peer >> st >> queues >> timer >> retransmits >> uid >> timeout >>
            inode;
        if (peer == remote && st == state && inodes.count(inode)) {
            ++count;
        }
    }
    return count;
}

// Number of connections on the loopback address whose local end is the port
// and whose receive queue holds unread bytes (the server has not read them).
inline int UnreadAtPort(int port) {
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line); // header
    int count = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, address, peer, state, queues;
        fields >> slot >> address >> peer >> state >> queues;
        std::string receiveQueue = queues.substr(queues.find(':') + 1);
        if (address == local && state == "01" &&
            receiveQueue.find_first_not_of('0') != std::string::npos) {
            ++count;
        }
    }
    return count;
}

} // namespace qmtest
