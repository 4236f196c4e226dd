#include "service/block_page_server.h"

#include "account/user.h"
#include "platform/block_page_location.h"
#include "platform/registry.h"
#include "service/app.h"
#include "service/block_page.h"

namespace {

constexpr const char kSettingsKey[] = "Software\\Quellmark\\Settings";
constexpr const char kPlace[] = "CBlockPageServer::Start";

} // namespace

CBlockPageServer::CBlockPageServer(const CUser& user)
    : server_(
          [&user](std::string_view head) { return BlockPageAnswer(head, user.BlockedSites()); }) {}

bool CBlockPageServer::Start(std::uint16_t port) {
    int error = 0;
    if (!server_.Start("127.0.0.1", port, &error)) {
        AppLog(kPlace,
               "Unable to serve the block page on port " + std::to_string(port) +
                   ".  Error = " + std::to_string(error),
               1);
        return false;
    }
    AppLog(kPlace, "Block page served on 127.0.0.1:" + std::to_string(port), 2);
    return true;
}

std::unique_ptr<CBlockPageServer> StartBlockPageServer(CUser& user) {
    platform::BlockPageLocation settings;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        settings = platform::ReadBlockPageLocation(key);
        RegCloseKey(key);
    }
    user.SetBlockPageAddress(settings.address);
    auto server = std::make_unique<CBlockPageServer>(user);
    if (!server->Start(settings.port)) {
        server.reset();
    }
    return server;
}
