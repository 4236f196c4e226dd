#pragma once
// The rating service client. It holds the member profile and decides site
// questions of the local filter channel.

#include "account/user.h"

#include <string>

namespace kovari {

class CAgencyComms {
  public:
    // True when the member may not open the address.
    bool IsURLBlocked(const std::string& address);
    // Closes the rating service connection.
    void Disconnect();

    CUser& User() { return user_; }

  private:
    CUser user_;
};

} // namespace kovari
