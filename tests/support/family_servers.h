#pragma once
// A small family served by the account server stand-in (over HTTPS with a test
// certificate) and the rating stand-in, with the service pointed at them and
// one member remembered, so the real service logs that member in without a
// window at the first site question that its local lists do not settle.
//
// Members: anna (password "secret", blocks category 2, remembered) and ben.
// anna's preferences come from the account server at her log-in: she allows
// *.allowed.test and denies *.denied.test. The rating service gives
// *.blocked.test category 2 and every other address no category.

#include "tests/support/server_process.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qmtest {

class FamilyServers {
  public:
    // Writes the stand-ins' files into `folder` and starts them. The registry
    // folder must already be the current one (QUELLMARK_REGISTRY_DIR).
    explicit FamilyServers(const std::string& folder);

    bool Ready() const { return account_->Ready() && rating_->Ready(); }

  private:
    TestCertificate certificate_;
    std::uint16_t ratingPort_;
    std::unique_ptr<ServerProcess> account_;
    std::unique_ptr<ServerProcess> rating_;
};

// Asks the service running on the channel port the question that logs the
// remembered member in and connects to the rating service, then checks that
// ratings and anna's lists decide: false (and a line on standard error) if not.
bool LogInRememberedMember();

} // namespace qmtest
