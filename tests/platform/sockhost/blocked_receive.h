#pragma once
// Closing a handle while another thread is blocked in a receive on it.

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace qmtest {

// True when the thread sleeps in the kernel (blocked in a call).
inline bool Sleeping(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'S';
}

// Closes fd once another thread sleeps in a one-byte receive on it, and waits
// for that thread. Gives what close returned; received is what the receive did.
inline int CloseUnderABlockedReceive(int fd, ssize_t& received) {
    received = 1;
    std::atomic<pid_t> tid{0};
    std::thread receiver([&] {
        tid = ::gettid();
        char byte;
        received = ::recv(fd, &byte, 1, 0);
    });
    while (tid == 0 || !Sleeping(tid)) {
        ::usleep(1000);
    }
    int closed = ::close(fd);
    receiver.join();
    return closed;
}

} // namespace qmtest
