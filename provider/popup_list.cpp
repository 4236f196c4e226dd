#include "provider/popup_list.h"

#include <algorithm>

namespace zul {
namespace {

constexpr std::uint64_t Bit(SOCKET socket) {
    return std::uint64_t(1) << (socket % 64);
}

} // namespace

bool CPopupList::Find(SOCKET socket) {
    if (socket < kMarked) {
        return (marks_[socket / 64].load(std::memory_order_acquire) & Bit(socket)) != 0;
    }
    std::lock_guard hold(lock_);
    return std::find(sockets_.begin(), sockets_.end(), socket) != sockets_.end();
}

void CPopupList::Add(SOCKET socket) {
    if (socket < kMarked) {
        marks_[socket / 64].fetch_or(Bit(socket), std::memory_order_acq_rel);
        return;
    }
    std::lock_guard hold(lock_);
    if (std::find(sockets_.begin(), sockets_.end(), socket) == sockets_.end()) {
        sockets_.push_back(socket);
    }
}

void CPopupList::Remove(SOCKET socket) {
    if (socket < kMarked) {
        marks_[socket / 64].fetch_and(~Bit(socket), std::memory_order_acq_rel);
        return;
    }
    std::lock_guard hold(lock_);
    sockets_.remove(socket);
}

} // namespace zul
