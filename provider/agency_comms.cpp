#include "provider/agency_comms.h"

#include "platform/channel_port.h"
#include "platform/socket_owner.h"
#include "platform/tcp_client.h"
#include "provider/lsp_log.h"

#include <cstring>
#include <unistd.h>
#include <utility>

namespace zul {
namespace {

constexpr long kConnectWaitSeconds = 5;
constexpr long kConnectWaitMicroseconds = 5000;

} // namespace

CAgencyComms::CAgencyComms(const std::string& directory, DWORD debugLevel)
    : directory_(directory), debugLevel_(debugLevel), port_(platform::ChannelPort()) {
    WriteLog("CCAgencyComms::CAgencyComms2", "A new communication object has been created.", 2);
}

CAgencyComms::~CAgencyComms() {
    WriteLog("CAgencyComms::~CAgencyComms", "Communciations with agency has been terminated.", 2);
    CloseCommunication(COMMS_URL);
    CloseCommunication(COMMS_APP);
}

CAgencyComms::Connection* CAgencyComms::Find(int kind) {
    if (kind == COMMS_URL) {
        return &url_;
    }
    return kind == COMMS_APP ? &app_ : nullptr;
}

std::unique_lock<std::mutex> CAgencyComms::LockKind(int kind) {
    Connection* connection = Find(kind);
    return std::unique_lock<std::mutex>(connection ? connection->lock : unknownKind_);
}

bool CAgencyComms::IsConnected(int kind) {
    Connection* connection = Find(kind);
    if (connection && connection->connected) {
        if (Healthy(*connection)) {
            return true; // the service holds the other end: it runs
        }
        Drop(*connection);
    }
    if (!EstablishCommunications()) {
        return false;
    }
    if (connection) {
        connection->serviceFound = true; // spares the connect that follows a second look
    }
    return connection && connection->connected;
}

bool CAgencyComms::Healthy(const Connection& connection) {
    SOCKET s = connection.socket.load();
    return s != INVALID_SOCKET && platform::TcpIdle(s);
}

void CAgencyComms::Drop(Connection& connection) {
    connection.connected = false;
    SOCKET s = connection.socket.exchange(INVALID_SOCKET);
    if (s != INVALID_SOCKET) {
        platform::TcpClose(s);
    }
}

bool CAgencyComms::EstablishCommunication(int kind) {
    const char* function = "CAgencyComms::EstablishCommunication";
    WriteLog(function, "Attempting to establish communication with KOVARI", 2);
    Connection* connection = Find(kind);
    bool found = connection && std::exchange(connection->serviceFound, false);
    if (!connection || !(found || EstablishCommunications())) {
        return false;
    }
    if (connection->connected) {
        return true; // a kind is connected once per process
    }
    WriteLog(function, "Attempting to create a new socket", 2);
    SOCKET s = platform::TcpSocket();
    if (s == INVALID_SOCKET) {
        WriteLog(function, "Socket create failed!!", 1);
        return false;
    }
    WriteLog(function, "Filling in the AddrIn structure", 2);
    if (!ConnectSocket(s)) {
        platform::TcpClose(s);
        return false;
    }
    long owner = platform::TcpListenerOwner(port_);
    if (owner >= 0 && owner != long(::geteuid())) {
        // Another account's service (or a stranger) listens there: never ask it.
        // An owner that cannot be told (no socket diagnostics here) passes.
        WriteLog(function, "Connection to KOVARI was not made.", 1);
        platform::TcpClose(s);
        return false;
    }
    WriteLog(function, "CONNECTION ESTABLISHED", 2);
    connection->socket = s;
    connection->connected = true;
    return true;
}

bool CAgencyComms::ConnectSocket(SOCKET s) {
    const char* function = "CAgencyComms::EstablishCommunication";
    WriteLog(function, "Attemping to connect the socket to KOVARI", 2);
    if (platform::TcpConnect(s, kAddress, port_) == 0) {
        return true;
    }
    if (platform::TcpLastError() != WSAEWOULDBLOCK) {
        WriteLog(function, "Connection to KOVARI was not made.", 1);
        return false;
    }
    WriteLog(function, "Need to wait and see if connection will complete", 2);
    int ready = platform::TcpWaitWritable(s, kConnectWaitSeconds, kConnectWaitMicroseconds);
    if (ready == SOCKET_ERROR) {
        WriteLog(function, "Connection to KOVARI was not made after waiting for it.", 1);
        return false;
    }
    if (ready == 1 && platform::TcpPendingError(s) == 0) {
        WriteLog(function, "Connection to KOVARI was made after waiting for it.", 2);
        return true;
    }
    WriteLog(function, "An Error occurred while waiting for KOVARI to connect", 1);
    return false;
}

bool CAgencyComms::SendCommunication(const char* bytes, int count, int kind) {
    const char* function = "CAgencyComms::SendCommunication";
    WriteLog(function, "Sending transmission....", 2);
    std::size_t shown = bytes && count > 0 ? ::strnlen(bytes, std::size_t(count)) : 0;
    WriteLog("CAgencyComms::SendCommunication->szBuf", std::string_view(bytes ? bytes : "", shown),
             2);
    Connection* connection = Find(kind);
    SOCKET s = connection ? connection->socket.load() : INVALID_SOCKET;
    if (!bytes || platform::TcpSend(s, bytes, count) == SOCKET_ERROR) {
        WriteLog(function, "Send has failed", 1);
        if (connection) {
            Drop(*connection);
        }
        return false;
    }
    WriteLog(function, "Transmission sent.", 2);
    return true;
}

bool CAgencyComms::ReceiveCommunication(char* buffer, int capacity, int kind) {
    const char* function = "CAgencyComms::ReceiveCommunication2";
    WriteLog(function, "Waiting on incoming transmission", 2);
    Connection* connection = Find(kind);
    SOCKET s = connection ? connection->socket.load() : INVALID_SOCKET;
    int received = buffer ? platform::TcpRecv(s, buffer, capacity) : SOCKET_ERROR;
    // No bytes means the service closed the connection without answering:
    // an answer cut off is a failure, never an empty verdict.
    if (received == SOCKET_ERROR || received == 0) {
        WriteLog(function, "Receive has failed", 1);
        if (connection) {
            Drop(*connection);
        }
        return false;
    }
    WriteLog(function, std::string_view(buffer, ::strnlen(buffer, std::size_t(received))), 2);
    return true;
}

void CAgencyComms::CloseCommunication(int kind) {
    if (Connection* connection = Find(kind)) {
        Drop(*connection);
    }
}

void CAgencyComms::WriteLog(const char* function, std::string_view message, DWORD level) const {
    zul::WriteLog(directory_, debugLevel_, function, message, level);
}

} // namespace zul
