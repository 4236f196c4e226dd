#include "platform/msafd/io_engine.h"

#include "platform/msafd/base_internal.h"
#include "platform/overlapped_record.h"
#include "platform/win/wait.h"
#include "platform/winsock_ext.h"
#include "platform/wsa_errors.h"

#include <atomic>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <optional>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace msafd {
namespace {

using OpQueue = std::deque<std::unique_ptr<PendingOp>>;

enum class Phase { Idle, Connecting, Connected, Listening, Closed };

struct Notify {
    HWND window;
    UINT message;
    long events;
    long armed;
    Phase phase;
    bool stream;
};

struct SocketEntry {
    OpQueue reads;
    OpQueue writes;
    std::optional<Notify> notify;
    std::uint32_t interest = 0; // as registered with epoll; 0 = not registered
};

std::mutex gMutex;
std::unordered_map<SOCKET, SocketEntry> gSockets;
std::atomic<int> gNotifying{0}; // sockets with notifications: re-enabling is free without
int gEpoll = -1;
int gWake = -1;
pthread_t gThread;
bool gRunning = false;
bool gStopping = false;

struct RoutineCall {
    LPWSAOVERLAPPED_COMPLETION_ROUTINE routine;
    WSAOVERLAPPED* overlapped;
    Outcome outcome;
};

void RunRoutine(DWORD_PTR context) {
    std::unique_ptr<RoutineCall> call(reinterpret_cast<RoutineCall*>(context));
    call->routine(DWORD(call->outcome.error), call->outcome.bytes, call->overlapped,
                  call->outcome.flags);
}

void DiscardRoutine(DWORD_PTR context) {
    delete reinterpret_cast<RoutineCall*>(context);
}

// A routine queued to a thread that ends before it waits alertably again is
// never run: its call is freed when the thread ends.
struct DiscardDroppedRoutines {
    DiscardDroppedRoutines() { platform::win::SetApcDiscard(RunRoutine, DiscardRoutine); }
    ~DiscardDroppedRoutines() { platform::win::SetApcDiscard(RunRoutine, nullptr); }
} gDiscardDroppedRoutines;

void Deliver(const PendingOp& op, const Outcome& outcome) {
    DeliverCompletion(op.overlapped, op.routine, op.thread, outcome);
}

std::uint32_t InterestOf(const SocketEntry& entry) {
    std::uint32_t interest = 0;
    if (!entry.reads.empty()) {
        interest |= EPOLLIN;
    }
    if (!entry.writes.empty()) {
        interest |= EPOLLOUT;
    }
    if (!entry.notify) {
        return interest;
    }
    const Notify& n = *entry.notify;
    switch (n.phase) {
    case Phase::Listening:
        interest |= (n.armed & FD_ACCEPT_W) ? std::uint32_t(EPOLLIN) : 0u;
        break;
    case Phase::Connecting:
        interest |= EPOLLOUT;
        break;
    case Phase::Connected:
        interest |= (n.armed & (FD_READ_W | FD_CLOSE_W)) ? std::uint32_t(EPOLLIN | EPOLLRDHUP) : 0u;
        interest |= (n.armed & FD_OOB_W) ? std::uint32_t(EPOLLPRI) : 0u;
        interest |= (n.armed & FD_WRITE_W) ? std::uint32_t(EPOLLOUT) : 0u;
        break;
    default:
        break;
    }
    return interest;
}

// Registers what the socket now waits for; forgets a socket that waits for nothing.
void Update(SOCKET s) {
    auto found = gSockets.find(s);
    if (found == gSockets.end()) {
        return;
    }
    SocketEntry& entry = found->second;
    std::uint32_t interest = InterestOf(entry);
    if (interest != entry.interest) {
        epoll_event event{};
        event.events = interest;
        event.data.fd = int(s);
        int operation = !interest ? EPOLL_CTL_DEL : entry.interest ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
        ::epoll_ctl(gEpoll, operation, int(s), &event);
        entry.interest = interest;
    }
    if (entry.reads.empty() && entry.writes.empty() && !entry.notify) {
        gSockets.erase(found);
    }
}

void Enqueue(std::unique_ptr<PendingOp> op) {
    SOCKET s = op->socket;
    SocketEntry& entry = gSockets[s];
    (op->write ? entry.writes : entry.reads).push_back(std::move(op));
    Update(s);
}

// Runs a queue's operations in order until one must wait.
void RunQueue(SOCKET s, bool write) {
    for (;;) {
        auto found = gSockets.find(s);
        if (found == gSockets.end()) {
            return;
        }
        OpQueue& queue = write ? found->second.writes : found->second.reads;
        if (queue.empty()) {
            return;
        }
        PendingOp& op = *queue.front();
        Outcome outcome;
        if (op.Attempt(outcome)) {
            std::unique_ptr<PendingOp> done = std::move(queue.front());
            queue.pop_front();
            Deliver(*done, outcome);
        } else if (op.socket != s || op.write != write) {
            std::unique_ptr<PendingOp> moved = std::move(queue.front());
            queue.pop_front();
            Enqueue(std::move(moved));
        } else {
            return;
        }
    }
}

void Post(SOCKET s, Notify& n, long event, int error) {
    n.armed &= ~event;
    Upcalls().lpWPUPostMessage(n.window, n.message, WPARAM(s), WSAMAKESELECTREPLY(event, error));
}

int SocketError(SOCKET s) {
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(int(s), SOL_SOCKET, SO_ERROR, &error, &length);
    return error;
}

void ConnectedEvents(SOCKET s, Notify& n, std::uint32_t ready) {
    if ((ready & EPOLLPRI) && (n.armed & FD_OOB_W)) {
        Post(s, n, FD_OOB_W, 0);
    }
    if (ready & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
        char byte;
        ssize_t peeked = Libc().recv(int(s), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (peeked > 0 || (peeked == 0 && !n.stream)) {
            if (n.armed & FD_READ_W) {
                Post(s, n, FD_READ_W, 0);
            }
        } else if (peeked == 0 || errno != EAGAIN) {
            int error = peeked == 0 ? 0 : platform::WsaErrorFromErrno(errno);
            n.phase = Phase::Closed;
            if (n.armed & FD_CLOSE_W) {
                Post(s, n, FD_CLOSE_W, error);
            }
            return;
        }
    }
    if ((ready & EPOLLOUT) && (n.armed & FD_WRITE_W)) {
        Post(s, n, FD_WRITE_W, 0);
    }
}

void Notifications(SOCKET s, std::uint32_t ready) {
    auto found = gSockets.find(s);
    if (found == gSockets.end() || !found->second.notify) {
        return;
    }
    Notify& n = *found->second.notify;
    switch (n.phase) {
    case Phase::Listening:
        if ((ready & EPOLLIN) && (n.armed & FD_ACCEPT_W)) {
            Post(s, n, FD_ACCEPT_W, 0);
        }
        break;
    case Phase::Connecting:
        if (ready & (EPOLLOUT | EPOLLERR | EPOLLHUP)) {
            int error = SocketError(s);
            n.phase = error ? Phase::Idle : Phase::Connected;
            if (n.armed & FD_CONNECT_W) {
                Post(s, n, FD_CONNECT_W, error ? platform::WsaErrorFromErrno(error) : 0);
            }
        }
        break;
    case Phase::Connected:
        ConnectedEvents(s, n, ready);
        break;
    default:
        break;
    }
}

void* EngineThread(void*) {
    epoll_event events[64];
    for (;;) {
        int count = ::epoll_wait(gEpoll, events, 64, -1);
        std::lock_guard lock(gMutex);
        if (gStopping) {
            return nullptr;
        }
        for (int i = 0; i < count; ++i) {
            if (events[i].data.fd == gWake) {
                std::uint64_t drained;
                [[maybe_unused]] ssize_t n = Libc().read(gWake, &drained, sizeof drained);
                continue;
            }
            SOCKET s = SOCKET(events[i].data.fd);
            std::uint32_t ready = events[i].events;
            if (ready & (EPOLLIN | EPOLLHUP | EPOLLERR | EPOLLRDHUP)) {
                RunQueue(s, false);
            }
            if (ready & (EPOLLOUT | EPOLLHUP | EPOLLERR)) {
                RunQueue(s, true);
            }
            Notifications(s, ready);
            Update(s);
        }
    }
}

// Under gMutex.
bool EnsureRunning() {
    if (gRunning) {
        return true;
    }
    gEpoll = ::epoll_create1(EPOLL_CLOEXEC);
    gWake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.fd = gWake;
    if (gEpoll < 0 || gWake < 0 || ::epoll_ctl(gEpoll, EPOLL_CTL_ADD, gWake, &wake) != 0 ||
        ::pthread_create(&gThread, nullptr, EngineThread, nullptr) != 0) {
        if (gEpoll >= 0) {
            Libc().close(gEpoll);
        }
        if (gWake >= 0) {
            Libc().close(gWake);
        }
        gEpoll = gWake = -1;
        return false;
    }
    gRunning = true;
    return true;
}

std::vector<std::unique_ptr<PendingOp>> TakeOps(SocketEntry& entry) {
    std::vector<std::unique_ptr<PendingOp>> taken;
    for (OpQueue* queue : {&entry.reads, &entry.writes}) {
        for (auto& op : *queue) {
            taken.push_back(std::move(op));
        }
        queue->clear();
    }
    return taken;
}

void Abort(std::vector<std::unique_ptr<PendingOp>>& ops) {
    for (auto& op : ops) {
        Deliver(*op, Outcome{WSA_OPERATION_ABORTED, 0, 0});
    }
}

void Forget(SocketEntry& entry) {
    if (entry.notify) {
        --gNotifying;
    }
    entry.notify.reset();
}

// A forked child has no engine thread: it starts afresh, and the parent's
// operations are not its own. The lock is not taken before the fork (the
// socket host's lock, which is held while providers start, must come first):
// the child leaves the parent's table as it was, perhaps half changed by
// another thread, and takes a fresh lock and table.
struct ForkSafety {
    ForkSafety() {
        ::pthread_atfork(nullptr, nullptr, [] {
            if (gRunning) {
                Libc().close(gEpoll);
                Libc().close(gWake);
            }
            gEpoll = gWake = -1;
            gRunning = gStopping = false;
            new (&gMutex) std::mutex;
            new (&gSockets) std::unordered_map<SOCKET, SocketEntry>;
            gNotifying = 0;
        });
    }
} gForkSafety;

} // namespace

void DeliverCompletion(WSAOVERLAPPED* overlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE routine,
                       const WSATHREADID& thread, const Outcome& outcome) {
    if (!routine) {
        platform::CompleteOverlapped(overlapped, DWORD(outcome.error), outcome.bytes,
                                     outcome.flags);
        return;
    }
    platform::StoreOverlappedResult(overlapped, DWORD(outcome.error), outcome.bytes, outcome.flags);
    auto* call = new RoutineCall{routine, overlapped, outcome};
    WSATHREADID target = thread;
    int error = 0;
    if (Upcalls().lpWPUQueueApc(&target, RunRoutine, DWORD_PTR(call), &error) != 0) {
        delete call; // the issuing thread has ended
    }
}

int Submit(std::unique_ptr<PendingOp> op, Outcome* now) {
    std::lock_guard lock(gMutex);
    if (!EnsureRunning()) {
        return WSAENOBUFS;
    }
    auto found = gSockets.find(op->socket);
    bool queued = found != gSockets.end() &&
                  !(op->write ? found->second.writes : found->second.reads).empty();
    if (!queued) {
        Outcome outcome;
        if (op->Attempt(outcome)) {
            *now = outcome;
            if (outcome.error) {
                return outcome.error;
            }
            Deliver(*op, outcome);
            return 0;
        }
    }
    Enqueue(std::move(op));
    return WSA_IO_PENDING;
}

int CloseSocketAndAbort(SOCKET s) {
    std::vector<std::unique_ptr<PendingOp>> aborted;
    {
        std::lock_guard lock(gMutex);
        auto found = gSockets.find(s);
        if (found != gSockets.end()) {
            aborted = TakeOps(found->second);
            Forget(found->second);
            Update(s);
        }
    }
    if (CallsInProgress(s)) {
        // Close alone does not wake a thread blocked on the socket.
        Libc().shutdown(int(s), SHUT_RDWR);
    }
    int result = Libc().close(int(s));
    int error = errno;
    Abort(aborted);
    errno = error;
    return result;
}

void SelectNotifications(SOCKET s, HWND window, UINT message, long events) {
    int type = 0;
    int listening = 0;
    socklen_t length = sizeof type;
    ::getsockopt(int(s), SOL_SOCKET, SO_TYPE, &type, &length);
    length = sizeof listening;
    ::getsockopt(int(s), SOL_SOCKET, SO_ACCEPTCONN, &listening, &length);
    sockaddr_storage peer;
    length = sizeof peer;
    bool connected = ::getpeername(int(s), reinterpret_cast<sockaddr*>(&peer), &length) == 0;
    Phase phase = type != SOCK_STREAM ? Phase::Connected
                  : listening         ? Phase::Listening
                  : connected         ? Phase::Connected
                                      : Phase::Idle;
    std::lock_guard lock(gMutex);
    if (!EnsureRunning()) {
        return;
    }
    SocketEntry& entry = gSockets[s];
    Forget(entry);
    if (events) {
        entry.notify = Notify{window, message, events, events, phase, type == SOCK_STREAM};
        ++gNotifying;
    }
    Update(s);
}

namespace {

template <typename Change> void ChangeNotify(SOCKET s, Change change) {
    if (gNotifying.load(std::memory_order_relaxed) == 0) {
        return;
    }
    std::lock_guard lock(gMutex);
    auto found = gSockets.find(s);
    if (found == gSockets.end() || !found->second.notify) {
        return;
    }
    change(*found->second.notify);
    Update(s);
}

} // namespace

void Reenable(SOCKET s, long events) {
    ChangeNotify(s, [events](Notify& n) { n.armed |= events & n.events; });
}

void Connecting(SOCKET s) {
    ChangeNotify(s, [](Notify& n) {
        n.phase = Phase::Connecting;
        n.armed |= n.events & (FD_CONNECT_W | FD_WRITE_W | FD_READ_W | FD_CLOSE_W);
    });
}

void Listening(SOCKET s) {
    ChangeNotify(s, [](Notify& n) { n.phase = Phase::Listening; });
}

void InheritNotifications(SOCKET listening, SOCKET accepted) {
    if (gNotifying.load(std::memory_order_relaxed) == 0) {
        return;
    }
    std::lock_guard lock(gMutex);
    auto found = gSockets.find(listening);
    if (found == gSockets.end() || !found->second.notify) {
        return;
    }
    Notify inherited = *found->second.notify;
    inherited.armed = inherited.events;
    inherited.phase = Phase::Connected;
    int flags = ::fcntl(int(accepted), F_GETFL);
    ::fcntl(int(accepted), F_SETFL, flags | O_NONBLOCK);
    SocketEntry& entry = gSockets[accepted];
    Forget(entry);
    entry.notify = inherited;
    ++gNotifying;
    Update(accepted);
}

void StopEngine() {
    std::vector<std::unique_ptr<PendingOp>> aborted;
    {
        std::lock_guard lock(gMutex);
        if (!gRunning) {
            return;
        }
        gStopping = true;
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = Libc().write(gWake, &one, sizeof one);
    }
    ::pthread_join(gThread, nullptr);
    std::lock_guard lock(gMutex);
    for (auto& [s, entry] : gSockets) {
        for (auto& op : TakeOps(entry)) {
            aborted.push_back(std::move(op));
        }
    }
    gSockets.clear();
    gNotifying = 0;
    Libc().close(gEpoll);
    Libc().close(gWake);
    gEpoll = gWake = -1;
    gRunning = gStopping = false;
    Abort(aborted);
}

} // namespace msafd
