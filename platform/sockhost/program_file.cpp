#include "platform/sockhost/program_file.h"

#include "platform/outside_user.h"
#include "platform/sockhost/libc_calls.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <iterator>
#include <link.h>
#include <string_view>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace sockhost {
namespace {

using Header = ElfW(Ehdr);
using Segment = ElfW(Phdr);
using Note = ElfW(Nhdr);

constexpr int kMaxDepth = 4;            // interpreters of interpreters, as the kernel allows
constexpr std::size_t kLineBytes = 256; // what the kernel reads of a script's "#!" line
constexpr std::size_t kMaxSegments = 64;
constexpr std::size_t kNoteBytes = 1024;
constexpr ElfW(Word) kGoBuildId = 4;
constexpr std::size_t kAppImageMark = 8; // "AI" and the image type, in the ELF padding

// The class, byte order and machine of the host itself, and the loader's file.
struct Native {
    bool known = false;
    unsigned char elfClass = 0;
    unsigned char data = 0;
    ElfW(Half) machine = 0;
    bool loaderKnown = false;
    dev_t loaderDevice = 0;
    ino_t loaderInode = 0;
};
Native& Own() {
    static Native native;
    return native;
}

void NoteLoaderFile(const char* path) {
    struct stat info {};
    if (::stat(path, &info) == 0) {
        Own().loaderDevice = info.st_dev;
        Own().loaderInode = info.st_ino;
        Own().loaderKnown = true;
    }
}

bool IsLoader(const struct stat& info) {
    const Native& own = Own();
    return own.loaderKnown && info.st_dev == own.loaderDevice && info.st_ino == own.loaderInode;
}

bool ReadAll(int fd, void* into, std::size_t size, off_t at) {
    return ::pread(fd, into, size, at) == ssize_t(size);
}

Sight SightOf(ProgramStart program, int depth);

// True when a note segment holds Go's build id.
bool HasGoNote(int fd, const Segment& segment) {
    alignas(Note) unsigned char notes[kNoteBytes];
    std::size_t size = std::min<std::size_t>(segment.p_filesz, sizeof notes);
    if (!ReadAll(fd, notes, size, off_t(segment.p_offset))) {
        return false;
    }
    std::size_t align = segment.p_align == 8 ? 8 : 4;
    auto padded = [align](std::size_t n) { return (n + align - 1) & ~(align - 1); };
    for (std::size_t at = 0; at + sizeof(Note) <= size;) {
        Note note;
        std::memcpy(&note, notes + at, sizeof note);
        std::size_t name = at + sizeof note;
        // Named "Go", with one or two zero bytes after it.
        if (note.n_type == kGoBuildId && (note.n_namesz == 3 || note.n_namesz == 4) &&
            name + note.n_namesz <= size && std::memcmp(notes + name, "Go", 3) == 0) {
            return true;
        }
        at = name + padded(note.n_namesz) + padded(note.n_descsz);
    }
    return false;
}

// A program for a loader other than the system's (musl's, say) reads no
// preload list. A loader that is not there fails the start anyway.
bool InterpreterIsLoader(int fd, const Segment& segment) {
    char path[PATH_MAX];
    if (segment.p_filesz == 0 || segment.p_filesz >= sizeof path ||
        !ReadAll(fd, path, segment.p_filesz, off_t(segment.p_offset))) {
        return false;
    }
    path[segment.p_filesz] = '\0';
    struct stat info {};
    return !Own().loaderKnown || ::stat(path, &info) != 0 || IsLoader(info);
}

// True when the environment asks the loader to list a program's libraries
// instead of starting it (as ldd does).
bool OnlyListing(char* const envp[]) {
    constexpr std::string_view kTrace = "LD_TRACE_LOADED_OBJECTS=";
    for (char* const* entry = envp ? envp : environ; entry && *entry; ++entry) {
        if (std::string_view(*entry).starts_with(kTrace)) {
            return true;
        }
    }
    return false;
}

// The loader run by hand (ld.so [OPTION]... PROGRAM [ARG]...) starts PROGRAM,
// unless an option or the environment asks it for information only. As a
// script's interpreter (no argv) it would start whatever the script's line
// names: not seen.
Sight LoadersProgramSight(const ProgramStart& loader, int depth) {
    char* const* argv = loader.argv;
    static constexpr const char* kWithValue[] = {"--library-path",
                                                 "--glibc-hwcaps-prepend",
                                                 "--glibc-hwcaps-mask",
                                                 "--inhibit-rpath",
                                                 "--audit",
                                                 "--preload",
                                                 "--argv0"};
    if (!argv || !argv[0]) {
        return Sight::Unseen;
    }
    if (OnlyListing(loader.envp)) {
        return Sight::Seen;
    }
    for (std::size_t i = 1; argv[i]; ++i) {
        const char* arg = argv[i];
        if (std::strncmp(arg, "--", 2) != 0) {
            return SightOf({AT_FDCWD, arg, 0, argv + i, loader.envp}, depth + 1);
        }
        bool withValue =
            std::any_of(std::begin(kWithValue), std::end(kWithValue),
                        [arg](const char* option) { return !std::strcmp(arg, option); });
        if (withValue ? !argv[++i] : std::strcmp(arg, "--inhibit-cache") != 0) {
            return Sight::Seen; // --list, --verify, --help, ...: nothing is started
        }
    }
    return Sight::Seen;
}

bool ElfSeen(int fd, const Header& header) {
    const Native& own = Own();
    if (header.e_ident[EI_CLASS] != own.elfClass || header.e_ident[EI_DATA] != own.data ||
        header.e_machine != own.machine || header.e_phentsize != sizeof(Segment) ||
        header.e_phnum > kMaxSegments) {
        return false;
    }
    Segment segments[kMaxSegments];
    if (!ReadAll(fd, segments, header.e_phnum * sizeof(Segment), off_t(header.e_phoff))) {
        return false;
    }
    const Segment* interpreter = nullptr;
    for (std::size_t i = 0; i < header.e_phnum; ++i) {
        if (segments[i].p_type == PT_INTERP) {
            interpreter = &segments[i];
        } else if (segments[i].p_type == PT_NOTE && HasGoNote(fd, segments[i])) {
            return false;
        }
    }
    return interpreter && InterpreterIsLoader(fd, *interpreter);
}

Sight ScriptSight(const char* line, std::size_t length, char* const envp[], int depth) {
    char interpreter[kLineBytes];
    std::size_t at = 2;
    while (at < length && (line[at] == ' ' || line[at] == '\t')) {
        ++at;
    }
    std::size_t size = 0;
    while (at < length && !std::strchr(" \t\n", line[at]) && line[at] != '\0') {
        interpreter[size++] = line[at++];
    }
    interpreter[size] = '\0';
    return size == 0 ? Sight::Seen : SightOf({AT_FDCWD, interpreter, 0, nullptr, envp}, depth + 1);
}

Sight ContentSight(int fd, char* const envp[], int depth) {
    alignas(Header) char head[kLineBytes];
    ssize_t length = ::pread(fd, head, sizeof head, 0);
    if (length >= 2 && head[0] == '#' && head[1] == '!') {
        return ScriptSight(head, std::size_t(length), envp, depth);
    }
    if (length < ssize_t(sizeof(Header)) || std::memcmp(head, ELFMAG, SELFMAG) != 0) {
        return Sight::Seen; // another format: the kernel refuses it or a registered interpreter
                            // runs it
    }
    if (head[kAppImageMark] == 'A' && head[kAppImageMark + 1] == 'I' &&
        (head[kAppImageMark + 2] == 1 || head[kAppImageMark + 2] == 2)) {
        return Sight::Mounting;
    }
    Header header;
    std::memcpy(&header, head, sizeof header);
    return ElfSeen(fd, header) ? Sight::Seen : Sight::Unseen;
}

// A program the computer's administrator installed: owned by root, writable
// by nobody else, on a file system that honours set-user-id programs (the
// desktop mounts removable media without), judged in the initial user
// namespace (in another, the owners shown are the namespace's).
bool IsTheComputers(int fd, const struct stat& info) {
    struct statvfs volume {};
    return info.st_uid == 0 && !(info.st_mode & (S_IWGRP | S_IWOTH)) &&
           ::fstatvfs(fd, &volume) == 0 && !(volume.f_flag & ST_NOSUID) &&
           platform::InInitialUserNamespace();
}

// "/proc/self/fd/N", which opens the file of a descriptor whatever it was
// opened for (fexecve takes an O_PATH one).
const char* DescriptorPath(int fd, char (&into)[32]) {
    constexpr std::string_view kFolder = "/proc/self/fd/";
    char* end = std::copy(kFolder.begin(), kFolder.end(), into);
    *std::to_chars(end, std::end(into) - 1, fd).ptr = '\0';
    return into;
}

Sight SightOf(ProgramStart program, int depth) {
    if (depth > kMaxDepth) {
        return Sight::Seen; // the kernel refuses deeper nesting itself
    }
    char named[32];
    if ((program.flags & AT_EMPTY_PATH) && program.path[0] == '\0') {
        program.path = DescriptorPath(program.dirfd, named);
        program.dirfd = AT_FDCWD;
        program.flags = 0;
    }
    bool noFollow = program.flags & AT_SYMLINK_NOFOLLOW;
    struct stat info {};
    int follow = noFollow ? AT_SYMLINK_NOFOLLOW : 0;
    if (::fstatat(program.dirfd, program.path, &info, follow) != 0 || !S_ISREG(info.st_mode) ||
        ::faccessat(program.dirfd, program.path, X_OK, AT_EACCESS | follow) != 0) {
        return Sight::Seen; // starting it fails
    }
    int fd = ::openat(program.dirfd, program.path,
                      O_RDONLY | O_CLOEXEC | O_NONBLOCK | (noFollow ? O_NOFOLLOW : 0));
    if (fd < 0) {
        return info.st_uid == 0 ? Sight::Seen : Sight::Unseen;
    }
    Sight sight = IsLoader(info)             ? LoadersProgramSight(program, depth)
                  : IsTheComputers(fd, info) ? Sight::Seen
                                             : ContentSight(fd, program.envp, depth);
    Libc().close(fd);
    return sight;
}

int NoteLoaderEntry(dl_phdr_info* info, std::size_t, void* base) {
    if (info->dlpi_addr != *static_cast<ElfW(Addr)*>(base) || !info->dlpi_name ||
        !info->dlpi_name[0]) {
        return 0;
    }
    NoteLoaderFile(info->dlpi_name);
    return 1;
}

} // namespace

void NoteLoader() {
    Dl_info self{};
    if (::dladdr(reinterpret_cast<void*>(&NoteLoader), &self) && self.dli_fbase) {
        const auto* header = static_cast<const Header*>(self.dli_fbase);
        Own().elfClass = header->e_ident[EI_CLASS];
        Own().data = header->e_ident[EI_DATA];
        Own().machine = header->e_machine;
        Own().known = true;
    }
    // Started as `ld.so PROGRAM`, the process's own file is the loader.
    ElfW(Addr) base = ::getauxval(AT_BASE);
    if (base == 0) {
        NoteLoaderFile("/proc/self/exe");
    } else {
        ::dl_iterate_phdr(NoteLoaderEntry, &base);
    }
}

Sight SightOf(const ProgramStart& program) {
    return Own().known ? SightOf(program, 0) : Sight::Seen;
}

const char* SearchPath(const char* file, char* buffer, std::size_t size) {
    if (std::strchr(file, '/')) {
        return file;
    }
    std::size_t nameLength = std::strlen(file);
    const char* folders = std::getenv("PATH");
    if (!folders) {
        folders = "/bin:/usr/bin";
    }
    for (const char* at = folders; nameLength > 0;) {
        const char* end = std::strchr(at, ':');
        if (!end) {
            end = at + std::strlen(at);
        }
        std::size_t length = std::size_t(end - at);
        const char* folder = length ? at : ".";
        length = length ? length : 1;
        if (length + 1 + nameLength < size) {
            std::memcpy(buffer, folder, length);
            buffer[length] = '/';
            std::memcpy(buffer + length + 1, file, nameLength + 1);
            struct stat info {};
            if (::stat(buffer, &info) == 0 && S_ISREG(info.st_mode) &&
                ::access(buffer, X_OK) == 0) {
                return buffer;
            }
        }
        if (!*end) {
            break;
        }
        at = end + 1;
    }
    return nullptr;
}

} // namespace sockhost
