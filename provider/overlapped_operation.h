#pragma once
// One overlapped call of the program in flight through the provider: the
// provider's own overlapped header handed to the lower provider (first, so the
// lower provider's completion leads back to the record), the call's arguments
// and the program's record and completion routine.

#include "platform/winsock_ext.h"
#include "provider/zul_types.h"

namespace zul {

enum OperationKind : int {
    LSP_OP_IOCTL = 1,
    LSP_OP_RECV,
    LSP_OP_RECVFROM,
    LSP_OP_SEND,
    LSP_OP_SENDTO,
    LSP_OP_TRANSMITFILE,
    LSP_OP_ACCEPTEX,
    LSP_OP_CONNECTEX,
    LSP_OP_DISCONNECTEX,
    LSP_OP_TRANSMITPACKETS,
    LSP_OP_WSARECVMSG,
};

struct IOCTL_ARGS {
    DWORD dwIoControlCode;
    void* lpvInBuffer;
    DWORD cbInBuffer;
    void* lpvOutBuffer;
    DWORD cbOutBuffer;
    DWORD cbBytesReturned;
};

// Receives and sends, to and from an address or not. The buffer descriptors are
// the provider's copy; the send-to address is copied too (the program's may live
// on its stack).
struct TRANSFER_ARGS {
    WSABUF* lpBuffers;
    DWORD dwBufferCount;
    DWORD dwNumberOfBytes;
    DWORD dwFlags;
    sockaddr* lpFrom;
    int* lpFromLen;
    sockaddr_storage To;
    int iToLen;
};

struct TRANSMITFILE_ARGS {
    HANDLE hFile;
    DWORD nNumberOfBytesToWrite;
    DWORD nNumberOfBytesPerSend;
    TRANSMIT_FILE_BUFFERS* lpTransmitBuffers;
    DWORD dwFlags;
};

struct ACCEPTEX_ARGS {
    SOCKET sAcceptSocket;
    SOCKET sProviderAcceptSocket;
    void* lpOutputBuffer;
    DWORD dwReceiveDataLength;
    DWORD dwLocalAddressLength;
    DWORD dwRemoteAddressLength;
    DWORD dwBytesReceived;
};

struct CONNECTEX_ARGS {
    sockaddr_storage name;
    int namelen;
    void* lpSendBuffer;
    DWORD dwSendDataLength;
    DWORD dwBytesSent;
};

struct DISCONNECTEX_ARGS {
    DWORD dwFlags;
    DWORD dwReserved;
};

struct TRANSMITPACKETS_ARGS {
    TRANSMIT_PACKETS_ELEMENT* lpPacketArray;
    DWORD nElementCount;
    DWORD nSendSize;
    DWORD dwFlags;
};

struct WSARECVMSG_ARGS {
    WSAMSG* lpMsg;
    DWORD dwNumberOfBytesRecvd;
};

struct OVERLAPPED_RECORD {
    WSAOVERLAPPED ProviderOverlapped;
    PROVIDER* Provider;
    SOCK_INFO* SockInfo;
    SOCKET CallerSocket;
    SOCKET ProviderSocket;
    int Operation;
    union {
        IOCTL_ARGS IoctlArgs;
        TRANSFER_ARGS TransferArgs;
        TRANSMITFILE_ARGS TransmitFileArgs;
        ACCEPTEX_ARGS AcceptExArgs;
        CONNECTEX_ARGS ConnectExArgs;
        DISCONNECTEX_ARGS DisconnectExArgs;
        TRANSMITPACKETS_ARGS TransmitPacketsArgs;
        WSARECVMSG_ARGS RecvMsgArgs;
    };
    WSATHREADID CallerThreadId;
    WSAOVERLAPPED* lpCallerOverlapped;
    LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCallerCompletionRoutine;
    OVERLAPPED_RECORD* next;
};

// Start-up and clean-up: 0, WSAENOBUFS or WSAEPROVIDERFAILEDINIT.
int InitOverlappedManager();
void StopOverlappedManager();
// A forked child has no worker: it forgets the parent's manager.
void ForgetOverlappedManager();

// The worker thread, to which the lower provider's completions go.
const WSATHREADID& WorkerThreadId();

// A cleared record counted as outstanding on the context, or null.
OVERLAPPED_RECORD* GetOverlappedStructure(SOCK_INFO* context);
void FreeOverlappedStructure(OVERLAPPED_RECORD* record);
// Records taken from the pool and not yet released.
std::size_t OutstandingOverlappedRecords();

int QueueOverlappedOperation(OVERLAPPED_RECORD* record, SOCK_INFO* context);
int ExecuteOverlappedOperation(OVERLAPPED_RECORD* record, bool atOnce);
void IntermediateCompletionRoutine(DWORD dwError, DWORD cbTransferred, WSAOVERLAPPED* lpOverlapped,
                                   DWORD dwFlags);
void CheckForContextClenaup(OVERLAPPED_RECORD* record);

// The program's buffer descriptors copied for a queued operation; null when
// memory is exhausted.
WSABUF* CopyBuffer(const WSABUF* buffers, DWORD count);
void FreeBuffer(WSABUF* buffers);

// Takes a record and fills what every kind shares; null when none can be had.
OVERLAPPED_RECORD* PrepareOverlapped(SOCK_INFO* context, int kind, WSAOVERLAPPED* lpOverlapped,
                                     LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine,
                                     WSATHREADID* lpThreadId, const char* noRecord, int* error);
// Undoes PrepareOverlapped when the operation is not queued after all.
void AbandonOverlapped(OVERLAPPED_RECORD* record);

// An overlapped call of the program: takes a record (noRecord is logged when
// none can be had), resets the program's event, lets fill set the kind's
// arguments (fill returns 0 or the error that stops the call) and queues the
// operation. WSA_IO_PENDING when it runs on, else the error.
template <typename Fill>
int StartOverlappedCall(SOCK_INFO* context, int kind, WSAOVERLAPPED* lpOverlapped,
                        LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine,
                        WSATHREADID* lpThreadId, const char* noRecord, Fill fill) {
    int error = 0;
    OVERLAPPED_RECORD* record = PrepareOverlapped(context, kind, lpOverlapped, lpCompletionRoutine,
                                                  lpThreadId, noRecord, &error);
    if (!record) {
        return error;
    }
    if (int failed = fill(*record); failed != 0) {
        AbandonOverlapped(record);
        return failed;
    }
    return QueueOverlappedOperation(record, context);
}

} // namespace zul
