// A program file as a filtered account could bring one: the bytes, as a file,
// read for how much the socket host would see of the program (ELF headers and
// notes, a script's "#!" line, an AppImage's mark).

#include "platform/sockhost/program_file.h"

#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool noted = (sockhost::NoteLoader(), true);
    (void)noted;
    int fd = ::memfd_create("program", MFD_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    if (::write(fd, data, size) == ssize_t(size)) {
        char name[] = "program";
        char* argv[] = {name, nullptr};
        sockhost::SightOf({fd, "", AT_EMPTY_PATH, argv, nullptr});
    }
    ::close(fd);
    return 0;
}
