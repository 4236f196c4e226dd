// Sends one control message to the running filter service's window
// ("VRA_Class"), the way other programs talk to it:
//
//   send-control MESSAGE [WPARAM [LPARAM]]
//
// 1035 ends the service, 1036 is a heartbeat, 1124 starts a log-in, 689 with
// WPARAM 2 is a fast user switch. Exit status 1 when no service runs.

#include "platform/presence.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: send-control MESSAGE [WPARAM [LPARAM]]\n");
        return 2;
    }
    UINT message = static_cast<UINT>(std::strtoul(argv[1], nullptr, 0));
    WPARAM wParam = argc > 2 ? static_cast<WPARAM>(std::strtoull(argv[2], nullptr, 0)) : 0;
    LPARAM lParam = argc > 3 ? static_cast<LPARAM>(std::strtoll(argv[3], nullptr, 0)) : 0;
    if (!platform::SendControlMessage("VRA_Class", message, wParam, lParam)) {
        std::fprintf(stderr, "send-control: the service is not running\n");
        return 1;
    }
    return 0;
}
