#pragma once
// A process with the provider installed in its catalog (layered over the
// internet base entries), its installation folder with a Logs folder, and a
// log level. The provider attaches when this process makes its first socket.

#include "platform/sockhost/kernel_socket.h"
#include "platform/sockhost/winsock_api.h"
#include "tests/provider/log_reader.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zul_install.h"

#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace qmtest {

class ZulTest : public ::testing::Test {
  protected:
    explicit ZulTest(DWORD debugLevel = 3, std::u16string library = u"libZUL.so")
        : debugLevel_(debugLevel), library_(std::move(library)) {}

    TempDir root;
    std::string registryDir = root / "registry";
    std::string installDir = root / "install";
    ScopedEnv registry{"QUELLMARK_REGISTRY_DIR", registryDir};

    void SetUp() override {
        std::filesystem::create_directories(registryDir);
        MakeLogFolder(installDir);
        WriteProviderSettings(installDir, debugLevel_);
        ASSERT_TRUE(InstallLayerOverInternet(library_));
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD_W(2, 2), &data), 0);
    }
    void TearDown() override { WSACleanup(); }

    bool Logged(const std::string& text) { return LogHas(installDir, text); }

    // A socket made through the provider: it answers with the layer's entry.
    static bool IsChainSocket(int fd) {
        WSAPROTOCOL_INFOW info{};
        int length = sizeof info;
        return ws_getsockopt(SOCKET(fd), SOL_SOCKET_W, SO_PROTOCOL_INFOW_W,
                             reinterpret_cast<char*>(&info), &length) == 0 &&
               info.ProviderId == kChainGuid;
    }

    // The provider's entry point, loaded as the host loads it.
    static LPWSPSTARTUP ProviderStartup() {
        void* library = ::dlopen(QM_BIN_DIR "/libZUL.so", RTLD_NOW | RTLD_LOCAL);
        return library ? reinterpret_cast<LPWSPSTARTUP>(::dlsym(library, "WSPStartup")) : nullptr;
    }
    static WSAPROTOCOL_INFOW FirstChain() {
        for (const WSAPROTOCOL_INFOW& entry : CatalogEntries()) {
            if (entry.ProtocolChain.ChainLen > 1) {
                return entry;
            }
        }
        return WSAPROTOCOL_INFOW{};
    }

    // With the provider's test build installed: its records taken from the
    // pool and not yet released.
    static std::size_t OutstandingRecords() {
        void* library = ::dlopen(QM_BIN_DIR "/libZULprobe.so", RTLD_NOW | RTLD_LOCAL);
        auto count = library ? reinterpret_cast<std::size_t (*)()>(
                                   ::dlsym(library, "qm_zul_outstanding_records"))
                             : nullptr;
        return count ? count() : ~std::size_t(0);
    }

  private:
    DWORD debugLevel_;
    std::u16string library_;
};

// The provider's test build, which tells its pool's count.
inline constexpr const char16_t* kProbeLibrary = u"libZULprobe.so";

} // namespace qmtest
