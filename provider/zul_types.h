#pragma once
// The provider's records: one PROVIDER per protocol chain of the provider in
// the catalog (the provider below it and that provider's procedures), and one
// SOCK_INFO per layered socket, tying the program's handle to the lower
// provider's socket.

#include "platform/win/library.h"
#include "platform/winsock_spi.h"

#include <atomic>
#include <mutex>
#include <string>

namespace zul {

constexpr int MAX_PATH_W = 260;

struct SOCK_INFO;

// The lower provider's extension functions, loaded on first use.
struct EXT_WSPPROC_TABLE {
    void* lpfnAcceptEx;
    void* lpfnTransmitFile;
    void* lpfnGetAcceptExSockaddrs;
    void* lpfnTransmitPackets;
    void* lpfnConnectEx;
    void* lpfnDisconnectEx;
    void* lpfnWSARecvMsg;
    void* lpfnWSASendMsg;
};

struct PROVIDER {
    WSAPROTOCOL_INFOW NextProvider;  // the provider below in this chain
    WSAPROTOCOL_INFOW LayerProvider; // this chain's own entry
    WSPPROC_TABLE NextProcTable;
    EXT_WSPPROC_TABLE NextProcTableExt;
    WCHAR ProviderPathW[MAX_PATH_W];
    WCHAR LibraryPathW[MAX_PATH_W];
    char ProviderPathA[MAX_PATH_W];
    char LibraryPathA[MAX_PATH_W];
    int ProviderPathLen;
    HMODULE hProvider;
    LPWSPSTARTUP fnWSPStartup;
    SOCK_INFO* SocketList; // newest first
    std::mutex ProviderCritSec;
};

struct SOCK_INFO {
    std::atomic<SOCKET> ProviderSocket; // INVALID_SOCKET once closed
    std::atomic<SOCKET> LayeredSocket;  // INVALID_SOCKET until made and once released
    LONG dwOutstanding;
    BOOL bClosing;
    std::atomic<DWORD> RefCount;
    // Set under the provider's global lock when the context is about to be
    // freed: from then on it is not found (see ClaimIfUnused).
    bool bClaimed = false;
    std::atomic<DWORD> BytesSent{0};
    std::atomic<DWORD> BytesRecv{0};
    HANDLE hIocp;
    // Read by the hidden window's thread under the provider's lock only.
    std::atomic<HWND> hWnd;
    std::atomic<UINT> uMsg;
    // Set when the socket delivered the last redirect it owed: later receives
    // give the end of the stream.
    std::atomic<bool> bReceiveFinished;
    // A redirect a peeking receive has shown but nobody has read yet (under
    // SockCritSec), and whether there is one, for a receive to look without it.
    std::string PendingRedirect;
    std::atomic<bool> bRedirectPending{false};
    // How far the start of what the program sends has been looked at (stream
    // sockets): nothing sent yet; a TLS ClientHello being gathered (its bytes
    // held back in StartBytes); no request in gathering; the start of an HTTP
    // request being gathered (its bytes sent, a copy in StartBytes); a secure
    // connection, never looked at again; a SOCKS 5 greeting sent, its request
    // to connect to come (after which the tunnel starts as StartOpen). Under
    // SendCritSec.
    enum : unsigned char {
        StartOpen,
        StartHello,
        StartIdle,
        StartRequest,
        StartSecure,
        StartSocks
    };
    unsigned char Start = StartOpen;
    std::string StartBytes;
    std::mutex SendCritSec;
    // Set when a secure connection was blocked: every later call fails as reset.
    std::atomic<bool> bReset{false};
    // The port a datagram socket was connected to, in host order.
    std::atomic<WORD> PeerPort{0};
    std::mutex SockCritSec;
    // Held while an overlapped operation starts on the provider socket and
    // while that socket is closed: an operation never starts on a closed (and
    // perhaps reused) number. Apart from SockCritSec, so that a lower call that
    // does not return at once holds up no other call on the socket.
    std::mutex StartCritSec;
    PROVIDER* Provider;
    SOCK_INFO* prev;
    SOCK_INFO* next;
};

} // namespace zul
