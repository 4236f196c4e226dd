// Starting a queued operation on the lower provider, and completing it: the
// program's record, its completion routine (an APC to the program's thread) or
// its event, the byte counters, and the release of a context closed meanwhile.

#include "platform/overlapped_record.h"
#include "platform/sockhost/winsock_api.h"
#include "platform/win/event.h"
#include "platform/win/wait.h"
#include "provider/lsp_log.h"
#include "provider/overlapped_operation.h"
#include "provider/sock_info.h"
#include "provider/zul_state.h"

#include <atomic>
#include <memory>

namespace zul {
namespace {

// The extension functions report through an event: one that also queues the
// completion to the worker.
void CompletedThroughEvent(ULONG_PTR data) {
    auto* record = reinterpret_cast<OVERLAPPED_RECORD*>(data);
    HANDLE event = record->ProviderOverlapped.hEvent;
    DWORD bytes = 0;
    DWORD flags = 0;
    int error = 0;
    if (!record->Provider->NextProcTable.lpWSPGetOverlappedResult(
            record->ProviderSocket, &record->ProviderOverlapped, &bytes, FALSE, &flags, &error)) {
        DebugMessage("IntermediateCompletionRoutine: WSPGetOverlappedResult failed: %d", error);
    }
    record->ProviderOverlapped.hEvent = nullptr;
    CloseHandle(event);
    IntermediateCompletionRoutine(DWORD(error), bytes, &record->ProviderOverlapped, flags);
}

HANDLE CompletionEvent(OVERLAPPED_RECORD* record) {
    DWORD worker = DWORD(reinterpret_cast<std::uintptr_t>(WorkerThreadId().ThreadHandle));
    return static_cast<platform::win::WaitObject*>(
        new platform::win::ApcEvent(worker, CompletedThroughEvent, ULONG_PTR(record)));
}

// Runs an extension function of the lower provider; its failure is the socket
// layer's last error.
template <typename Function, typename... Args>
int RunExtension(void* slot, OVERLAPPED_RECORD* record, Args... args) {
    record->ProviderOverlapped.hEvent = CompletionEvent(record);
    if (reinterpret_cast<Function>(slot)(args...)) {
        return 0;
    }
    int error = WSAGetLastError();
    if (error != WSA_IO_PENDING) {
        CloseHandle(record->ProviderOverlapped.hEvent);
        record->ProviderOverlapped.hEvent = nullptr;
    }
    return error;
}

int Execute(OVERLAPPED_RECORD* record) {
    const WSPPROC_TABLE& next = record->Provider->NextProcTable;
    const EXT_WSPPROC_TABLE& ext = record->Provider->NextProcTableExt;
    WSAOVERLAPPED* own = &record->ProviderOverlapped;
    SOCKET s = record->ProviderSocket;
    WSATHREADID worker = WorkerThreadId();
    auto routine = IntermediateCompletionRoutine;
    int error = 0;
    int result = 0;
    TRANSFER_ARGS& t = record->TransferArgs;
    switch (record->Operation) {
    case LSP_OP_IOCTL: {
        IOCTL_ARGS& a = record->IoctlArgs;
        result = next.lpWSPIoctl(s, a.dwIoControlCode, a.lpvInBuffer, a.cbInBuffer, a.lpvOutBuffer,
                                 a.cbOutBuffer, &a.cbBytesReturned, own, routine, &worker, &error);
        break;
    }
    case LSP_OP_RECV:
        result = next.lpWSPRecv(s, t.lpBuffers, t.dwBufferCount, &t.dwNumberOfBytes, &t.dwFlags,
                                own, routine, &worker, &error);
        break;
    case LSP_OP_RECVFROM:
        result = next.lpWSPRecvFrom(s, t.lpBuffers, t.dwBufferCount, &t.dwNumberOfBytes, &t.dwFlags,
                                    t.lpFrom, t.lpFromLen, own, routine, &worker, &error);
        break;
    case LSP_OP_SEND:
        result = next.lpWSPSend(s, t.lpBuffers, t.dwBufferCount, &t.dwNumberOfBytes, t.dwFlags, own,
                                routine, &worker, &error);
        break;
    case LSP_OP_SENDTO:
        result = next.lpWSPSendTo(s, t.lpBuffers, t.dwBufferCount, &t.dwNumberOfBytes, t.dwFlags,
                                  reinterpret_cast<sockaddr*>(&t.To), t.iToLen, own, routine,
                                  &worker, &error);
        break;
    case LSP_OP_TRANSMITFILE: {
        TRANSMITFILE_ARGS& a = record->TransmitFileArgs;
        error = RunExtension<LPFN_TRANSMITFILE>(ext.lpfnTransmitFile, record, s, a.hFile,
                                                a.nNumberOfBytesToWrite, a.nNumberOfBytesPerSend,
                                                own, a.lpTransmitBuffers, a.dwFlags);
        return error;
    }
    case LSP_OP_ACCEPTEX: {
        ACCEPTEX_ARGS& a = record->AcceptExArgs;
        return RunExtension<LPFN_ACCEPTEX>(ext.lpfnAcceptEx, record, s, a.sProviderAcceptSocket,
                                           a.lpOutputBuffer, a.dwReceiveDataLength,
                                           a.dwLocalAddressLength, a.dwRemoteAddressLength,
                                           &a.dwBytesReceived, own);
    }
    case LSP_OP_CONNECTEX: {
        CONNECTEX_ARGS& a = record->ConnectExArgs;
        return RunExtension<LPFN_CONNECTEX>(
            ext.lpfnConnectEx, record, s, reinterpret_cast<const sockaddr*>(&a.name), a.namelen,
            a.lpSendBuffer, a.dwSendDataLength, &a.dwBytesSent, own);
    }
    case LSP_OP_DISCONNECTEX: {
        DISCONNECTEX_ARGS& a = record->DisconnectExArgs;
        return RunExtension<LPFN_DISCONNECTEX>(ext.lpfnDisconnectEx, record, s, own, a.dwFlags,
                                               a.dwReserved);
    }
    case LSP_OP_TRANSMITPACKETS: {
        TRANSMITPACKETS_ARGS& a = record->TransmitPacketsArgs;
        return RunExtension<LPFN_TRANSMITPACKETS>(ext.lpfnTransmitPackets, record, s,
                                                  a.lpPacketArray, a.nElementCount, a.nSendSize,
                                                  own, a.dwFlags);
    }
    case LSP_OP_WSARECVMSG: {
        WSARECVMSG_ARGS& a = record->RecvMsgArgs;
        // Run on the worker: the lower function names this thread for its routine.
        result = reinterpret_cast<LPFN_WSARECVMSG>(ext.lpfnWSARecvMsg)(
            s, a.lpMsg, &a.dwNumberOfBytesRecvd, own, routine);
        return result == 0 ? 0 : WSAGetLastError();
    }
    default:
        DebugMessage("ExecuteOverlappedOperation: Unknown operation!");
        return WSAEINVAL;
    }
    return result == 0 ? 0 : error;
}

struct ProgramCompletion {
    LPWSAOVERLAPPED_COMPLETION_ROUTINE routine;
    DWORD error;
    DWORD bytes;
    WSAOVERLAPPED* overlapped;
    DWORD flags;
};

void CallUserApcProc(DWORD_PTR context) {
    std::unique_ptr<ProgramCompletion> call(reinterpret_cast<ProgramCompletion*>(context));
    call->routine(call->error, call->bytes, call->overlapped, call->flags);
}

void DiscardUserApc(DWORD_PTR context) {
    delete reinterpret_cast<ProgramCompletion*>(context);
}

// A routine queued to a thread that ends before it waits alertably again is
// never run: its call is freed when the thread ends.
struct DiscardDroppedRoutines {
    DiscardDroppedRoutines() { platform::win::SetApcDiscard(CallUserApcProc, DiscardUserApc); }
    ~DiscardDroppedRoutines() { platform::win::SetApcDiscard(CallUserApcProc, nullptr); }
} gDiscardDroppedRoutines;

void Count(OVERLAPPED_RECORD* record, DWORD bytes, bool succeeded) {
    SOCK_INFO* context = record->SockInfo;
    std::lock_guard lock(context->SockCritSec);
    switch (record->Operation) {
    case LSP_OP_RECV:
    case LSP_OP_RECVFROM:
        context->BytesRecv += succeeded ? bytes : 0;
        break;
    case LSP_OP_SEND:
    case LSP_OP_SENDTO:
        context->BytesSent += succeeded ? bytes : 0;
        break;
    case LSP_OP_TRANSMITFILE:
        context->BytesSent += succeeded ? bytes : 0;
        break;
    default:
        break;
    }
}

void CountAccepted(OVERLAPPED_RECORD* record, DWORD bytes) {
    int error = 0;
    SOCK_INFO* accepted = FindAndLockSocketContext(record->AcceptExArgs.sAcceptSocket, &error);
    if (!accepted) {
        DebugMessage("IntermediateCompletionRoutine: WPUQuerySocketHandleContext failed (accept "
                     "socket)");
        return;
    }
    {
        std::lock_guard lock(accepted->SockCritSec);
        accepted->BytesRecv += bytes;
    }
    UnlockSocketContext(accepted, &error);
}

// Tells the program: its routine as an APC to its thread, or its record's event.
void CompleteForProgram(OVERLAPPED_RECORD* record, DWORD error, DWORD bytes, DWORD flags) {
    WSAOVERLAPPED* program = record->lpCallerOverlapped;
    if (record->lpCallerCompletionRoutine) {
        platform::StoreOverlappedResult(program, error, bytes, flags);
        auto* call =
            new ProgramCompletion{record->lpCallerCompletionRoutine, error, bytes, program, flags};
        int failed = 0;
        if (State().MainUpcallTable.lpWPUQueueApc(&record->CallerThreadId, CallUserApcProc,
                                                  DWORD_PTR(call), &failed) != 0) {
            DebugMessage("IntermediateCompletionRoutine: WPUQueueApc() failed: %d", failed);
            delete call;
        }
        return;
    }
    // The state word is left for the socket layer, which sets it with the event.
    program->InternalHigh = bytes;
    program->Offset = error;
    program->OffsetHigh = flags;
    int failed = 0;
    if (WPUCompleteOverlappedRequest(record->CallerSocket, program, error, bytes, &failed) != 0) {
        DebugMessage("WPUCompleteOverlappedRequest failed: %d", failed);
    }
}

} // namespace

// The context's start lock is held while the operation starts, so a close
// cannot slip in between: an operation on a socket closed meanwhile is aborted,
// never started on a number the system may have given to another socket.
int ExecuteOverlappedOperation(OVERLAPPED_RECORD* record, bool atOnce) {
    int error = WSA_OPERATION_ABORTED;
    {
        std::lock_guard starting(record->SockInfo->StartCritSec);
        if (record->SockInfo->ProviderSocket != INVALID_SOCKET) {
            error = Execute(record);
        }
    }
    if (error == 0 || error == WSA_IO_PENDING) {
        return atOnce ? 0 : WSA_IO_PENDING;
    }
    CheckForContextClenaup(record);
    CompleteForProgram(record, DWORD(error), 0, 0);
    FreeOverlappedStructure(record);
    return error;
}

void IntermediateCompletionRoutine(DWORD dwError, DWORD cbTransferred, WSAOVERLAPPED* lpOverlapped,
                                   DWORD dwFlags) {
    if (!lpOverlapped) {
        DebugMessage("IntermediateCompletionRoutine: lpOverlapped == NULL!");
        return;
    }
    auto* record = reinterpret_cast<OVERLAPPED_RECORD*>(lpOverlapped);
    int error = 0;
    SOCK_INFO* context = FindAndLockSocketContext(record->CallerSocket, &error);
    if (!context) {
        DebugMessage("IntermediateCompletionRoutine: WPUQuerySocketHandleContext failed: %d",
                     error);
        FreeOverlappedStructure(record);
        return;
    }
    Count(record, cbTransferred, dwError == 0);
    if (dwError == 0 && record->Operation == LSP_OP_ACCEPTEX) {
        CountAccepted(record, cbTransferred);
    }
    UnlockSocketContext(context, &error);
    // Retired before the program hears of it: a close that follows the
    // completion finds nothing outstanding.
    CheckForContextClenaup(record);
    CompleteForProgram(record, dwError, cbTransferred, dwFlags);
    FreeOverlappedStructure(record);
}

void CheckForContextClenaup(OVERLAPPED_RECORD* record) {
    int error = 0;
    SOCK_INFO* context = FindAndLockSocketContext(record->CallerSocket, &error);
    if (!context) {
        return;
    }
    {
        std::lock_guard lock(context->SockCritSec);
        --context->dwOutstanding;
    }
    // The last reference to a socket closed meanwhile releases it, under the
    // lock that finding a context takes.
    UnlockSocketContext(context, &error);
}

} // namespace zul
