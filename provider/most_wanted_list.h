#pragma once
// The sockets marked for a redirect to the block page, oldest first. A socket
// has one entry per blocked request still waiting for its redirect.

#include "platform/winsock_types.h"

#include <atomic>
#include <mutex>
#include <string>

namespace zul {

struct CMostWantedEntry {
    std::string url;    // the blocked URL
    std::string target; // the block page URL
    CMostWantedEntry* previous = nullptr;
    CMostWantedEntry* next = nullptr;
    SOCKET socket = INVALID_SOCKET;
};

class CMostWantedList {
  public:
    CMostWantedList() = default;
    virtual ~CMostWantedList();
    CMostWantedList(const CMostWantedList&) = delete;
    CMostWantedList& operator=(const CMostWantedList&) = delete;

    // Finds the oldest entry of the socket. The entry stays valid only while the
    // caller holds Lock(), or until the next operation on the list.
    bool IsMostWanted(SOCKET socket, CMostWantedEntry** entry);
    // Whether the socket has an entry, without logging (the receive side asks
    // around a redirect whether the socket still owes one).
    bool Holds(SOCKET socket);
    // No socket owes a redirect. Read without the lock: an entry added later is
    // as if added after the caller's look.
    bool Empty() const { return count_.load(std::memory_order_acquire) == 0; }
    void Add(SOCKET socket, const std::string& url, const std::string& target);
    void Remove(CMostWantedEntry* entry);
    // Removes the oldest entry of the socket, if any.
    void RemoveSocket(SOCKET socket);
    // Every operation takes this lock; a caller holds it across a find and the
    // use and removal of the entry found.
    std::unique_lock<std::recursive_mutex> Lock() {
        return std::unique_lock<std::recursive_mutex>(lock_);
    }

  private:
    CMostWantedEntry* head_ = nullptr;
    CMostWantedEntry* tail_ = nullptr;
    std::atomic<std::size_t> count_{0}; // entries, changed under the lock
    std::recursive_mutex lock_;
};

} // namespace zul
