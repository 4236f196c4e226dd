#pragma once
// Requests to the account server: an HTTPS POST of a form body, a fresh
// challenge number per request, and the check of the server's proof. The
// server's host ("host" or "host:port") and an extra CA file to trust are
// configuration values under the machine's Settings key ("AccountServer",
// "AccountServerCAFile"). Certificates are always verified; the proxy comes
// from the usual environment variables (https_proxy, no_proxy).

#include <string>

inline constexpr char kLoginPath[] = "/2_6/commando.php?command=login";
inline constexpr char kGetUserPrefsPath[] = "/2_6/commando.php?command=getuserprefs";
inline constexpr char kDefaultAccountServer[] = "accounts.tellwyn.com";
// Caption of the service's own message boxes.
inline constexpr char kServiceCaption[] = "KOVARI";

class CAccountServer {
  public:
    // The answer's lines, each followed by a line feed, and one more line feed
    // at the end; after a transfer failure what was read until then (normally
    // nothing), and the failure's text is shown in a message box.
    std::string Post(const std::string& host, const std::string& path, const std::string& body);
    // A number from 10000 to 19998 drawn after seeding with the time in seconds.
    int NewChallenge();
    // True when the answer's "|sid|" proves the challenge and "|response|" does
    // not begin with '-'. A wrong proof is reported in a message box.
    bool VerifyAnswer(const std::string& answer, int challenge);
};

// The configured account server host, or the default.
std::string AccountServerHost();
// "user=%s&password=%s&sid=%d", name and password exactly as typed.
std::string AccountRequestBody(const std::string& user, const std::string& password, int challenge);
