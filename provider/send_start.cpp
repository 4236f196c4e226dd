#include "provider/send_start.h"

#include "common/text.h"
#include "provider/dns_query.h"
#include "provider/http_request.h"
#include "provider/informant.h"
#include "provider/lsp_log.h"
#include "provider/name_resolvers.h"
#include "provider/program_check.h"
#include "provider/provider_settings.h"
#include "provider/proxy_handshake.h"
#include "provider/tls_hello.h"
#include "provider/zul_state.h"

#include <algorithm>
#include <arpa/inet.h>
#include <climits>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string_view>

namespace zul {
namespace {

constexpr const char* kFunction = "WSPSend";
constexpr unsigned char kTlsHandshake = 22;
constexpr WORD kHttp3Port = 443;
constexpr int kHeldSendWaitMs = 10000;
constexpr std::size_t kTcpQueryLengthSize = 2;    // a DNS query over TCP starts with its length
constexpr unsigned char kSocks4 = 4, kSocks5 = 5; // the first byte of a SOCKS version's messages
constexpr std::string_view kTunnelMethod = "CONNECT ";

// Appends at most limit bytes of the buffers, in order.
void Append(std::string& into, const WSABUF* buffers, DWORD count, std::size_t limit) {
    for (DWORD i = 0; i < count && limit > 0; ++i) {
        if (!buffers[i].buf) {
            continue;
        }
        std::size_t take = std::min<std::size_t>(buffers[i].len, limit);
        into.append(buffers[i].buf, take);
        limit -= take;
    }
}

const char* FirstByte(const WSABUF* buffers, DWORD count) {
    for (DWORD i = 0; i < count; ++i) {
        if (buffers[i].buf && buffers[i].len > 0) {
            return buffers[i].buf;
        }
    }
    return nullptr;
}

// Whether the first bytes sent (a DNS query's questions come first, after
// `prefix` bytes: over TCP the query's length) ask for service bindings.
bool IsServiceBindingQuery(const WSABUF* buffers, DWORD count, std::size_t prefix) {
    constexpr std::size_t kLooked = 512;
    if (!buffers) {
        return false;
    }
    std::string query;
    Append(query, buffers, count, prefix + kLooked);
    return query.size() > prefix &&
           AsksForServiceBindings(reinterpret_cast<const unsigned char*>(query.data()) + prefix,
                                  query.size() - prefix);
}

// The peer's address as text: IPv6 in brackets, as in a URL.
std::string PeerAddress(SOCK_INFO* context) {
    sockaddr_storage peer{};
    int length = sizeof peer;
    int error = 0;
    if (context->Provider->NextProcTable.lpWSPGetPeerName(
            context->ProviderSocket, reinterpret_cast<sockaddr*>(&peer), &length, &error) != 0) {
        return "";
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (peer.ss_family == AF_INET) {
        ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&peer)->sin_addr, text, sizeof text);
        return text;
    }
    ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&peer)->sin6_addr, text, sizeof text);
    return "[" + std::string(text) + "]";
}

void Log(const std::string& message, DWORD level) {
    const ProviderSettings& settings = ProcessSettings();
    WriteLog(settings.dir, settings.debugLevel, kFunction, message, level);
}

void LogQueryRefused() {
    Log("A name query for service bindings is refused", 2);
}

// No byte goes to the server; the connection is shut down, and the program
// sees it reset now and on every later call.
SendStep Reset(SOCK_INFO* context, int* lpErrno) {
    context->bReset = true;
    context->StartBytes.clear();
    int ignored = 0;
    context->Provider->NextProcTable.lpWSPShutdown(context->ProviderSocket, SD_BOTH, &ignored);
    *lpErrno = WSAECONNRESET;
    return SendStep::Refused;
}

// Sends the first `size` held bytes, waiting while the socket cannot take them.
bool SendHeld(SOCK_INFO* context, std::size_t size, int* lpErrno) {
    std::size_t sent = 0;
    while (sent < size) {
        WSABUF buffer{std::uint32_t(size - sent), context->StartBytes.data() + sent};
        DWORD count = 0;
        DWORD flags = 0;
        int result = context->Provider->NextProcTable.lpWSPSend(
            context->ProviderSocket, &buffer, 1, &count, flags, nullptr, nullptr, nullptr, lpErrno);
        if (result == 0) {
            sent += count;
            continue;
        }
        pollfd wait{int(context->ProviderSocket), POLLOUT, 0};
        if (*lpErrno != WSAEWOULDBLOCK || ::poll(&wait, 1, kHeldSendWaitMs) <= 0) {
            return false;
        }
    }
    return true;
}

// The server name (or else the peer's address) of a whole ClientHello decides;
// a public name resolver is refused without asking.
bool IsHelloBlocked(SOCK_INFO* context, const TlsHello& hello) {
    if (IsPublicNameResolver(hello.serverName)) {
        Log("A secure connection to a public name resolver is refused: " + hello.serverName, 2);
        return true;
    }
    std::string host = hello.serverName.empty() ? PeerAddress(context) : hello.serverName;
    std::string url = "https://" + host + "/";
    Log("Secure connection to " + url, 2);
    return Informant().IsSecureSiteBlocked(url.c_str());
}

SendStep GatherHello(SOCK_INFO* context, const WSABUF* buffers, DWORD count, int* lpErrno) {
    std::string& bytes = context->StartBytes;
    std::size_t heldBefore = bytes.size();
    Append(bytes, buffers, count, kTlsHeaderSize + kTlsRecordMax - heldBefore);
    TlsHello hello =
        ReadClientHello(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    if (hello.kind == TlsHello::NeedMore) {
        return SendStep::Held;
    }
    if (hello.kind == TlsHello::Malformed) {
        Log("A malformed TLS ClientHello is not sent *** BLOCKING TRAFFIC ***", 1);
        return Reset(context, lpErrno);
    }
    if (hello.kind == TlsHello::Complete && IsHelloBlocked(context, hello)) {
        return Reset(context, lpErrno);
    }
    context->Start = SOCK_INFO::StartSecure;
    bool released = SendHeld(context, heldBefore, lpErrno);
    bytes.clear();
    bytes.shrink_to_fit();
    return released ? SendStep::Forward : SendStep::Refused;
}

// A request is decided; a proxy's tunnel that a CONNECT request opens is
// looked at from its first bytes, as a new connection is.
void Inspect(SOCK_INFO* context, SOCKET s, std::string_view request) {
    Informant().InspectBuffer(request.data(), s,
                              int(std::min<std::size_t>(request.size(), INT_MAX)));
    if (request.starts_with(kTunnelMethod)) {
        context->Start = SOCK_INFO::StartOpen;
    }
}

// The handshake with a SOCKS proxy goes out as it is, and after its request
// to connect the tunnel's first bytes are looked at as a new connection's.
// False when the send is no SOCKS message.
bool FollowsProxyHandshake(SOCK_INFO* context, const WSABUF* buffers, DWORD count) {
    constexpr std::size_t kMessageMax = 1024;
    unsigned char first = static_cast<unsigned char>(*FirstByte(buffers, count));
    bool opening = context->Start == SOCK_INFO::StartOpen;
    if (opening && first != kSocks4 && first != kSocks5) {
        return false;
    }
    std::string bytes;
    Append(bytes, buffers, count, kMessageMax + 1);
    auto data = reinterpret_cast<const unsigned char*>(bytes.data());
    ProxyStep step =
        opening ? ReadProxyOpening(data, bytes.size()) : ReadProxyFollowing(data, bytes.size());
    if (step == ProxyStep::None) {
        return false;
    }
    context->Start = step == ProxyStep::TunnelAsked ? SOCK_INFO::StartOpen : SOCK_INFO::StartSocks;
    return true;
}

// A request already sent whole is inspected at once; the start of one that
// is not is gathered (the bytes go on) until its URL can be built.
void GatherRequest(SOCK_INFO* context, SOCKET s, const WSABUF* buffers, DWORD count) {
    std::string& bytes = context->StartBytes;
    if (context->Start == SOCK_INFO::StartIdle) {
        std::string_view first(buffers[0].buf ? buffers[0].buf : "",
                               buffers[0].buf ? buffers[0].len : 0);
        RequestStart start = ReadRequestStart(first);
        if (start == RequestStart::NotRequest) {
            return;
        }
        if (start == RequestStart::Ready) {
            Inspect(context, s, first);
            return;
        }
        bytes.clear();
        context->Start = SOCK_INFO::StartRequest;
    }
    Append(bytes, buffers, count, kRequestStartMax - std::min(bytes.size(), kRequestStartMax));
    RequestStart start = ReadRequestStart(bytes);
    if (start == RequestStart::Partial) {
        return;
    }
    context->Start = SOCK_INFO::StartIdle;
    if (start == RequestStart::Ready) {
        Inspect(context, s, bytes);
    }
    bytes.clear();
}

} // namespace

std::size_t BuffersLength(const WSABUF* buffers, DWORD count) {
    std::size_t total = 0;
    for (DWORD i = 0; i < count; ++i) {
        total += buffers[i].buf ? buffers[i].len : 0;
    }
    return total;
}

SendStep InspectSend(SOCK_INFO* context, SOCKET s, const WSABUF* buffers, DWORD count,
                     int* lpErrno) {
    if (!buffers || count == 0 || context->Provider->NextProvider.iSocketType != SOCK_STREAM_W) {
        return SendStep::Forward;
    }
    std::lock_guard lock(context->SendCritSec);
    if (context->bReset) {
        *lpErrno = WSAECONNRESET;
        return SendStep::Refused;
    }
    if (BuffersLength(buffers, count) == 0) {
        return SendStep::Forward;
    }
    if (context->PeerPort == kNameServerPort &&
        IsServiceBindingQuery(buffers, count, kTcpQueryLengthSize)) {
        LogQueryRefused();
        *lpErrno = WSAEACCES;
        return SendStep::Refused;
    }
    if (context->Start == SOCK_INFO::StartOpen || context->Start == SOCK_INFO::StartSocks) {
        if (FollowsProxyHandshake(context, buffers, count)) {
            return SendStep::Forward;
        }
        bool hello = context->Start == SOCK_INFO::StartOpen &&
                     static_cast<unsigned char>(*FirstByte(buffers, count)) == kTlsHandshake;
        context->Start = hello ? SOCK_INFO::StartHello : SOCK_INFO::StartIdle;
    }
    if (context->Start == SOCK_INFO::StartHello) {
        return GatherHello(context, buffers, count, lpErrno);
    }
    if (context->Start != SOCK_INFO::StartSecure) {
        GatherRequest(context, s, buffers, count);
    }
    return SendStep::Forward;
}

bool IsDatagramRefused(SOCK_INFO* context, const sockaddr* to, int toLength, const WSABUF* buffers,
                       DWORD count, int* lpErrno) {
    if (context->Provider->NextProvider.iSocketType != SOCK_DGRAM_W) {
        return false;
    }
    WORD port = to ? PortOf(to, toLength) : context->PeerPort.load();
    if (port == kHttp3Port) {
        Log("A datagram to port 443 is refused", 2);
    } else if (port == kNameServerPort && IsServiceBindingQuery(buffers, count, 0)) {
        LogQueryRefused();
    } else {
        return false;
    }
    *lpErrno = WSAEACCES;
    return true;
}

bool IsReset(SOCK_INFO* context, int* lpErrno) {
    if (!context->bReset) {
        return false;
    }
    *lpErrno = WSAECONNRESET;
    return true;
}

} // namespace zul
