#pragma once
// Reaching the user-interface thread from a worker thread. Widgets, the tray
// and timers belong to that thread; a worker posts work to it, or runs short
// work there and waits. Without an application object work runs at once on
// the calling thread.

#include <functional>

namespace platform {

bool OnGuiThread();
// Queues fn to run on the user-interface thread and returns at once.
void PostToGuiThread(std::function<void()> fn);
// Runs fn at once on the user-interface thread; from another thread, queues it
// there and returns at once.
void RunOrPostToGuiThread(std::function<void()> fn);
// Runs fn on the user-interface thread and waits for it (at once when called
// there). fn must not run an event loop of its own.
void RunOnGuiThread(const std::function<void()>& fn);
// On the user-interface thread: dispatches events until done() is true. Any
// thread that changes what done() reads calls WakeGuiThread afterwards.
void DispatchUntil(const std::function<bool()>& done);
void WakeGuiThread();
// On the user-interface thread: runs fn on a helper thread and dispatches
// events until it has ended, so a slow call (a remote exchange) holds up no
// other event. Helper threads are kept for later calls. Without an
// application object fn runs at once on the calling thread.
void RunAsideWhileDispatching(const std::function<void()>& fn);

} // namespace platform
