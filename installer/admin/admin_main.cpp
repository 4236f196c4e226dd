// quellmark-admin: turns the family filter on and off for chosen Linux
// accounts of this computer (run as root).

#include "installer/admin/activation.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kUsage[] =
    "usage: quellmark-admin activate --install-id ID --code CODE\n"
    "                                [--account-server HOST[:PORT]] [--account-server-ca FILE]\n"
    "                                [--block-page URL]\n"
    "                                [--title TEXT] ACCOUNT...\n"
    "       quellmark-admin deactivate FIRST SECOND CODE\n"
    "       quellmark-admin status\n"
    "       quellmark-admin --help\n"
    "\n"
    "activate    filters the named Linux accounts: writes the machine settings in\n"
    "            /etc/quellmark, installs the provider into the socket catalog with\n"
    "            the install code, makes each account's folder in /var/lib/quellmark,\n"
    "            adds the filter's autostart entry and puts the socket host into\n"
    "            /etc/ld.so.preload. Run again to add accounts.\n"
    "deactivate  takes all of it out again with today's removal code for FIRST and\n"
    "            SECOND; /etc/ld.so.preload is left exactly as it was before.\n"
    "status      tells whether the filter is active and for which accounts.\n"
    "Both activate and status name the Flatpak and Snap programs the filter cannot\n"
    "reach.\n"
    "\n"
    "Both changes need root, check everything first and change nothing when they\n"
    "refuse. Exit status: 0 done, 1 refused or failed, 2 wrong usage, 3 (status)\n"
    "not active.\n";

int Usage(FILE* to, int status) {
    std::fputs(kUsage, to);
    return status;
}

int ParseActivate(const std::vector<std::string>& args) {
    qmadmin::ActivateOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string* option = arg == "--install-id"          ? &options.installId
                              : arg == "--code"              ? &options.code
                              : arg == "--account-server"    ? &options.accountServer
                              : arg == "--account-server-ca" ? &options.accountServerCa
                              : arg == "--block-page"        ? &options.blockPage
                              : arg == "--title"             ? &options.title
                                                             : nullptr;
        if (option) {
            if (i + 1 >= args.size()) {
                return Usage(stderr, 2);
            }
            *option = args[++i];
        } else if (arg.starts_with("-")) {
            return Usage(stderr, 2);
        } else {
            options.accounts.push_back(arg);
        }
    }
    if (options.accounts.empty() || options.installId.empty() || options.code.empty()) {
        return Usage(stderr, 2);
    }
    return qmadmin::Activate(options);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return Usage(stderr, 2);
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        return Usage(stdout, 0);
    }
    // Root's command always works on the machine's own settings.
    ::unsetenv("QUELLMARK_REGISTRY_DIR");
    std::string command = args[0];
    args.erase(args.begin());
    if (command == "activate") {
        return ParseActivate(args);
    }
    if (command == "deactivate" && args.size() == 3) {
        return qmadmin::Deactivate({args[0], args[1], args[2]});
    }
    if (command == "status" && args.empty()) {
        return qmadmin::Status();
    }
    return Usage(stderr, 2);
}
