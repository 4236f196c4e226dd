// The support staff's code generator: prints the codes that the setup library
// and the diagnostic tool accept, made with the same secrets.
//
//   support-codes install INSTALL_ID     the install authorisation code
//   support-codes removal FIRST SECOND   today's removal authorisation code
//   support-codes unlock                 today's diagnostic unlock code

#include "installer/auth_codes.h"

#include <cstdio>
#include <ctime>
#include <string>

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    std::string code;
    if (command == "install" && argc == 3) {
        code = qm::InstallCode(argv[2]);
    } else if (command == "removal" && argc == 4) {
        code = qm::RemovalCode(argv[2], argv[3], std::time(nullptr));
    } else if (command == "unlock" && argc == 2) {
        code = qm::UnlockCode(std::time(nullptr));
    } else {
        std::fprintf(stderr, "usage: support-codes install INSTALL_ID\n"
                             "       support-codes removal FIRST SECOND\n"
                             "       support-codes unlock\n");
        return 2;
    }
    std::printf("%s\n", code.c_str());
    return 0;
}
