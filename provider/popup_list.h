#pragma once
// The sockets whose pop-up windows are blocked; each socket at most once.
// Sockets are descriptor numbers: those below kMarked are kept as bits, so
// that the receive path asks without a lock; larger ones in a list under it.

#include "platform/winsock_types.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>

namespace zul {

class CPopupList {
  public:
    CPopupList() = default;
    virtual ~CPopupList() = default;

    bool Find(SOCKET socket);
    void Add(SOCKET socket);    // nothing if present
    void Remove(SOCKET socket); // nothing if absent

  private:
    static constexpr SOCKET kMarked = 65536;
    std::atomic<std::uint64_t> marks_[kMarked / 64] = {};
    std::list<SOCKET> sockets_; // sockets from kMarked on
    std::mutex lock_;
};

} // namespace zul
