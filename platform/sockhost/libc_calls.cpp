#include "platform/sockhost/libc_calls.h"

#include <atomic>
#include <dlfcn.h>
#include <mutex>

namespace sockhost {
namespace {

// initial-exec: no allocation on first access, so the guard works inside
// the dynamic loader's and the C library's own start-up.
__attribute__((tls_model("initial-exec"))) thread_local bool tInHost = false;

LibcCalls gLibc;
std::once_flag gBound;
// Set once every slot is bound: later calls read it instead of call_once,
// which stores thread-local state on every call.
std::atomic<bool> gAllBound{false};

template <typename F> void Bind(F& slot, const char* name) {
    slot = reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

void BindAll() {
    HostGuard guard;
    Bind(gLibc.socket, "socket");
    Bind(gLibc.connect, "connect");
    Bind(gLibc.send, "send");
    Bind(gLibc.sendto, "sendto");
    Bind(gLibc.sendmsg, "sendmsg");
    Bind(gLibc.sendmmsg, "sendmmsg");
    Bind(gLibc.recv, "recv");
    Bind(gLibc.recvfrom, "recvfrom");
    Bind(gLibc.recvmsg, "recvmsg");
    Bind(gLibc.read, "read");
    Bind(gLibc.write, "write");
    Bind(gLibc.readv, "readv");
    Bind(gLibc.writev, "writev");
    Bind(gLibc.accept, "accept");
    Bind(gLibc.accept4, "accept4");
    Bind(gLibc.shutdown, "shutdown");
    Bind(gLibc.close, "close");
    Bind(gLibc.close_range, "close_range");
    Bind(gLibc.dup2, "dup2");
    Bind(gLibc.dup3, "dup3");
    Bind(gLibc.recv_chk, "__recv_chk");
    Bind(gLibc.recvfrom_chk, "__recvfrom_chk");
    Bind(gLibc.read_chk, "__read_chk");
    Bind(gLibc.syscall, "syscall");
    gAllBound.store(true, std::memory_order_release);
}

// Bound as the library loads too, not only at first use: a first use can come
// from inside a sanitizer runtime that closes a file while printing a report,
// and dlsym's allocations there meet the runtime's allocator in the wrong state.
__attribute__((constructor)) void BindAtLoad() {
    std::call_once(gBound, BindAll);
}

} // namespace

const LibcCalls& Libc() {
    if (!gAllBound.load(std::memory_order_acquire)) {
        std::call_once(gBound, BindAll);
    }
    return gLibc;
}

bool InHost() {
    return tInHost;
}

HostGuard::HostGuard() : previous_(tInHost) {
    tInHost = true;
}
HostGuard::~HostGuard() {
    tInHost = previous_;
}

} // namespace sockhost
