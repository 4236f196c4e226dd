// The overlapped manager in its queue mode (this platform offers no completion
// ports): a pool of records allocated in blocks of 100, a FIFO queue with a
// counting semaphore, and one worker thread that starts each operation on the
// lower provider and receives its completion as an APC in its alertable wait.

#include "platform/overlapped_record.h"
#include "platform/win/semaphore.h"
#include "platform/win/thread.h"
#include "provider/lasting.h"
#include "provider/lsp_log.h"
#include "provider/overlapped_operation.h"
#include "provider/sock_info.h"
#include "provider/zul_state.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace zul {
namespace {

constexpr int kBlock = 100;
constexpr DWORD kStopWait = 4000;

struct Manager {
    std::mutex lock;
    OVERLAPPED_RECORD* freeList = nullptr;
    std::vector<OVERLAPPED_RECORD*> blocks;
    std::size_t taken = 0;
    OVERLAPPED_RECORD* head = nullptr;
    OVERLAPPED_RECORD* tail = nullptr;
    HANDLE semaphore = nullptr;
    HANDLE worker = nullptr;
    bool stopping = false;
};

Lasting<Manager> gManager; // a forked child takes a fresh one

// Under the manager's lock.
bool GrowPool(Manager& manager) {
    auto* block = new (std::nothrow) OVERLAPPED_RECORD[kBlock];
    if (!block) {
        DebugMessage("out of memory!");
        return false;
    }
    manager.blocks.push_back(block);
    for (int i = 0; i < kBlock; ++i) {
        block[i].next = manager.freeList;
        manager.freeList = &block[i];
    }
    return true;
}

OVERLAPPED_RECORD* Dequeue(Manager& manager) {
    std::lock_guard lock(manager.lock);
    OVERLAPPED_RECORD* record = manager.head;
    if (record) {
        manager.head = record->next;
        if (!manager.head) {
            manager.tail = nullptr;
        }
        record->next = nullptr;
    }
    return record;
}

// The worker's own thread, named for the lower provider's completion routines.
WSATHREADID gWorkerThread{};

DWORD OverlappedManagerThread(void*) {
    int error = 0;
    State().MainUpcallTable.lpWPUOpenCurrentThread(&gWorkerThread, &error);
    Manager& manager = *gManager;
    for (;;) {
        DWORD result = WaitForSingleObjectEx(manager.semaphore, INFINITE, TRUE);
        if (result == WAIT_IO_COMPLETION) {
            continue;
        }
        if (result == WAIT_FAILED) {
            DebugMessage("OverlappedManagerThread: WaitForSingleObjectEx() failed: %d",
                         int(GetLastError()));
            continue;
        }
        OVERLAPPED_RECORD* record = Dequeue(manager);
        if (record) {
            ExecuteOverlappedOperation(record, false);
            continue;
        }
        std::lock_guard lock(manager.lock);
        if (manager.stopping) {
            return 0;
        }
    }
}

} // namespace

const WSATHREADID& WorkerThreadId() {
    return gWorkerThread;
}

int InitOverlappedManager() {
    Manager& manager = *gManager;
    std::lock_guard lock(manager.lock);
    manager.stopping = false;
    manager.head = manager.tail = nullptr;
    manager.semaphore = CreateSemaphoreA(nullptr, 0, 0x7fffffff, nullptr);
    return manager.semaphore ? 0 : WSAENOBUFS;
}

void StopOverlappedManager() {
    Manager& manager = *gManager;
    HANDLE worker = nullptr;
    {
        std::lock_guard lock(manager.lock);
        if (!manager.semaphore) {
            return;
        }
        if (!manager.worker) { // no operation was ever queued
            CloseHandle(manager.semaphore);
            manager.semaphore = nullptr;
            return;
        }
        manager.stopping = true;
        worker = manager.worker;
        manager.worker = nullptr;
        ReleaseSemaphore(manager.semaphore, 1, nullptr);
    }
    // The worker ends once the queue is empty; a busy worker is waited for at
    // most 4000 ms (and keeps its semaphore if it is still running).
    bool ended = WaitForSingleObject(worker, kStopWait) == WAIT_OBJECT_0;
    DebugMessage("Closing thread");
    CloseHandle(worker);
    std::lock_guard lock(manager.lock);
    if (ended) {
        CloseHandle(manager.semaphore);
        manager.semaphore = nullptr;
    }
}

void ForgetOverlappedManager() {
    gManager.Renew();
}

OVERLAPPED_RECORD* GetOverlappedStructure(SOCK_INFO* context) {
    if (!context) {
        DebugMessage("GetOverlappedStructure: SocketContext == NULL");
        return nullptr;
    }
    Manager& manager = *gManager;
    std::lock_guard contextLock(context->SockCritSec);
    std::lock_guard lock(manager.lock);
    if (!manager.freeList && !GrowPool(manager)) {
        return nullptr;
    }
    OVERLAPPED_RECORD* record = manager.freeList;
    manager.freeList = record->next;
    std::memset(static_cast<void*>(record), 0, sizeof *record);
    record->SockInfo = context;
    ++manager.taken;
    ++context->dwOutstanding;
    return record;
}

// The copied buffer descriptors go with the record, on every path.
void FreeOverlappedStructure(OVERLAPPED_RECORD* record) {
    switch (record->Operation) {
    case LSP_OP_RECV:
    case LSP_OP_RECVFROM:
    case LSP_OP_SEND:
    case LSP_OP_SENDTO:
        FreeBuffer(record->TransferArgs.lpBuffers);
        break;
    default:
        break;
    }
    Manager& manager = *gManager;
    std::lock_guard lock(manager.lock);
    std::memset(static_cast<void*>(record), 0, sizeof *record);
    record->next = manager.freeList;
    manager.freeList = record;
    --manager.taken;
}

std::size_t OutstandingOverlappedRecords() {
    std::lock_guard lock(gManager->lock);
    return gManager->taken;
}

// The worker starts with the first operation queued: most programs never
// make one, and a thread less makes their start-up cheaper.
int QueueOverlappedOperation(OVERLAPPED_RECORD* record, SOCK_INFO* context) {
    (void)context;
    Manager& manager = *gManager;
    std::unique_lock lock(manager.lock);
    if (!manager.worker && !manager.stopping) {
        manager.worker = CreateThread(nullptr, 0, OverlappedManagerThread, nullptr, 0, nullptr);
        if (!manager.worker) {
            lock.unlock();
            DebugMessage("QueueOverlappedOperation: CreateThread failed");
            AbandonOverlapped(record);
            return WSAENOBUFS;
        }
    }
    platform::MarkOverlappedPending(record->lpCallerOverlapped);
    if (manager.tail) {
        manager.tail->next = record;
    } else {
        manager.head = record;
    }
    manager.tail = record;
    ReleaseSemaphore(manager.semaphore, 1, nullptr);
    return WSA_IO_PENDING;
}

WSABUF* CopyBuffer(const WSABUF* buffers, DWORD count) {
    auto* copy = new (std::nothrow) WSABUF[count ? count : 1];
    if (!copy) {
        DebugMessage("CopyBuffer: HeapAlloc failed: %d\r\n", ENOMEM);
        return nullptr;
    }
    for (DWORD i = 0; i < count; ++i) {
        copy[i] = buffers[i];
    }
    return copy;
}

void FreeBuffer(WSABUF* buffers) {
    delete[] buffers;
}

OVERLAPPED_RECORD* PrepareOverlapped(SOCK_INFO* context, int kind, WSAOVERLAPPED* lpOverlapped,
                                     LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine,
                                     WSATHREADID* lpThreadId, const char* noRecord, int* error) {
    OVERLAPPED_RECORD* record = GetOverlappedStructure(context);
    if (!record) {
        DebugMessage("%s", noRecord);
        *error = WSAENOBUFS;
        return nullptr;
    }
    if (!lpCompletionRoutine && lpOverlapped->hEvent) {
        int ignored = 0;
        if (!State().MainUpcallTable.lpWPUResetEvent(lpOverlapped->hEvent, &ignored)) {
            AbandonOverlapped(record);
            *error = WSA_INVALID_HANDLE;
            return nullptr;
        }
    }
    record->Provider = context->Provider;
    record->SockInfo = context;
    record->CallerSocket = context->LayeredSocket;
    record->ProviderSocket = context->ProviderSocket;
    record->Operation = kind;
    record->lpCallerOverlapped = lpOverlapped;
    record->lpCallerCompletionRoutine = lpCompletionRoutine;
    record->ProviderOverlapped.Offset = lpOverlapped->Offset;
    record->ProviderOverlapped.OffsetHigh = lpOverlapped->OffsetHigh;
    if (lpCompletionRoutine) {
        int ignored = 0;
        if (lpThreadId) {
            record->CallerThreadId = *lpThreadId;
        } else {
            State().MainUpcallTable.lpWPUOpenCurrentThread(&record->CallerThreadId, &ignored);
        }
    }
    return record;
}

void AbandonOverlapped(OVERLAPPED_RECORD* record) {
    {
        std::lock_guard lock(record->SockInfo->SockCritSec);
        --record->SockInfo->dwOutstanding;
    }
    FreeOverlappedStructure(record);
}

} // namespace zul
