// A base provider for tests that offers no extension functions: every call
// goes to the platform's base provider, except that asking for an extension
// function's pointer fails as it does for an unknown one. It also remembers
// the window the provider above asks to be notified at, holds a control call
// with the code 0x7151D001 for good, and, with
// QM_PLAIN_LOWER_LATE_NOTE naming the log of the provider above, reports an
// event (FD_OOB) for each accepted socket before the provider above has made
// the socket's context: the accept returns once the log tells that the
// window has looked for the context in vain.

#include "platform/winsock_ext.h"
#include "platform/winsock_spi.h"

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

WSPPROC_TABLE gBase{};
WSPUPCALLTABLE gUpcalls{};
std::atomic<HWND> gNotified{nullptr};
std::atomic<UINT> gMessage{0};

constexpr const char* kLookedInVain = "Unable to find socket context for";

int CountInFile(const char* path, const std::string& text) {
    std::ifstream in(path);
    std::stringstream contents;
    contents << in.rdbuf();
    std::string all = contents.str();
    int count = 0;
    for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) {
        ++count;
    }
    return count;
}

SOCKET Accept(SOCKET s, sockaddr* addr, int* addrlen, LPCONDITIONPROC condition, DWORD_PTR data,
              int* lpErrno) {
    SOCKET accepted = gBase.lpWSPAccept(s, addr, addrlen, condition, data, lpErrno);
    const char* log = std::getenv("QM_PLAIN_LOWER_LATE_NOTE");
    HWND window = gNotified;
    if (accepted == INVALID_SOCKET || !log || !window) {
        return accepted;
    }
    int before = CountInFile(log, kLookedInVain);
    gUpcalls.lpWPUPostMessage(window, gMessage, WPARAM(accepted), WSAMAKESELECTREPLY(FD_OOB_W, 0));
    for (int i = 0; i < 1000 && CountInFile(log, kLookedInVain) == before; ++i) {
        ::usleep(10000);
    }
    return accepted;
}

// A control code that this provider never finishes: its caller stays busy.
constexpr DWORD kHoldingCode = 0x7151D001;
std::atomic<bool> gHolding{false};

int Ioctl(SOCKET s, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
          WSAOVERLAPPED* overlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE routine,
          WSATHREADID* thread, int* lpErrno) {
    if (code == kHoldingCode) {
        gHolding = true;
        for (;;) {
            ::pause();
        }
    }
    if (code == SIO_GET_EXTENSION_FUNCTION_POINTER) {
        *lpErrno = WSAEINVAL;
        return SOCKET_ERROR;
    }
    return gBase.lpWSPIoctl(s, code, in, inSize, out, outSize, returned, overlapped, routine,
                            thread, lpErrno);
}

int AsyncSelect(SOCKET s, HWND window, unsigned int message, long events, int* lpErrno) {
    gNotified = window;
    gMessage = message;
    return gBase.lpWSPAsyncSelect(s, window, message, events, lpErrno);
}

} // namespace

extern "C" __attribute__((visibility("default"))) int
WSPStartup(WORD wVersionRequested, WSPDATA* lpWSPData, WSAPROTOCOL_INFOW* lpProtocolInfo,
           WSPUPCALLTABLE UpcallTable, WSPPROC_TABLE* lpProcTable) {
    void* base = ::dlopen(QM_BIN_DIR "/libmsafd.so", RTLD_NOW | RTLD_LOCAL);
    auto startup = base ? reinterpret_cast<LPWSPSTARTUP>(::dlsym(base, "WSPStartup")) : nullptr;
    if (!startup) {
        return WSAEPROVIDERFAILEDINIT;
    }
    WSPPROC_TABLE procs{};
    int result = startup(wVersionRequested, lpWSPData, lpProtocolInfo, UpcallTable, &procs);
    if (result != 0) {
        return result;
    }
    gBase = procs;
    gUpcalls = UpcallTable;
    procs.lpWSPIoctl = Ioctl;
    procs.lpWSPAccept = Accept;
    procs.lpWSPAsyncSelect = AsyncSelect;
    *lpProcTable = procs;
    return 0;
}

// The window last named to WSPAsyncSelect, or null.
extern "C" __attribute__((visibility("default"))) HWND qm_plain_lower_notified_window() {
    return gNotified;
}

// Whether a call with the holding control code has begun (it never ends).
extern "C" __attribute__((visibility("default"))) bool qm_plain_lower_holding() {
    return gHolding;
}
