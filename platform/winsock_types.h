#pragma once
// Windows socket layer types shared by the catalog, the socket host, the
// provider and the installer: same field layout and sizes as on Windows.

#include "platform/wintypes.h"

constexpr int MAX_PROTOCOL_CHAIN = 7;
constexpr int BASE_PROTOCOL = 1;
constexpr int LAYERED_PROTOCOL = 0;
constexpr int WSAPROTOCOL_LEN = 255;

struct WSAPROTOCOLCHAIN {
    int ChainLen; // 0 layered, 1 base, >1 chain
    DWORD ChainEntries[MAX_PROTOCOL_CHAIN];
};

struct WSAPROTOCOL_INFOW {
    DWORD dwServiceFlags1;
    DWORD dwServiceFlags2;
    DWORD dwServiceFlags3;
    DWORD dwServiceFlags4;
    DWORD dwProviderFlags;
    GUID ProviderId;
    DWORD dwCatalogEntryId;
    WSAPROTOCOLCHAIN ProtocolChain;
    int iVersion;
    int iAddressFamily;
    int iMaxSockAddr;
    int iMinSockAddr;
    int iSocketType;
    int iProtocol;
    int iProtocolMaxOffset;
    int iNetworkByteOrder;
    int iSecurityScheme;
    DWORD dwMessageSize;
    DWORD dwProviderReserved;
    WCHAR szProtocol[WSAPROTOCOL_LEN + 1];
};
static_assert(sizeof(WSAPROTOCOL_INFOW) == 628, "catalog records are 628 bytes");

// Service flags (dwServiceFlags1).
constexpr DWORD XP1_CONNECTIONLESS = 0x00000001;
constexpr DWORD XP1_GUARANTEED_DELIVERY = 0x00000002;
constexpr DWORD XP1_GUARANTEED_ORDER = 0x00000004;
constexpr DWORD XP1_MESSAGE_ORIENTED = 0x00000008;
constexpr DWORD XP1_PSEUDO_STREAM = 0x00000010;
constexpr DWORD XP1_GRACEFUL_CLOSE = 0x00000020;
constexpr DWORD XP1_EXPEDITED_DATA = 0x00000040;
constexpr DWORD XP1_CONNECT_DATA = 0x00000080;
constexpr DWORD XP1_DISCONNECT_DATA = 0x00000100;
constexpr DWORD XP1_SUPPORT_BROADCAST = 0x00000200;
constexpr DWORD XP1_SUPPORT_MULTIPOINT = 0x00000400;
constexpr DWORD XP1_MULTIPOINT_CONTROL_PLANE = 0x00000800;
constexpr DWORD XP1_MULTIPOINT_DATA_PLANE = 0x00001000;
constexpr DWORD XP1_QOS_SUPPORTED = 0x00002000;
constexpr DWORD XP1_INTERRUPT = 0x00004000;
constexpr DWORD XP1_UNI_SEND = 0x00008000;
constexpr DWORD XP1_UNI_RECV = 0x00010000;
constexpr DWORD XP1_IFS_HANDLES = 0x00020000;
constexpr DWORD XP1_PARTIAL_MESSAGE = 0x00040000;

// Provider flags (dwProviderFlags).
constexpr DWORD PFL_MULTIPLE_PROTO_ENTRIES = 0x00000001;
constexpr DWORD PFL_RECOMMENDED_PROTO_ENTRY = 0x00000002;
constexpr DWORD PFL_HIDDEN = 0x00000004;
constexpr DWORD PFL_MATCHES_PROTOCOL_ZERO = 0x00000008;

// Address families, socket types and protocols as Windows numbers them.
constexpr int AF_UNSPEC_W = 0;
constexpr int AF_INET_W = 2;
constexpr int AF_NETBIOS_W = 17;
constexpr int AF_INET6_W = 23;
constexpr int SOCK_STREAM_W = 1;
constexpr int SOCK_DGRAM_W = 2;
constexpr int SOCK_RAW_W = 3;
constexpr int SOCK_SEQPACKET_W = 5;
constexpr int IPPROTO_IP_W = 0;
constexpr int IPPROTO_TCP_W = 6;
constexpr int IPPROTO_UDP_W = 17;
constexpr int IPPROTO_RAW_W = 255;

// Winsock error codes.
constexpr int WSA_IO_PENDING = 997;
constexpr int WSA_IO_INCOMPLETE = 996;
constexpr int WSA_INVALID_HANDLE = 6;
constexpr int WSA_INVALID_PARAMETER = 87;
constexpr int WSA_NOT_ENOUGH_MEMORY = 8;
constexpr int WSA_OPERATION_ABORTED = 995;
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAEPROCLIM = 10067;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAEDISCON = 10101;
constexpr int WSAEINVALIDPROCTABLE = 10104;
constexpr int WSAEINVALIDPROVIDER = 10105;
constexpr int WSAEPROVIDERFAILEDINIT = 10106;
constexpr int WSASYSCALLFAILURE = 10107;
constexpr int WSASERVICE_NOT_FOUND = 10108;
constexpr int WSANO_RECOVERY = 11003;

constexpr int SOCKET_ERROR = -1;

// A socket handle as programs hold it (here a file descriptor).
using SOCKET = std::uintptr_t;
constexpr SOCKET INVALID_SOCKET = ~SOCKET(0);
