#pragma once
// Starting a program the filter cannot see, without network.

namespace sockhost {

// Moves this process, about to become a program the socket host would not
// see, into a user namespace of its own (the same user and group mapped
// through) with a network namespace that has nothing but loopback (brought
// up): the program then runs as before but reaches no other computer, so it
// cannot go round the filter. False when the kernel refuses (user namespaces
// switched off, or a process with more than one thread). System calls only,
// so a child of vfork may call it.
bool LeaveTheNetwork();

} // namespace sockhost
