#pragma once
// What the kernel says of the process's network namespace.

namespace sockhost {

// True when the namespace has no network link but loopback (a sandbox made
// without network): nothing started there can reach another computer by
// itself. False when there is another link or the kernel cannot be asked.
// Allocates nothing, so a child of vfork may call it.
bool OnlyLoopbackLinks();

} // namespace sockhost
