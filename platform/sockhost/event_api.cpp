// The socket layer's event calls and the completion of overlapped requests,
// over the platform's events and alertable waits.

#include "platform/overlapped_record.h"
#include "platform/sockhost/winsock_api.h"
#include "platform/win/event.h"

extern "C" {

WSAEVENT WSACreateEvent() {
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

BOOL WSACloseEvent(WSAEVENT hEvent) {
    if (!hEvent) {
        WSASetLastError(WSA_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(hEvent);
}

BOOL WSASetEvent(WSAEVENT hEvent) {
    if (!SetEvent(hEvent)) {
        WSASetLastError(WSA_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WSAResetEvent(WSAEVENT hEvent) {
    if (!ResetEvent(hEvent)) {
        WSASetLastError(WSA_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WSAWaitForMultipleEvents(DWORD cEvents, const WSAEVENT* lphEvents, BOOL fWaitAll,
                               DWORD dwTimeout, BOOL fAlertable) {
    DWORD result = WaitForMultipleObjectsEx(cEvents, lphEvents, fWaitAll, dwTimeout, fAlertable);
    if (result == WAIT_FAILED) {
        WSASetLastError(GetLastError() == DWORD(ERROR_INVALID_HANDLE) ? WSA_INVALID_HANDLE
                                                                      : WSA_INVALID_PARAMETER);
    }
    return result;
}

int WPUCompleteOverlappedRequest(SOCKET s, WSAOVERLAPPED* lpOverlapped, DWORD dwError,
                                 DWORD cbTransferred, int* lpErrno) {
    (void)s;
    if (!lpOverlapped) {
        *lpErrno = WSAEFAULT;
        return SOCKET_ERROR;
    }
    platform::CompleteOverlapped(lpOverlapped, dwError, cbTransferred, lpOverlapped->OffsetHigh);
    return 0;
}
}
