#pragma once
// What the overlapped tests of the base provider and of the layered provider
// share: a completion routine that records its call, an alertable wait for it,
// extension functions asked for by their identifiers, the end of an extension
// call, and a fixture holding a socket of the socket layer connected to a
// plain loopback peer.

#include "platform/sockhost/winsock_api.h"
#include "platform/win/thread.h"
#include "platform/win/wait.h"
#include "platform/winsock_ext.h"
#include "tests/platform/sockhost/loopback.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace qmtest {

// What the last completion routine was told, and how often one ran.
struct Completion {
    DWORD error = 0xFFFF;
    DWORD bytes = 0;
    DWORD flags = 0xFFFF;
    DWORD thread = 0;
    int calls = 0;
};
inline Completion gCompletion;

inline void Routine(DWORD dwError, DWORD cbTransferred, WSAOVERLAPPED*, DWORD dwFlags) {
    gCompletion.error = dwError;
    gCompletion.bytes = cbTransferred;
    gCompletion.flags = dwFlags;
    gCompletion.thread = platform::win::CurrentThreadId();
    ++gCompletion.calls;
}

// Waits alertably until a completion routine has run (at most a few seconds).
inline bool AwaitRoutine() {
    for (int i = 0; i < 50 && gCompletion.calls == 0; ++i) {
        SleepEx(100, TRUE);
    }
    return gCompletion.calls > 0;
}

// The extension function `id` of the socket's provider, or null.
template <typename F> F Extension(SOCKET s, const GUID& id) {
    F function = nullptr;
    DWORD returned = 0;
    GUID wanted = id;
    if (WSAIoctl(s, SIO_GET_EXTENSION_FUNCTION_POINTER, &wanted, sizeof wanted, &function,
                 sizeof function, &returned, nullptr, nullptr) != 0) {
        return nullptr;
    }
    return function;
}

// Waits for an overlapped extension call; one that returned FALSE must have
// been left pending. Gives the bytes transferred.
inline DWORD Finish(SOCKET s, BOOL started, WSAOVERLAPPED& overlapped) {
    if (!started) {
        EXPECT_EQ(WSAGetLastError(), WSA_IO_PENDING);
    }
    DWORD transferred = 0;
    DWORD flags = 0;
    EXPECT_TRUE(WSAGetOverlappedResult(s, &overlapped, &transferred, TRUE, &flags));
    return transferred;
}

// An overlapped socket of the socket layer, made under the fixture `Base`,
// connected to the plain peer the loopback listener accepted.
template <typename Base> class ConnectedTo : public Base {
  protected:
    using Base::Base;

    SOCKET s = INVALID_SOCKET;
    int peer = -1;
    int listener = -1;

    void SetUp() override {
        Base::SetUp();
        unsigned short port = 0;
        listener = ListenLoopback(port);
        s = WSASocketW(AF_INET_W, SOCK_STREAM_W, IPPROTO_TCP_W, nullptr, 0, WSA_FLAG_OVERLAPPED);
        ASSERT_NE(s, INVALID_SOCKET);
        sockaddr_in address = LoopbackAddress(port);
        ASSERT_EQ(WSAConnect(s, reinterpret_cast<sockaddr*>(&address), sizeof address, nullptr,
                             nullptr, nullptr, nullptr),
                  0);
        peer = ::accept(listener, nullptr, nullptr);
        ASSERT_GE(peer, 0);
        gCompletion = Completion{};
    }
    void TearDown() override {
        if (s != INVALID_SOCKET) {
            closesocket(s);
        }
        ::close(peer);
        ::close(listener);
        Base::TearDown();
    }
};

} // namespace qmtest
