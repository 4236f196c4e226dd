#pragma once
// Whether a program file, once started, would be filtered: the socket host
// reaches a program only through the system's dynamic loader (which loads it
// from /etc/ld.so.preload), and sees only the connections a program makes
// through the C library. A statically linked program, one for another loader
// or machine, and a Go program (which makes its own system calls) are not
// seen. Programs the computer's administrator installed are taken as they
// are: only what an account brought itself is looked into. Allocates
// nothing, so a child of vfork may ask.

#include <cstddef>

namespace sockhost {

// Notes the loader that started this process; called as the host loads.
void NoteLoader();

// A program as a start names it.
struct ProgramStart {
    int dirfd;         // `path` is found as openat finds it from here
    const char* path;  // with AT_EMPTY_PATH in `flags`, "" names `dirfd` itself
    int flags;         // AT_EMPTY_PATH, AT_SYMLINK_NOFOLLOW
    char* const* argv; // may be null
    char* const* envp; // null: this process's environment
};

// How much of a program the host would see.
enum class Sight {
    Seen,     // it loads the host and connects through the C library, or root installed it
    Unseen,   // it would go round the host
    Mounting, // an AppImage: its static start-up program mounts the image through a
              // set-user-id helper, which a start without network cannot use, and then
              // starts what is inside unseen
};

// Seen when the program would load the host and connect through the C
// library, or was installed by root (owned by root, writable by nobody else,
// on a file system that allows set-user-id programs, seen from the initial
// user namespace). A script is judged by its interpreter, the loader run by
// hand by the program it is given (unless it only lists libraries). A file
// that cannot be read counts as seen when root owns it (a system program of
// mode 0711) and as unseen otherwise; a path that names no file, or one this
// process may not execute, counts as seen, as starting it fails anyway.
Sight SightOf(const ProgramStart& program);

// The file execvp would start for `file`: `file` itself when it holds a
// slash, else the first executable regular file of that name in PATH's
// folders, written into `buffer`; null when there is none.
const char* SearchPath(const char* file, char* buffer, std::size_t size);

} // namespace sockhost
