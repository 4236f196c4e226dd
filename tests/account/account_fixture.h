#pragma once
// The preference fixture plus the real account server stand-in over HTTPS,
// with its certificate trusted through the CA file setting.

#include "tests/account/prefs_fixture.h"
#include "tests/support/member_settings.h"
#include "tests/support/server_process.h"

#include <memory>

namespace qmtest {

class AccountFixture : public PrefsFixture {
  protected:
    // Members: anna (password "secret", mask bit 2, preferences version 3) and
    // members with a fault each, named after it.
    virtual std::string MembersText() const {
        std::string text = "member anna\npassword secret\n"
                           "catmask 001\nagencyserver 127.0.0.1\nagencyport 1\n"
                           "localoverridesver 3\nlocaloverrides Y\npopupblocker Y\n"
                           "prefs [SOALLOWS]\nprefs anna,news.example.com\nprefs\n"
                           "prefs [SODENIES]\nprefs *,*.example.com\nprefs\n"
                           "prefs [APPS]\nprefs anna,kazaa.exe,Kazaa\nprefs\n"
                           "member a&b\npassword x&y\n";
        for (const char* fault : {"upper-sid", "bad-sid", "no-response", "huge", "no-br",
                                  "no-fields", "binary", "prefs-no-response"}) {
            text += std::string("member ") + fault + "\npassword pw\nfault " + fault + "\n" +
                    "prefs [SOALLOWS]\nprefs *,from-" + fault + ".example.org\nprefs\n";
        }
        return text;
    }

    void SetUp() override {
        PrefsFixture::SetUp();
        std::ofstream(MembersFile()) << MembersText();
        port = FreePort();
        server = std::make_unique<ServerProcess>(
            "account-server", port,
            std::vector<std::string>{"--cert", certificate.CertFile(), "--key",
                                     certificate.KeyFile(), "--members", MembersFile(), "--log",
                                     RequestLog()});
        ASSERT_TRUE(server->Ready());
        SetMachineSetting("AccountServer", "localhost:" + std::to_string(port));
        SetMachineSetting("AccountServerCAFile", certificate.CertFile());
    }
    void TearDown() override {
        server.reset();
        PrefsFixture::TearDown();
    }

    std::string MembersFile() const { return installation.RegistryDir() + "/members.txt"; }
    std::string RequestLog() const { return installation.RegistryDir() + "/requests.log"; }
    std::vector<std::string> Requests() const {
        std::vector<std::string> lines;
        std::ifstream in(RequestLog());
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    TestCertificate certificate;
    std::uint16_t port = 0;
    std::unique_ptr<ServerProcess> server;
};

} // namespace qmtest
