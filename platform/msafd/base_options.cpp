#include "platform/msafd/base_internal.h"
#include "platform/msafd/base_procs.h"
#include "platform/msafd/io_engine.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace msafd {
namespace {

struct OptionName {
    int windows;
    int posix;
};

constexpr OptionName kSocketOptions[] = {
    {SO_DEBUG_W, SO_DEBUG},         {SO_ACCEPTCONN_W, SO_ACCEPTCONN},
    {SO_REUSEADDR_W, SO_REUSEADDR}, {SO_KEEPALIVE_W, SO_KEEPALIVE},
    {SO_DONTROUTE_W, SO_DONTROUTE}, {SO_BROADCAST_W, SO_BROADCAST},
    {SO_LINGER_W, SO_LINGER},       {SO_OOBINLINE_W, SO_OOBINLINE},
    {SO_SNDBUF_W, SO_SNDBUF},       {SO_RCVBUF_W, SO_RCVBUF},
    {SO_SNDTIMEO_W, SO_SNDTIMEO},   {SO_RCVTIMEO_W, SO_RCVTIMEO},
    {SO_ERROR_W, SO_ERROR},         {SO_TYPE_W, SO_TYPE},
};

// The kernel's level and name for a socket-layer option; false when unknown.
bool KernelOption(int level, int optname, int& kernelLevel, int& kernelName) {
    if (level != SOL_SOCKET_W) {
        kernelLevel = level; // protocol levels carry the same numbers
        kernelName = optname;
        return true;
    }
    for (const OptionName& option : kSocketOptions) {
        if (option.windows == optname) {
            kernelLevel = SOL_SOCKET;
            kernelName = option.posix;
            return true;
        }
    }
    return false;
}

int GetLinger(SOCKET s, char* optval, int* optlen, int* lpErrno) {
    if (*optlen < int(sizeof(LINGER_W))) {
        return Fail(lpErrno, WSAEFAULT);
    }
    linger value{};
    socklen_t length = sizeof value;
    if (::getsockopt(int(s), SOL_SOCKET, SO_LINGER, &value, &length) != 0) {
        return FailFromErrno(lpErrno);
    }
    auto* out = reinterpret_cast<LINGER_W*>(optval);
    out->l_onoff = std::uint16_t(value.l_onoff);
    out->l_linger = std::uint16_t(value.l_linger);
    *optlen = sizeof(LINGER_W);
    return 0;
}

int SetLinger(SOCKET s, const char* optval, int optlen, int* lpErrno) {
    if (optlen < int(sizeof(LINGER_W))) {
        return Fail(lpErrno, WSAEFAULT);
    }
    const auto* in = reinterpret_cast<const LINGER_W*>(optval);
    linger value{in->l_onoff, in->l_linger};
    return ::setsockopt(int(s), SOL_SOCKET, SO_LINGER, &value, sizeof value) == 0
               ? 0
               : FailFromErrno(lpErrno);
}

int SetNonBlocking(SOCKET s, bool on, int* lpErrno) {
    int flags = ::fcntl(int(s), F_GETFL);
    if (flags < 0 ||
        ::fcntl(int(s), F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) != 0) {
        return FailFromErrno(lpErrno);
    }
    return 0;
}

} // namespace

int WSPGetSockOpt(SOCKET s, int level, int optname, char* optval, int* optlen, int* lpErrno) {
    if (!optval || !optlen) {
        return Fail(lpErrno, WSAEFAULT);
    }
    if (level == SOL_SOCKET_W && optname == SO_LINGER_W) {
        return GetLinger(s, optval, optlen, lpErrno);
    }
    int kernelLevel = 0;
    int kernelName = 0;
    if (!KernelOption(level, optname, kernelLevel, kernelName)) {
        return Fail(lpErrno, WSAENOPROTOOPT);
    }
    socklen_t length = socklen_t(*optlen);
    if (::getsockopt(int(s), kernelLevel, kernelName, optval, &length) != 0) {
        return FailFromErrno(lpErrno);
    }
    *optlen = int(length);
    return 0;
}

int WSPSetSockOpt(SOCKET s, int level, int optname, const char* optval, int optlen, int* lpErrno) {
    if (level == SOL_SOCKET_W && optname == SO_UPDATE_ACCEPT_CONTEXT_W) {
        return 0; // an accepted socket here is complete already
    }
    if (!optval) {
        return Fail(lpErrno, WSAEFAULT);
    }
    if (level == SOL_SOCKET_W && optname == SO_LINGER_W) {
        return SetLinger(s, optval, optlen, lpErrno);
    }
    int kernelLevel = 0;
    int kernelName = 0;
    if (!KernelOption(level, optname, kernelLevel, kernelName)) {
        return Fail(lpErrno, WSAENOPROTOOPT);
    }
    return ::setsockopt(int(s), kernelLevel, kernelName, optval, socklen_t(optlen)) == 0
               ? 0
               : FailFromErrno(lpErrno);
}

namespace {

int Ioctl(SOCKET s, DWORD dwIoControlCode, void* lpvInBuffer, DWORD cbInBuffer, void* lpvOutBuffer,
          DWORD cbOutBuffer, DWORD* lpcbBytesReturned, int* lpErrno) {
    switch (dwIoControlCode) {
    case FIONBIO_W:
        if (!lpvInBuffer || cbInBuffer < 4) {
            return Fail(lpErrno, WSAEFAULT);
        }
        return SetNonBlocking(s, *static_cast<std::uint32_t*>(lpvInBuffer) != 0, lpErrno);
    case FIONREAD_W: {
        int available = 0;
        if (!lpvOutBuffer || cbOutBuffer < 4) {
            return Fail(lpErrno, WSAEFAULT);
        }
        if (::ioctl(int(s), FIONREAD, &available) != 0) {
            return FailFromErrno(lpErrno);
        }
        *static_cast<std::uint32_t*>(lpvOutBuffer) = std::uint32_t(available);
        *lpcbBytesReturned = 4;
        return 0;
    }
    case SIO_GET_EXTENSION_FUNCTION_POINTER: {
        void* function = nullptr;
        if (!lpvInBuffer || cbInBuffer < sizeof(GUID) || !lpvOutBuffer ||
            cbOutBuffer < sizeof function) {
            return Fail(lpErrno, WSAEFAULT);
        }
        if (!ExtensionFunction(*static_cast<const GUID*>(lpvInBuffer), function)) {
            return Fail(lpErrno, WSAEINVAL);
        }
        std::memcpy(lpvOutBuffer, &function, sizeof function);
        *lpcbBytesReturned = sizeof function;
        return 0;
    }
    default:
        return Fail(lpErrno, WSAEINVAL);
    }
}

} // namespace

// Every control code completes at once; with a record, the completion is
// delivered as for any overlapped call.
int WSPIoctl(SOCKET s, DWORD dwIoControlCode, void* lpvInBuffer, DWORD cbInBuffer,
             void* lpvOutBuffer, DWORD cbOutBuffer, DWORD* lpcbBytesReturned,
             WSAOVERLAPPED* lpOverlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine,
             WSATHREADID* lpThreadId, int* lpErrno) {
    DWORD returned = 0;
    int result = Ioctl(s, dwIoControlCode, lpvInBuffer, cbInBuffer, lpvOutBuffer, cbOutBuffer,
                       &returned, lpErrno);
    if (lpcbBytesReturned) {
        *lpcbBytesReturned = returned;
    }
    if (result != 0 || !lpOverlapped) {
        return result;
    }
    WSATHREADID thread{};
    if (lpCompletionRoutine) {
        int ignored = 0;
        if (lpThreadId) {
            thread = *lpThreadId;
        } else {
            Upcalls().lpWPUOpenCurrentThread(&thread, &ignored);
        }
    }
    DeliverCompletion(lpOverlapped, lpCompletionRoutine, thread, Outcome{0, returned, 0});
    return 0;
}

} // namespace msafd
