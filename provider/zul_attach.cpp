// Attach and detach of the provider library to a process, and the
// process-wide state. A forked child is a new process to the provider: it
// forgets the parent's start-up and sockets and gets an informant (and so
// channel connections) of its own.

#include "provider/async_window.h"
#include "provider/informant.h"
#include "provider/lasting.h"
#include "provider/lsp_log.h"
#include "provider/overlapped_operation.h"
#include "provider/provider_settings.h"
#include "provider/zul_settings.h"
#include "provider/zul_state.h"

#include <pthread.h>

namespace zul {
namespace {

ZulState gState;
Lasting<std::recursive_mutex> gCriticalSection;
Lasting<std::mutex> gLifecycle;
thread_local PROVIDER* tProvider = nullptr;

void LogAttach(const char* message) {
    const ProviderSettings& settings = ProcessSettings();
    WriteLog(settings.dir, settings.debugLevel, "DLLMain", message, 2);
}

// The parent's records, sockets, locks and informant belong to the parent:
// they are left as they are (nothing of them is freed or closed here). The
// child may only have this thread, with locks held by the parent's others: it
// takes fresh locks without allocating, and makes its informant at its first
// start-up.
void ChildAfterFork() {
    gCriticalSection.Renew();
    gLifecycle.Renew();
    gState = ZulState{};
    ForgetOverlappedManager();
    ForgetWorkerWindow();
}

__attribute__((constructor)) void Attach() {
    CreateInformant();
    ::pthread_atfork(nullptr, nullptr, ChildAfterFork);
}

// At the end of the process the kernel closes the sockets that are still open,
// gracefully; the provider does not tear them down itself.
__attribute__((destructor)) void Detach() {
    gState.gDetached = true;
}

} // namespace

void CreateInformant() {
    if (!GetSettings()) {
        LogAttach("Loading settings from registry failed");
    }
    LogAttach("Getting ready to setup informant");
    const ProviderSettings& settings = ProcessSettings();
    gState.informant = new CInformant(settings.dir, settings.debugLevel);
}

ZulState& State() {
    return gState;
}
std::recursive_mutex& CriticalSection() {
    return *gCriticalSection;
}
std::mutex& Lifecycle() {
    return *gLifecycle;
}
PROVIDER*& ThreadProvider() {
    return tProvider;
}
CInformant& Informant() {
    return *gState.informant;
}

} // namespace zul
