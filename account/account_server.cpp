#include "account/account_server.h"

#include "account/answer_field.h"
#include "common/account_secrets.h"
#include "common/md5.h"
#include "platform/qt/message_box.h"
#include "platform/registry.h"

#include <curl/curl.h>

#include <cstdlib>
#include <ctime>
#include <mutex>

namespace {

constexpr char kSettingsKey[] = "Software\\Quellmark\\Settings";
constexpr std::size_t kMaxAnswer = 8 << 20; // a larger answer is a transfer failure
constexpr long kConnectTimeoutSeconds = 30;
constexpr long kStallSeconds = 60;

std::string MachineSetting(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {};
    }
    char buffer[512] = {};
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::string(buffer) : std::string();
}

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* out) {
    auto* body = static_cast<std::string*>(out);
    if (body->size() + size * count > kMaxAnswer) {
        return 0; // ends the transfer with a write error
    }
    body->append(data, size * count);
    return size * count;
}

// The body as lines, each followed by a line feed, then one more line feed.
std::string AsAnswerLines(const std::string& body) {
    std::string answer;
    std::size_t start = 0;
    while (start < body.size()) {
        std::size_t end = body.find('\n', start);
        std::size_t stop = end == std::string::npos ? body.size() : end;
        std::size_t length = stop - start;
        if (length > 0 && body[stop - 1] == '\r') {
            --length;
        }
        answer.append(body, start, length);
        answer += '\n';
        start = stop + 1;
    }
    return answer + "\n";
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

std::string AccountServerHost() {
    std::string host = MachineSetting("AccountServer");
    return host.empty() ? kDefaultAccountServer : host;
}

std::string AccountRequestBody(const std::string& user, const std::string& password,
                               int challenge) {
    return "user=" + user + "&password=" + password + "&sid=" + std::to_string(challenge);
}

std::string CAccountServer::Post(const std::string& host, const std::string& path,
                                 const std::string& body) {
    InitCurlOnce();
    CURL* curl = curl_easy_init();
    if (!curl) {
        platform::MessageBox("The network library could not be started.", kServiceCaption,
                             platform::MB_OK);
        return {};
    }
    std::string url = "https://" + host + path;
    std::string received;
    char error[CURL_ERROR_SIZE] = {};
    std::string caFile = MachineSetting("AccountServerCAFile");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "VRA 1.0");
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
        curl_easy_setopt(curl, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &received);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (result != CURLE_OK) {
        platform::MessageBox(*error ? error : curl_easy_strerror(result), kServiceCaption,
                             platform::MB_OK);
    }
    return received.empty() ? std::string() : AsAnswerLines(received);
}

int CAccountServer::NewChallenge() {
    std::srand(unsigned(std::time(nullptr)));
    return std::rand() % 9999 + 10000;
}

bool CAccountServer::VerifyAnswer(const std::string& answer, int challenge) {
    std::string proof = qm::Md5Hex(std::to_string(challenge) + qm::VerificationConstant());
    if (GetAnswerField(answer, "|sid|") != proof) {
        platform::MessageBox("Could not verify server credentials.  Please try logging in "
                             "again.\nIf this error persists please contact Technical Support.",
                             kServiceCaption, platform::MB_OK);
        return false;
    }
    return GetAnswerField(answer, "|response|").compare(0, 1, "-") != 0;
}
