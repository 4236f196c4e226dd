#pragma once
// Activation of the system-wide filter for chosen Linux accounts, and its
// reverse. Both run as root, check everything before they change anything,
// take back what they did when a step fails, and may be run twice.

#include <string>
#include <vector>

namespace qmadmin {

struct ActivateOptions {
    std::vector<std::string> accounts;
    std::string installId;
    std::string code;
    std::string accountServer;   // "host[:port]"; kept as it is when empty
    std::string accountServerCa; // an extra trusted CA file for it; kept when empty
    std::string blockPage;       // the block page address; kept as it is when empty
    std::string title;           // the administrator window's title
};

struct DeactivateOptions {
    std::string first;
    std::string second;
    std::string code;
};

// Exit statuses: 0 done (or nothing to do), 1 refused or failed.
int Activate(const ActivateOptions& options);
int Deactivate(const DeactivateOptions& options);
// Prints whether the filter is active and for whom; 0 active, 3 not active.
int Status();

} // namespace qmadmin
