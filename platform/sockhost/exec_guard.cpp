// A filtered program may not start another program that would run outside the
// filter. In a user namespace of its own, or as a set-user-id program that
// builds a sandbox, a program can change its root or mount other files over
// the preload list, the host's libraries, the machine settings or the login
// manager's session records; a program it then starts would load no host, or
// read settings or records that are not the computer's.
// So with the system-wide install active, a filtered process that may have
// made such a change compares what those paths are now with what they were
// when it started, and a start after a change fails with EACCES: every exec
// form, posix_spawn, system and popen. A program the host would not see (a
// static or Go program, say: program_file.h) starts only without network
// (offline_start.h; from posix_spawn through bash); where that cannot be, and
// for an AppImage, it is refused. Each refusal is told on standard error.
// Programs of root and of accounts that are not filtered start as before.
//
// Whether the process is filtered is decided as it starts, while the paths are
// still the computer's, except for root's own programs (never filtered, and
// system services such as the init process must not look up accounts as they
// load).

#include "platform/outside_user.h"
#include "platform/own_folder.h"
#include "platform/sockhost/libc_calls.h"
#include "platform/sockhost/network_links.h"
#include "platform/sockhost/offline_start.h"
#include "platform/sockhost/program_file.h"
#include "platform/system_install.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#define QM_BRIDGE extern "C" __attribute__((visibility("default")))

namespace sockhost {
namespace {

constexpr const char* kPreloadList = "/etc/ld.so.preload";

// What a path is: its file system and file, or nothing.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};
constexpr std::size_t kWatched = 7;
using View = std::array<FileId, kWatched>;

struct StartState {
    bool guarded = false; // the install was active and the process is filtered
    std::array<std::string, kWatched> paths;
    View view;
};

// Filled as the library loads (before any program code runs, and so before a
// child of vfork could be the first to touch it).
StartState& Start() {
    static StartState state;
    return state;
}

template <typename F> F Next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

// The C library's functions, bound as the library loads: a child of vfork
// must not bind them (dlsym may allocate).
struct StartCalls {
    decltype(&::execve) execve = Next<decltype(&::execve)>("execve");
    decltype(&::execv) execv = Next<decltype(&::execv)>("execv");
    decltype(&::execvp) execvp = Next<decltype(&::execvp)>("execvp");
    decltype(&::execvpe) execvpe = Next<decltype(&::execvpe)>("execvpe");
    decltype(&::fexecve) fexecve = Next<decltype(&::fexecve)>("fexecve");
    decltype(&::execveat) execveat = Next<decltype(&::execveat)>("execveat");
    decltype(&::posix_spawn) posix_spawn = Next<decltype(&::posix_spawn)>("posix_spawn");
    decltype(&::posix_spawnp) posix_spawnp = Next<decltype(&::posix_spawnp)>("posix_spawnp");
    decltype(&::system) system = Next<decltype(&::system)>("system");
    decltype(&::popen) popen = Next<decltype(&::popen)>("popen");
};
const StartCalls& Calls() {
    static const StartCalls calls;
    return calls;
}

FileId IdOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? FileId{info.st_dev, info.st_ino} : FileId{};
}

View Now() {
    View view;
    for (std::size_t i = 0; i < kWatched; ++i) {
        view[i] = IdOf(Start().paths[i]);
    }
    return view;
}

bool IsRootsOwn() {
    return ::getuid() == 0 && platform::InInitialUserNamespace();
}

__attribute__((constructor)) void NoteStart() {
    Calls();
    Start();
    const std::string hive = std::string(platform::kMachineSettingsDir) + "/HKEY_LOCAL_MACHINE.reg";
    struct stat info {};
    if (::stat(hive.c_str(), &info) != 0 || IsRootsOwn()) {
        return;
    }
    HostGuard guard;
    if (!platform::SystemWideInstall().filtered) {
        return;
    }
    std::string folder = platform::OwnFolder(); // the host's and the providers'
    StartState& start = Start();
    start.paths = {"/",
                   kPreloadList,
                   hive,
                   folder + "/libsockhost.so",
                   folder + "/libZUL.so",
                   folder + "/libmsafd.so",
                   platform::kSessionRecords};
    start.view = Now();
    NoteLoader();
    start.guarded = true;
}

enum class Verdict {
    Start,
    StartWithoutNetwork, // a program the host would not see (offline_start.h)
    RefuseOutside,       // after a change of the watched paths
    RefuseUnseen,        // a program the host would not see, that cannot run without network
};

// Says on standard error why a start is refused, as the person at the screen
// otherwise sees only "Permission denied".
void TellNotStarted(const ProgramStart* program, Verdict verdict) {
    const char* path = program && program->path[0] ? program->path : "the program";
    const char* why = verdict == Verdict::RefuseUnseen
                          ? "the family filter cannot see its connections\n"
                          : "it would run outside the family filter\n";
    const char* parts[] = {"quellmark: ", path, " is not started: ", why};
    iovec lines[4];
    for (std::size_t i = 0; i < 4; ++i) {
        lines[i] = {const_cast<char*>(parts[i]), std::strlen(parts[i])};
    }
    Libc().writev(STDERR_FILENO, lines, 4);
}

// How the program to start (null for the shell of system and popen) may
// start. Only a process that can have changed its root or mounts compares the
// paths: an unprivileged one in the initial user namespace cannot. A sandbox
// without network (a thumbnailer's, say) may start any program.
Verdict Judge(const ProgramStart* program) {
    const StartState& start = Start();
    if (!start.guarded) {
        return Verdict::Start;
    }
    bool changed = (::geteuid() == 0 || !platform::InInitialUserNamespace()) && Now() != start.view;
    Sight sight = program ? SightOf(*program) : Sight::Seen;
    if ((!changed && sight == Sight::Seen) || OnlyLoopbackLinks()) {
        return Verdict::Start;
    }
    if (sight == Sight::Seen) {
        return Verdict::RefuseOutside;
    }
    return !changed && sight == Sight::Unseen ? Verdict::StartWithoutNetwork
                                              : Verdict::RefuseUnseen;
}

// False with errno EACCES, and told.
bool Refuse(const ProgramStart* program, Verdict verdict) {
    TellNotStarted(program, verdict);
    errno = EACCES;
    return false;
}

// For the exec forms, whose process becomes the program: one the host would
// not see starts without network where the kernel allows it.
bool MayBecome(const ProgramStart* program) {
    Verdict verdict = Judge(program);
    if (verdict == Verdict::Start ||
        (verdict == Verdict::StartWithoutNetwork && LeaveTheNetwork())) {
        return true;
    }
    return Refuse(program,
                  verdict == Verdict::StartWithoutNetwork ? Verdict::RefuseUnseen : verdict);
}

bool MayBecomeFile(const char* path, char* const argv[], char* const envp[]) {
    ProgramStart program{AT_FDCWD, path, 0, argv, envp};
    return MayBecome(&program);
}

// The file execvp would start for `file`, judged (the view alone when there
// is none).
bool MayBecomeFound(const char* file, char* const argv[], char* const envp[]) {
    if (!Start().guarded) {
        return true;
    }
    char found[PATH_MAX];
    ProgramStart program{AT_FDCWD, SearchPath(file, found, sizeof found), 0, argv, envp};
    return MayBecome(program.path ? &program : nullptr);
}

// posix_spawn cannot change its child before the program starts, so a program
// that may only run without network is started by bash, whose own exec makes
// that start (exec -a keeps the program's name).
int SpawnWithoutNetwork(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                        const posix_spawnattr_t* attributes, char* const argv[],
                        char* const envp[]) {
    static char kBash[] = "bash", kCommand[] = "-c", kExec[] = "exec -a \"$0\" \"$@\"";
    std::vector<char*> shell = {kBash, kCommand, kExec,
                                argv && argv[0] ? argv[0] : const_cast<char*>(path),
                                const_cast<char*>(path)};
    for (std::size_t i = 1; argv && argv[0] && argv[i]; ++i) {
        shell.push_back(argv[i]);
    }
    shell.push_back(nullptr);
    return Calls().posix_spawn(pid, "/bin/bash", actions, attributes, shell.data(), envp);
}

// `file` is what the program named, `program` what it starts (null when
// posix_spawnp finds nothing).
int SpawnAsJudged(pid_t* pid, const char* file, const ProgramStart* program,
                  const posix_spawn_file_actions_t* actions, const posix_spawnattr_t* attributes,
                  char* const argv[], char* const envp[], bool search) {
    switch (Verdict verdict = Judge(program)) {
    case Verdict::Start:
        return search ? Calls().posix_spawnp(pid, file, actions, attributes, argv, envp)
                      : Calls().posix_spawn(pid, file, actions, attributes, argv, envp);
    case Verdict::StartWithoutNetwork:
        return SpawnWithoutNetwork(pid, program->path, actions, attributes, argv, envp);
    default:
        Refuse(program, verdict);
        return EACCES;
    }
}

int SpawnFound(pid_t* pid, const char* file, const posix_spawn_file_actions_t* actions,
               const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) {
    if (!Start().guarded) {
        return Calls().posix_spawnp(pid, file, actions, attributes, argv, envp);
    }
    char found[PATH_MAX];
    ProgramStart program{AT_FDCWD, SearchPath(file, found, sizeof found), 0, argv, envp};
    return SpawnAsJudged(pid, file, program.path ? &program : nullptr, actions, attributes, argv,
                         envp, true);
}

// The execl forms gather their arguments on the stack, as the C library does
// (a child of vfork must not allocate), up to this many.
constexpr std::size_t kListedMax = 4096;
using Listed = std::array<char*, kListedMax>;

// Copies the arguments up to and with the null pointer; false when they do
// not fit (errno E2BIG).
bool Gather(Listed& argv, const char* first, va_list* rest) {
    argv[0] = const_cast<char*>(first);
    for (std::size_t i = 0; argv[i]; ++i) {
        if (i + 1 == kListedMax) {
            errno = E2BIG;
            return false;
        }
        argv[i + 1] = va_arg(*rest, char*);
    }
    return true;
}

} // namespace
} // namespace sockhost

using sockhost::Calls;
using sockhost::MayBecome;
using sockhost::MayBecomeFile;
using sockhost::MayBecomeFound;
using sockhost::ProgramStart;

QM_BRIDGE int execve(const char* path, char* const argv[], char* const envp[]) {
    return MayBecomeFile(path, argv, envp) ? Calls().execve(path, argv, envp) : -1;
}

QM_BRIDGE int execv(const char* path, char* const argv[]) {
    return MayBecomeFile(path, argv, nullptr) ? Calls().execv(path, argv) : -1;
}

QM_BRIDGE int execvp(const char* file, char* const argv[]) {
    return MayBecomeFound(file, argv, nullptr) ? Calls().execvp(file, argv) : -1;
}

QM_BRIDGE int execvpe(const char* file, char* const argv[], char* const envp[]) {
    return MayBecomeFound(file, argv, envp) ? Calls().execvpe(file, argv, envp) : -1;
}

QM_BRIDGE int fexecve(int fd, char* const argv[], char* const envp[]) {
    ProgramStart program{fd, "", AT_EMPTY_PATH, argv, envp};
    return MayBecome(&program) ? Calls().fexecve(fd, argv, envp) : -1;
}

QM_BRIDGE int execveat(int dirfd, const char* path, char* const argv[], char* const envp[],
                       int flags) {
    ProgramStart program{dirfd, path, flags, argv, envp};
    return MayBecome(&program) ? Calls().execveat(dirfd, path, argv, envp, flags) : -1;
}

QM_BRIDGE int execl(const char* path, const char* arg, ...) {
    sockhost::Listed argv;
    va_list rest;
    va_start(rest, arg);
    bool gathered = sockhost::Gather(argv, arg, &rest);
    va_end(rest);
    return gathered ? execv(path, argv.data()) : -1;
}

QM_BRIDGE int execlp(const char* file, const char* arg, ...) {
    sockhost::Listed argv;
    va_list rest;
    va_start(rest, arg);
    bool gathered = sockhost::Gather(argv, arg, &rest);
    va_end(rest);
    return gathered ? execvp(file, argv.data()) : -1;
}

QM_BRIDGE int execle(const char* path, const char* arg, ...) {
    sockhost::Listed argv;
    va_list rest;
    va_start(rest, arg);
    bool gathered = sockhost::Gather(argv, arg, &rest);
    char* const* envp = gathered ? va_arg(rest, char* const*) : nullptr;
    va_end(rest);
    return gathered ? execve(path, argv.data(), envp) : -1;
}

QM_BRIDGE int posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                          const posix_spawnattr_t* attributes, char* const argv[],
                          char* const envp[]) {
    sockhost::ProgramStart program{AT_FDCWD, path, 0, argv, envp};
    return sockhost::SpawnAsJudged(pid, path, &program, actions, attributes, argv, envp, false);
}

QM_BRIDGE int posix_spawnp(pid_t* pid, const char* file, const posix_spawn_file_actions_t* actions,
                           const posix_spawnattr_t* attributes, char* const argv[],
                           char* const envp[]) {
    return sockhost::SpawnFound(pid, file, actions, attributes, argv, envp);
}

QM_BRIDGE int system(const char* command) {
    return MayBecome(nullptr) ? Calls().system(command) : -1;
}

QM_BRIDGE FILE* popen(const char* command, const char* mode) {
    return MayBecome(nullptr) ? Calls().popen(command, mode) : nullptr;
}
