// The base provider's entry point: hands back its procedure table and counts
// its start-ups and clean-ups per process.

#include "platform/msafd/base_internal.h"
#include "platform/msafd/base_procs.h"
#include "platform/msafd/io_engine.h"

#include <mutex>

namespace msafd {
namespace {

std::mutex gMutex;
int gStartCount = 0;

int WSPCleanup(int* lpErrno) {
    std::lock_guard lock(gMutex);
    if (gStartCount == 0) {
        return Fail(lpErrno, WSANOTINITIALISED);
    }
    if (--gStartCount == 0) {
        StopEngine();
    }
    return 0;
}

WSPPROC_TABLE ProcTable() {
    WSPPROC_TABLE procs{};
    FillUnsupported(procs);
    procs.lpWSPAccept = WSPAccept;
    procs.lpWSPAsyncSelect = WSPAsyncSelect;
    procs.lpWSPGetOverlappedResult = WSPGetOverlappedResult;
    procs.lpWSPBind = WSPBind;
    procs.lpWSPCleanup = WSPCleanup;
    procs.lpWSPCloseSocket = WSPCloseSocket;
    procs.lpWSPConnect = WSPConnect;
    procs.lpWSPGetPeerName = WSPGetPeerName;
    procs.lpWSPGetSockName = WSPGetSockName;
    procs.lpWSPGetSockOpt = WSPGetSockOpt;
    procs.lpWSPIoctl = WSPIoctl;
    procs.lpWSPListen = WSPListen;
    procs.lpWSPRecv = WSPRecv;
    procs.lpWSPRecvFrom = WSPRecvFrom;
    procs.lpWSPSelect = WSPSelect;
    procs.lpWSPSend = WSPSend;
    procs.lpWSPSendTo = WSPSendTo;
    procs.lpWSPSetSockOpt = WSPSetSockOpt;
    procs.lpWSPShutdown = WSPShutdown;
    procs.lpWSPSocket = WSPSocket;
    return procs;
}

} // namespace
} // namespace msafd

extern "C" __attribute__((visibility("default"))) int
WSPStartup(WORD wVersionRequested, WSPDATA* lpWSPData, WSAPROTOCOL_INFOW* lpProtocolInfo,
           WSPUPCALLTABLE UpcallTable, WSPPROC_TABLE* lpProcTable) {
    (void)lpProtocolInfo;
    if ((wVersionRequested & 0xff) < 2) {
        return WSAVERNOTSUPPORTED;
    }
    if (!lpWSPData || !lpProcTable) {
        return WSAEFAULT;
    }
    *lpWSPData = WSPDATA{};
    lpWSPData->wVersion = MAKEWORD_W(2, 2);
    lpWSPData->wHighVersion = MAKEWORD_W(2, 2);
    msafd::KeepUpcalls(UpcallTable);
    *lpProcTable = msafd::ProcTable();
    std::lock_guard lock(msafd::gMutex);
    ++msafd::gStartCount;
    return 0;
}
