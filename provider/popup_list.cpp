#include "provider/popup_list.h"

#include <algorithm>

namespace zul {

bool CPopupList::Find(SOCKET socket) {
    std::lock_guard hold(lock_);
    return std::find(sockets_.begin(), sockets_.end(), socket) != sockets_.end();
}

void CPopupList::Add(SOCKET socket) {
    std::lock_guard hold(lock_);
    if (std::find(sockets_.begin(), sockets_.end(), socket) == sockets_.end()) {
        sockets_.push_back(socket);
    }
}

void CPopupList::Remove(SOCKET socket) {
    std::lock_guard hold(lock_);
    sockets_.remove(socket);
}

} // namespace zul
