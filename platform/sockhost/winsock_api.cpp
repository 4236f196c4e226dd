#include "platform/sockhost/winsock_api.h"

#include "platform/sockhost/providers.h"
#include "platform/sockhost/socket_calls.h"

#include <cstring>
#include <mutex>

using namespace sockhost;

namespace {

thread_local int tLastError = 0;
std::mutex gStartupMutex;
int gStartupCount = 0;

int Failed(int error) {
    tLastError = error;
    return SOCKET_ERROR;
}

// Finds the socket's provider and runs one of its procedures; the provider's
// error becomes the thread's last error.
template <typename Call> int Forward(SOCKET s, Call call) {
    Target target;
    if (!Resolve(s, target)) {
        return Failed(WSAENOTSOCK);
    }
    int error = 0;
    int result = call(target.provider->procs, target.socket, &error);
    if (result == SOCKET_ERROR) {
        tLastError = error;
    }
    return result;
}

// The calling thread, named for the provider when a completion routine is to
// run on it.
class CallerThread {
  public:
    explicit CallerThread(LPWSAOVERLAPPED_COMPLETION_ROUTINE routine) {
        int error = 0;
        if (routine && Upcalls().lpWPUOpenCurrentThread(&id_, &error) == 0) {
            named_ = &id_;
        }
    }
    WSATHREADID* get() { return named_; }

  private:
    WSATHREADID id_{};
    WSATHREADID* named_ = nullptr;
};

SOCKET FirstSocket(WSA_FD_SET* sets[3]) {
    for (int i = 0; i < 3; ++i) {
        if (sets[i] && sets[i]->fd_count > 0) {
            return sets[i]->fd_array[0];
        }
    }
    return INVALID_SOCKET;
}

} // namespace

extern "C" {

int WSAStartup(WORD wVersionRequested, WSADATA* lpWSAData) {
    if (!lpWSAData) {
        return WSAEFAULT;
    }
    if ((wVersionRequested & 0xff) < 2) {
        return WSAVERNOTSUPPORTED;
    }
    std::memset(lpWSAData, 0, sizeof *lpWSAData);
    lpWSAData->wVersion = MAKEWORD_W(2, 2);
    lpWSAData->wHighVersion = MAKEWORD_W(2, 2);
    std::strcpy(lpWSAData->szDescription, "Quellmark socket host");
    std::strcpy(lpWSAData->szSystemStatus, "Running");
    std::lock_guard lock(gStartupMutex);
    ++gStartupCount;
    return 0;
}

int WSACleanup() {
    {
        std::lock_guard lock(gStartupMutex);
        if (gStartupCount == 0) {
            return Failed(WSANOTINITIALISED);
        }
        if (--gStartupCount > 0) {
            return 0;
        }
    }
    CleanupProviders();
    return 0;
}

int WSAGetLastError() {
    return tLastError;
}
void WSASetLastError(int iError) {
    tLastError = iError;
}

SOCKET WSASocketW(int af, int type, int protocol, WSAPROTOCOL_INFOW* lpProtocolInfo, GROUP g,
                  DWORD dwFlags) {
    (void)g;
    int error = 0;
    SOCKET s = CreateSocket(af, type, protocol, lpProtocolInfo, dwFlags,
                            (dwFlags & WSA_FLAG_NO_HANDLE_INHERIT) != 0, &error);
    if (s == INVALID_SOCKET) {
        tLastError = error;
    }
    return s;
}

int closesocket(SOCKET s) {
    int error = 0;
    int result = CloseSocket(s, false, &error);
    if (result == SOCKET_ERROR) {
        tLastError = error;
    }
    return result;
}

int WSAConnect(SOCKET s, const sockaddr* name, int namelen, WSABUF* lpCallerData,
               WSABUF* lpCalleeData, QOS* lpSQOS, QOS* lpGQOS) {
    return Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPConnect(t, name, namelen, lpCallerData, lpCalleeData, lpSQOS, lpGQOS, e);
    });
}

int WSASend(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesSent,
            DWORD dwFlags, WSAOVERLAPPED* lpOverlapped,
            LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
    CallerThread thread(lpCompletionRoutine);
    return Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPSend(t, lpBuffers, dwBufferCount, lpNumberOfBytesSent, dwFlags, lpOverlapped,
                           lpCompletionRoutine, thread.get(), e);
    });
}

int WSARecv(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesRecvd,
            DWORD* lpFlags, WSAOVERLAPPED* lpOverlapped,
            LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
    CallerThread thread(lpCompletionRoutine);
    return Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPRecv(t, lpBuffers, dwBufferCount, lpNumberOfBytesRecvd, lpFlags, lpOverlapped,
                           lpCompletionRoutine, thread.get(), e);
    });
}

int WSASendTo(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesSent,
              DWORD dwFlags, const sockaddr* lpTo, int iTolen, WSAOVERLAPPED* lpOverlapped,
              LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
    CallerThread thread(lpCompletionRoutine);
    return Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPSendTo(t, lpBuffers, dwBufferCount, lpNumberOfBytesSent, dwFlags, lpTo,
                             iTolen, lpOverlapped, lpCompletionRoutine, thread.get(), e);
    });
}

int WSARecvFrom(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesRecvd,
                DWORD* lpFlags, sockaddr* lpFrom, int* lpFromlen, WSAOVERLAPPED* lpOverlapped,
                LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
    CallerThread thread(lpCompletionRoutine);
    return Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPRecvFrom(t, lpBuffers, dwBufferCount, lpNumberOfBytesRecvd, lpFlags, lpFrom,
                               lpFromlen, lpOverlapped, lpCompletionRoutine, thread.get(), e);
    });
}

int WSAIoctl(SOCKET s, DWORD dwIoControlCode, void* lpvInBuffer, DWORD cbInBuffer,
             void* lpvOutBuffer, DWORD cbOutBuffer, DWORD* lpcbBytesReturned,
             WSAOVERLAPPED* lpOverlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
    CallerThread thread(lpCompletionRoutine);
    return Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPIoctl(t, dwIoControlCode, lpvInBuffer, cbInBuffer, lpvOutBuffer, cbOutBuffer,
                            lpcbBytesReturned, lpOverlapped, lpCompletionRoutine, thread.get(), e);
    });
}

int ioctlsocket(SOCKET s, long cmd, std::uint32_t* argp) {
    DWORD returned = 0;
    return WSAIoctl(s, DWORD(cmd), argp, sizeof *argp, argp, sizeof *argp, &returned, nullptr,
                    nullptr);
}

int WSAAsyncSelect(SOCKET s, HWND hWnd, unsigned int wMsg, long lEvent) {
    return Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPAsyncSelect(t, hWnd, wMsg, lEvent, e);
    });
}

int WSAEventSelect(SOCKET s, WSAEVENT hEventObject, long lNetworkEvents) {
    return Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPEventSelect(t, hEventObject, lNetworkEvents, e);
    });
}

int WSAEnumNetworkEvents(SOCKET s, WSAEVENT hEventObject, WSANETWORKEVENTS* lpNetworkEvents) {
    return Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPEnumNetworkEvents(t, hEventObject, lpNetworkEvents, e);
    });
}

BOOL WSAGetOverlappedResult(SOCKET s, WSAOVERLAPPED* lpOverlapped, DWORD* lpcbTransfer, BOOL fWait,
                            DWORD* lpdwFlags) {
    int result = Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPGetOverlappedResult(t, lpOverlapped, lpcbTransfer, fWait, lpdwFlags, e)
                   ? 0
                   : SOCKET_ERROR;
    });
    return result == 0 ? TRUE : FALSE;
}

int WSADuplicateSocketW(SOCKET s, DWORD dwProcessId, WSAPROTOCOL_INFOW* lpProtocolInfo) {
    return Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPDuplicateSocket(t, dwProcessId, lpProtocolInfo, e);
    });
}

int ws_bind(SOCKET s, const sockaddr* name, int namelen) {
    return Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPBind(t, name, namelen, e);
    });
}

int ws_listen(SOCKET s, int backlog) {
    return Forward(
        s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) { return p.lpWSPListen(t, backlog, e); });
}

SOCKET ws_accept(SOCKET s, sockaddr* addr, int* addrlen) {
    int error = 0;
    SOCKET accepted = Accept(s, addr, addrlen, nullptr, 0, false, &error);
    if (accepted == INVALID_SOCKET) {
        tLastError = error;
    }
    return accepted;
}

int ws_shutdown(SOCKET s, int how) {
    return Forward(
        s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) { return p.lpWSPShutdown(t, how, e); });
}

int ws_getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
    return Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPGetSockOpt(t, level, optname, optval, optlen, e);
    });
}

int ws_setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
    return Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPSetSockOpt(t, level, optname, optval, optlen, e);
    });
}

int ws_getpeername(SOCKET s, sockaddr* name, int* namelen) {
    return Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPGetPeerName(t, name, namelen, e);
    });
}

int ws_getsockname(SOCKET s, sockaddr* name, int* namelen) {
    return Forward(s, [&](const WSPPROC_TABLE& p, SOCKET t, int* e) {
        return p.lpWSPGetSockName(t, name, namelen, e);
    });
}

// The provider of the first socket in the sets performs the select; its
// procedure finds its own sockets in the sets. Handles the host made for a base
// provider are duplicates of its sockets, so they select the same.
int ws_select(int nfds, WSA_FD_SET* readfds, WSA_FD_SET* writefds, WSA_FD_SET* exceptfds,
              const timeval* timeout) {
    WSA_FD_SET* sets[3] = {readfds, writefds, exceptfds};
    SOCKET first = FirstSocket(sets);
    if (first == INVALID_SOCKET) {
        return Failed(WSAEINVAL);
    }
    Target target;
    if (!Resolve(first, target)) {
        return Failed(WSAENOTSOCK);
    }
    int error = 0;
    int result =
        target.provider->procs.lpWSPSelect(nfds, readfds, writefds, exceptfds, timeout, &error);
    if (result == SOCKET_ERROR) {
        tLastError = error;
    }
    return result;
}
}
