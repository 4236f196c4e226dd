// A program whose connect is checked the way the provider checks it: it asks
// the filter service whether it may connect to the port on its command line
// and exits with 1 when refused, 0 when allowed.
//   usage: check_program DIR PORT
// DIR is the installation folder (the service's program file and the log).
#include "provider/program_check.h"
#include "provider/provider_settings.h"

#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    zul::ProviderSettings& settings = zul::ProcessSettings();
    settings.dir = argv[1];
    settings.debugLevel = 1;
    zul::CInformant informant(settings.dir, settings.debugLevel);
    return zul::IsProgramRefused(informant, std::atoi(argv[2])) ? 1 : 0;
}
