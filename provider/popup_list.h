#pragma once
// The sockets whose pop-up windows are blocked; each socket at most once.

#include "platform/winsock_types.h"

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
    std::list<SOCKET> sockets_;
    std::mutex lock_;
};

} // namespace zul
