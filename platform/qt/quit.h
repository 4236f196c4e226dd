#pragma once
// The quit message of the user-interface thread. Posting it ends the message
// loop whatever windows exist: open dialogs and message boxes end as
// cancelled (so a worker waiting for one goes on), and none opens afterwards.
// No window is asked to close, so no window can refuse or undo the quit.

namespace platform {

// Queues the end of the message loop with the given exit code; callable from any thread.
void PostQuitMessage(int exitCode);
// True once a quit message has been posted.
bool QuitPosted();

} // namespace platform
