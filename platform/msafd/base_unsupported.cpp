// Procedures of the socket layer that the base provider does not offer on this
// platform (yet): each fails with a clear Winsock code and changes nothing.

#include "platform/msafd/base_internal.h"
#include "platform/msafd/base_procs.h"

namespace msafd {
namespace {

int AddressToString(sockaddr*, DWORD, WSAPROTOCOL_INFOW*, WCHAR*, DWORD*, int* lpErrno) {
    return Fail(lpErrno, WSAEINVAL);
}

int CancelBlockingCall(int*) {
    return 0;
}

int DuplicateSocket(SOCKET, DWORD, WSAPROTOCOL_INFOW*, int* lpErrno) {
    return Fail(lpErrno, WSAEOPNOTSUPP);
}

int EnumNetworkEvents(SOCKET, WSAEVENT, WSANETWORKEVENTS*, int* lpErrno) {
    return Fail(lpErrno, WSAEOPNOTSUPP);
}

int EventSelect(SOCKET, WSAEVENT, long, int* lpErrno) {
    return Fail(lpErrno, WSAEOPNOTSUPP);
}

BOOL GetQOSByName(SOCKET, WSABUF*, QOS*, int* lpErrno) {
    *lpErrno = WSAEOPNOTSUPP;
    return FALSE;
}

SOCKET JoinLeaf(SOCKET, const sockaddr*, int, WSABUF*, WSABUF*, QOS*, QOS*, DWORD, int* lpErrno) {
    *lpErrno = WSAEOPNOTSUPP;
    return INVALID_SOCKET;
}

int RecvDisconnect(SOCKET, WSABUF*, int* lpErrno) {
    return Fail(lpErrno, WSAEOPNOTSUPP);
}

int SendDisconnect(SOCKET, WSABUF*, int* lpErrno) {
    return Fail(lpErrno, WSAEOPNOTSUPP);
}

int StringToAddress(WCHAR*, int, WSAPROTOCOL_INFOW*, sockaddr*, int*, int* lpErrno) {
    return Fail(lpErrno, WSAEINVAL);
}

} // namespace

void FillUnsupported(WSPPROC_TABLE& procs) {
    procs.lpWSPAddressToString = AddressToString;
    procs.lpWSPCancelBlockingCall = CancelBlockingCall;
    procs.lpWSPDuplicateSocket = DuplicateSocket;
    procs.lpWSPEnumNetworkEvents = EnumNetworkEvents;
    procs.lpWSPEventSelect = EventSelect;
    procs.lpWSPGetQOSByName = GetQOSByName;
    procs.lpWSPJoinLeaf = JoinLeaf;
    procs.lpWSPRecvDisconnect = RecvDisconnect;
    procs.lpWSPSendDisconnect = SendDisconnect;
    procs.lpWSPStringToAddress = StringToAddress;
}

} // namespace msafd
