#pragma once
// The real service in a fresh installation, with the family's stand-ins and
// the remembered member logged in: what the benchmarks measure against.

#include "tests/support/family_servers.h"
#include "tests/support/kovari_process.h"

#include <cstdio>
#include <optional>

namespace qmtest {

class FamilyService {
  public:
    // The installation's settings, with the service's log at `debugLevel`
    // (negative: no user level); this process points at the installation.
    explicit FamilyService(int debugLevel) { installation_.WriteSettings(debugLevel); }

    // Starts the stand-ins and the service and logs the member in; false, with
    // a line on standard error, when any of that fails.
    bool Start() {
        family_.emplace(installation_.RegistryDir());
        service_.emplace(installation_);
        if (!family_->Ready() || !service_->WaitUntilListening()) {
            std::fprintf(stderr, "the services did not start (%s)\n", BuiltFile("KOVARI").c_str());
            return false;
        }
        if (!LogInRememberedMember()) {
            std::fprintf(stderr, "the remembered member was not logged in\n");
            return false;
        }
        return true;
    }

    const Installation& installation() const { return installation_; }

  private:
    Installation installation_;
    InstallationEnvironment environment_{installation_};
    std::optional<FamilyServers> family_;
    std::optional<KovariProcess> service_;
};

} // namespace qmtest
