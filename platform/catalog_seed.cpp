// The base entries of a new catalog, named and flagged like the Windows ones.

#include "common/wide.h"
#include "platform/catalog_store.h"

#include <climits>

namespace platform {
namespace {

constexpr GUID kTcpipId = {
    0xE70F1AA0, 0xAB8B, 0x11CF, {0x8C, 0xA3, 0x00, 0x80, 0x5F, 0x48, 0xA1, 0x92}};
constexpr GUID kTcpip6Id = {
    0xF9EAB0C0, 0x26D4, 0x11D0, {0xBB, 0xBF, 0x00, 0xAA, 0x00, 0x6C, 0x34, 0xE4}};
constexpr GUID kRsvpId = {
    0x9D60A9E0, 0x337A, 0x11D0, {0xBD, 0x88, 0x00, 0x00, 0xC0, 0x82, 0xE6, 0x9A}};
constexpr GUID kNetbiosId = {
    0x8D5F1830, 0xC273, 0x11CF, {0x95, 0xC8, 0x00, 0x80, 0x5F, 0x48, 0xA1, 0x92}};

constexpr DWORD kStreamFlags = XP1_IFS_HANDLES | XP1_EXPEDITED_DATA | XP1_GRACEFUL_CLOSE |
                               XP1_GUARANTEED_ORDER | XP1_GUARANTEED_DELIVERY;
constexpr DWORD kDatagramFlags = XP1_IFS_HANDLES | XP1_SUPPORT_MULTIPOINT | XP1_SUPPORT_BROADCAST |
                                 XP1_MESSAGE_ORIENTED | XP1_CONNECTIONLESS;
constexpr DWORD kUdpMessageSize = 65467;

struct BaseEntry {
    const char* name;
    GUID id;
    DWORD flags;
    int family;
    int sockAddr;
    int type;
    int protocol;
    int protocolMaxOffset;
    DWORD messageSize;
};

constexpr BaseEntry kBaseEntries[] = {
    {"MSAFD Tcpip [TCP/IP]", kTcpipId, kStreamFlags, AF_INET_W, 16, SOCK_STREAM_W, IPPROTO_TCP_W, 0,
     0},
    {"MSAFD Tcpip [UDP/IP]", kTcpipId, kDatagramFlags, AF_INET_W, 16, SOCK_DGRAM_W, IPPROTO_UDP_W,
     0, kUdpMessageSize},
    {"MSAFD Tcpip [RAW/IP]", kTcpipId, kDatagramFlags, AF_INET_W, 16, SOCK_RAW_W, IPPROTO_IP_W, 255,
     kUdpMessageSize},
    {"MSAFD Tcpip [TCP/IPv6]", kTcpip6Id, kStreamFlags, AF_INET6_W, 28, SOCK_STREAM_W,
     IPPROTO_TCP_W, 0, 0},
    {"MSAFD Tcpip [UDP/IPv6]", kTcpip6Id, kDatagramFlags, AF_INET6_W, 28, SOCK_DGRAM_W,
     IPPROTO_UDP_W, 0, kUdpMessageSize},
    {"RSVP TCP Service Provider", kRsvpId, kStreamFlags | XP1_QOS_SUPPORTED, AF_INET_W, 16,
     SOCK_STREAM_W, IPPROTO_TCP_W, 0, 0},
    {"RSVP UDP Service Provider", kRsvpId, kDatagramFlags | XP1_QOS_SUPPORTED, AF_INET_W, 16,
     SOCK_DGRAM_W, IPPROTO_UDP_W, 0, kUdpMessageSize},
    // NetBIOS numbers its protocols by adapter; adapter 0 is written as INT_MIN.
    {"MSAFD NetBIOS [\\Device\\NetBT_Tcpip_{5B3C2A10-7D4E-4F61-9A82-C1D0E3F4A5B6}] SEQPACKET 0",
     kNetbiosId,
     XP1_IFS_HANDLES | XP1_MESSAGE_ORIENTED | XP1_GUARANTEED_ORDER | XP1_GUARANTEED_DELIVERY,
     AF_NETBIOS_W, 20, SOCK_SEQPACKET_W, INT_MIN, 0, 65535},
};

CatalogItem MakeItem(const BaseEntry& entry, DWORD catalogId) {
    CatalogItem item{};
    WSAPROTOCOL_INFOW& info = item.info;
    info.dwServiceFlags1 = entry.flags;
    info.dwProviderFlags = PFL_MATCHES_PROTOCOL_ZERO;
    info.ProviderId = entry.id;
    info.dwCatalogEntryId = catalogId;
    info.ProtocolChain.ChainLen = BASE_PROTOCOL;
    info.ProtocolChain.ChainEntries[0] = catalogId;
    info.iVersion = 2;
    info.iAddressFamily = entry.family;
    info.iMaxSockAddr = entry.sockAddr;
    info.iMinSockAddr = entry.sockAddr;
    info.iSocketType = entry.type;
    info.iProtocol = entry.protocol;
    info.iProtocolMaxOffset = entry.protocolMaxOffset;
    info.dwMessageSize = entry.messageSize;
    qm::CopyToWideField(qm::WideFromNarrow(entry.name), info.szProtocol, WSAPROTOCOL_LEN + 1);
    item.path = kBaseProviderPath;
    return item;
}

} // namespace

Catalog SeedCatalog() {
    Catalog catalog;
    catalog.nextId = kFirstCatalogId;
    for (const BaseEntry& entry : kBaseEntries) {
        catalog.items.push_back(MakeItem(entry, catalog.nextId++));
    }
    return catalog;
}

} // namespace platform
