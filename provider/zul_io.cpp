// The calls that carry the filter: sends are inspected, receives redirected,
// connects checked; and the plain send-to and receive-from.

#include "platform/overlapped_record.h"
#include "platform/wsa_errors.h"
#include "provider/informant.h"
#include "provider/overlapped_operation.h"
#include "provider/program_check.h"
#include "provider/provider_settings.h"
#include "provider/send_start.h"
#include "provider/zul_forward.h"
#include "provider/zul_procs.h"

#include <algorithm>
#include <cstring>
#include <netinet/in.h>
#include <optional>

namespace zul {
namespace {

// Logs a buffer's bytes at level 3, building the text only when it is written.
void LogBuffer(const char* function, const WSABUF* buffers, DWORD count, DWORD length) {
    const ProviderSettings& settings = ProcessSettings();
    if (settings.debugLevel < 3 || !buffers || count == 0 || !buffers[0].buf) {
        return;
    }
    WriteLog(settings.dir, settings.debugLevel, function, std::string(buffers[0].buf, length), 3);
}

// Hands an overlapped send or receive to the overlapped manager with a copy of
// the buffer descriptors.
int Overlapped(SOCK_INFO* context, int kind, WSABUF* buffers, DWORD count, DWORD flags,
               WSAOVERLAPPED* lpOverlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE routine,
               WSATHREADID* thread, const char* noRecord, int* lpErrno,
               const sockaddr* to = nullptr, int toLength = 0, sockaddr* from = nullptr,
               int* fromLength = nullptr) {
    int error = StartOverlappedCall(
        context, kind, lpOverlapped, routine, thread, noRecord, [&](OVERLAPPED_RECORD& record) {
            if (to && (toLength <= 0 || std::size_t(toLength) > sizeof(sockaddr_storage))) {
                return WSAEFAULT;
            }
            TRANSFER_ARGS& args = record.TransferArgs;
            args.lpBuffers = CopyBuffer(buffers, count);
            if (!args.lpBuffers) {
                return WSAENOBUFS;
            }
            args.dwBufferCount = count;
            args.dwFlags = flags;
            args.lpFrom = from;
            args.lpFromLen = fromLength;
            if (to) {
                std::memcpy(&args.To, to, std::size_t(toLength));
                args.iToLen = toLength;
            }
            return 0;
        });
    *lpErrno = error;
    return error == 0 ? 0 : SOCKET_ERROR;
}

// A TCP fast open connects with its first send-to: the program is asked about
// the port as a connect's is.
bool IsFastOpenRefused(SOCK_INFO* context, DWORD flags, const sockaddr* to, int toLength,
                       int* lpErrno) {
    if (!to || (flags & MSG_FASTOPEN) == 0 ||
        context->Provider->NextProvider.iSocketType != SOCK_STREAM_W || context->PeerPort != 0) {
        return false;
    }
    return IsConnectRefused(Informant(), context, to, toLength, lpErrno);
}

// Once the socket has delivered the last redirect it owed, the stream ends:
// the rest of the blocked site's answer never reaches the program.
void FinishIfNothingOwed(SOCK_INFO* context) {
    if (Informant().MostWanted().Holds(context->LayeredSocket)) {
        return;
    }
    context->bReceiveFinished = true;
    int ignored = 0;
    context->Provider->NextProcTable.lpWSPShutdown(context->ProviderSocket, SD_RECEIVE, &ignored);
}

// Serves a redirect that a peek has shown; a receive that is no peek takes it.
int ServePending(SOCK_INFO* context, WSABUF* buffers, DWORD* received, bool peek) {
    std::unique_lock lock(context->SockCritSec);
    std::string& pending = context->PendingRedirect;
    DWORD length = DWORD(std::min<std::size_t>(pending.size(), buffers[0].len));
    std::memcpy(buffers[0].buf, pending.data(), length);
    *received = length;
    if (!peek) {
        pending.erase(0, length);
        context->bRedirectPending = !pending.empty();
        if (pending.empty()) {
            lock.unlock();
            FinishIfNothingOwed(context);
        }
    }
    return 0;
}

bool HasPending(SOCK_INFO* context) {
    if (!context->bRedirectPending.load(std::memory_order_acquire)) {
        return false;
    }
    std::lock_guard lock(context->SockCritSec);
    return !context->PendingRedirect.empty();
}

// The redirect of an owed socket replaces what was received; a peek keeps it
// for the receive that follows. While no socket owes one, only pop-ups may be
// disarmed, and no lock of the list is taken.
void Redirect(SOCK_INFO* context, SOCKET s, WSABUF* buffers, DWORD* received, bool peek) {
    CInformant& informant = Informant();
    if (informant.MostWanted().Empty()) {
        informant.CheckForPopups(s, buffers[0].buf, buffers[0].len);
        return;
    }
    auto hold = informant.MostWanted().Lock();
    bool owed = informant.MostWanted().Holds(s);
    informant.CheckForRedirect(s, buffers[0].buf, &buffers[0].len, received);
    hold.unlock();
    if (!owed) {
        return;
    }
    if (peek) {
        std::lock_guard lock(context->SockCritSec);
        context->PendingRedirect.assign(buffers[0].buf, *received);
        context->bRedirectPending = !context->PendingRedirect.empty();
        return;
    }
    FinishIfNothingOwed(context);
}

void CountReceived(SOCK_INFO* context, DWORD bytes) {
    context->BytesRecv.fetch_add(bytes, std::memory_order_relaxed);
}

void CountSent(SOCK_INFO* context, DWORD bytes) {
    context->BytesSent.fetch_add(bytes, std::memory_order_relaxed);
}

// A send whose bytes the provider holds back succeeds at once with all of
// them; an overlapped one completes at once through the completion path.
int CompleteHeldSend(SOCK_INFO* context, int kind, const WSABUF* buffers, DWORD count, DWORD* sent,
                     WSAOVERLAPPED* lpOverlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE routine,
                     WSATHREADID* thread, const char* noRecord, int* lpErrno) {
    DWORD total = DWORD(BuffersLength(buffers, count));
    if (sent) {
        *sent = total;
    }
    if (!lpOverlapped) {
        CountSent(context, total);
        return 0;
    }
    OVERLAPPED_RECORD* record =
        PrepareOverlapped(context, kind, lpOverlapped, routine, thread, noRecord, lpErrno);
    if (!record) {
        return SOCKET_ERROR;
    }
    platform::MarkOverlappedPending(lpOverlapped);
    IntermediateCompletionRoutine(0, total, &record->ProviderOverlapped, 0);
    return 0;
}

// The inspection of a send (and of a send-to on a stream socket, where the
// address is ignored): the call's result when it ends here, none when the
// bytes go on to the lower provider.
std::optional<int> Inspect(SOCK_INFO* context, SOCKET s, int kind, WSABUF* buffers, DWORD count,
                           DWORD* sent, WSAOVERLAPPED* lpOverlapped,
                           LPWSAOVERLAPPED_COMPLETION_ROUTINE routine, WSATHREADID* thread,
                           const char* noRecord, int* lpErrno) {
    switch (InspectSend(context, s, buffers, count, lpErrno)) {
    case SendStep::Refused:
        return SOCKET_ERROR;
    case SendStep::Held:
        return CompleteHeldSend(context, kind, buffers, count, sent, lpOverlapped, routine, thread,
                                noRecord, lpErrno);
    case SendStep::Forward:
        break;
    }
    return std::nullopt;
}

} // namespace

int WSPSend(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesSent,
            DWORD dwFlags, WSAOVERLAPPED* lpOverlapped,
            LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
            int* lpErrno) {
    return Forward(
        s, "WSPSend: WPUQuerySocketHandleContext() failed: %d", lpErrno,
        [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
            if (dwBufferCount > 0 && lpBuffers) {
                LogBuffer("WSPSend()->lpBuffers", lpBuffers, dwBufferCount, lpBuffers[0].len);
            }
            if (std::optional<int> done =
                    Inspect(context, s, LSP_OP_SEND, lpBuffers, dwBufferCount, lpNumberOfBytesSent,
                            lpOverlapped, lpCompletionRoutine, lpThreadId,
                            "WSPSend: GetOverlappedStructure() returned NULL", lpErrno)) {
                return *done;
            }
            if (IsDatagramRefused(context, nullptr, 0, lpBuffers, dwBufferCount, lpErrno)) {
                return SOCKET_ERROR;
            }
            if (lpOverlapped) {
                return Overlapped(context, LSP_OP_SEND, lpBuffers, dwBufferCount, dwFlags,
                                  lpOverlapped, lpCompletionRoutine, lpThreadId,
                                  "WSPSend: GetOverlappedStructure() returned NULL", lpErrno);
            }
            int result = next.lpWSPSend(context->ProviderSocket, lpBuffers, dwBufferCount,
                                        lpNumberOfBytesSent, dwFlags, nullptr, lpCompletionRoutine,
                                        lpThreadId, lpErrno);
            if (result == 0) {
                CountSent(context, *lpNumberOfBytesSent);
            }
            return result;
        });
}

int WSPRecv(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesRecvd,
            DWORD* lpFlags, WSAOVERLAPPED* lpOverlapped,
            LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
            int* lpErrno) {
    return Forward(
        s, "WSPRecv: WPUQuerySocketHandleContext() failed: %d", lpErrno,
        [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
            if (IsReset(context, lpErrno)) {
                return SOCKET_ERROR;
            }
            if (lpOverlapped) {
                return Overlapped(context, LSP_OP_RECV, lpBuffers, dwBufferCount,
                                  lpFlags ? *lpFlags : 0, lpOverlapped, lpCompletionRoutine,
                                  lpThreadId, "WSPRecv: GetOverlappedStructure() returned NULL",
                                  lpErrno);
            }
            bool peek = lpFlags && (*lpFlags & MSG_PEEK);
            if (dwBufferCount > 0 && lpBuffers && HasPending(context)) {
                return ServePending(context, lpBuffers, lpNumberOfBytesRecvd, peek);
            }
            if (context->bReceiveFinished) {
                *lpNumberOfBytesRecvd = 0;
                return 0;
            }
            int result = next.lpWSPRecv(context->ProviderSocket, lpBuffers, dwBufferCount,
                                        lpNumberOfBytesRecvd, lpFlags, nullptr, lpCompletionRoutine,
                                        lpThreadId, lpErrno);
            if (result != 0 || dwBufferCount == 0 || !lpBuffers) {
                return result;
            }
            LogBuffer("WSPRecv()->lpBuffers", lpBuffers, dwBufferCount, *lpNumberOfBytesRecvd);
            Redirect(context, s, lpBuffers, lpNumberOfBytesRecvd, peek);
            CountReceived(context, *lpNumberOfBytesRecvd);
            return result;
        });
}

int WSPSendTo(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesSent,
              DWORD dwFlags, const sockaddr* lpTo, int iTolen, WSAOVERLAPPED* lpOverlapped,
              LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
              int* lpErrno) {
    return Forward(
        s, "WSPSendTo: WPUQuerySocketHandleContext() failed: %d", lpErrno,
        [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
            if (IsFastOpenRefused(context, dwFlags, lpTo, iTolen, lpErrno)) {
                return SOCKET_ERROR;
            }
            if (std::optional<int> done =
                    Inspect(context, s, LSP_OP_SENDTO, lpBuffers, dwBufferCount,
                            lpNumberOfBytesSent, lpOverlapped, lpCompletionRoutine, lpThreadId,
                            "WSPSendto: GetOverlappedStructure() returned NULL", lpErrno)) {
                return *done;
            }
            if (IsDatagramRefused(context, lpTo, iTolen, lpBuffers, dwBufferCount, lpErrno)) {
                return SOCKET_ERROR;
            }
            if (lpOverlapped) {
                return Overlapped(context, LSP_OP_SENDTO, lpBuffers, dwBufferCount, dwFlags,
                                  lpOverlapped, lpCompletionRoutine, lpThreadId,
                                  "WSPSendto: GetOverlappedStructure() returned NULL", lpErrno,
                                  lpTo, iTolen);
            }
            int result = next.lpWSPSendTo(context->ProviderSocket, lpBuffers, dwBufferCount,
                                          lpNumberOfBytesSent, dwFlags, lpTo, iTolen, nullptr,
                                          lpCompletionRoutine, lpThreadId, lpErrno);
            if (result == 0) {
                CountSent(context, *lpNumberOfBytesSent);
            }
            return result;
        });
}

int WSPRecvFrom(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesRecvd,
                DWORD* lpFlags, sockaddr* lpFrom, int* lpFromlen, WSAOVERLAPPED* lpOverlapped,
                LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
                int* lpErrno) {
    return Forward(
        s, "WSPRecvFrom: WPUQuerySocketHandleContext() failed: %d", lpErrno,
        [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
            if (IsReset(context, lpErrno)) {
                return SOCKET_ERROR;
            }
            if (lpOverlapped) {
                return Overlapped(context, LSP_OP_RECVFROM, lpBuffers, dwBufferCount,
                                  lpFlags ? *lpFlags : 0, lpOverlapped, lpCompletionRoutine,
                                  lpThreadId, "WSPRecvFrom: GetOverlappedStructure() returned NULL",
                                  lpErrno, nullptr, 0, lpFrom, lpFromlen);
            }
            if (context->bReceiveFinished) {
                *lpNumberOfBytesRecvd = 0;
                return 0;
            }
            int result = next.lpWSPRecvFrom(context->ProviderSocket, lpBuffers, dwBufferCount,
                                            lpNumberOfBytesRecvd, lpFlags, lpFrom, lpFromlen,
                                            nullptr, lpCompletionRoutine, lpThreadId, lpErrno);
            if (result == 0) {
                CountReceived(context, *lpNumberOfBytesRecvd);
            }
            return result;
        });
}

int WSPConnect(SOCKET s, const sockaddr* name, int namelen, WSABUF* lpCallerData,
               WSABUF* lpCalleeData, QOS* lpSQOS, QOS* lpGQOS, int* lpErrno) {
    return Forward(s, "WSPConnect: WPUQuerySocketHandleContext() failed: %d", lpErrno,
                   [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
                       if (IsConnectRefused(Informant(), context, name, namelen, lpErrno)) {
                           return SOCKET_ERROR;
                       }
                       return next.lpWSPConnect(context->ProviderSocket, name, namelen,
                                                lpCallerData, lpCalleeData, lpSQOS, lpGQOS,
                                                lpErrno);
                   });
}

} // namespace zul
