// Stand-in for the account server: HTTPS on 127.0.0.1, answering
// POST /2_6/commando.php?command=login and ?command=getuserprefs from a
// members file (see members.h).
//
//   account-server --port N --cert FILE --key FILE --members FILE [--log FILE]
//
// --log appends every request as "path<TAB>body" on one line.

#include "tools/account-server/members.h"

#include "tools/common/loopback_listener.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxRequest = 1 << 20;

struct Options {
    int port = 0;
    std::string cert;
    std::string key;
    std::string logFile;
    Members members;
};

std::mutex gLogLock;

void LogRequest(const Options& options, const std::string& path, const std::string& body) {
    if (options.logFile.empty()) {
        return;
    }
    std::lock_guard guard(gLogLock);
    if (std::FILE* out = std::fopen(options.logFile.c_str(), "a")) {
        std::fprintf(out, "%s\t%s\n", path.c_str(), body.c_str());
        std::fclose(out);
    }
}

// Reads one request: the head up to the blank line, then Content-Length bytes.
bool ReadRequest(SSL* ssl, std::string& path, std::string& body) {
    std::string data;
    std::size_t headEnd = std::string::npos;
    std::size_t length = 0;
    char buffer[8192];
    for (;;) {
        if (headEnd == std::string::npos) {
            headEnd = data.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                std::size_t at = data.find("\r\nContent-Length:");
                if (at == std::string::npos) {
                    at = data.find("\r\ncontent-length:");
                }
                length =
                    at == std::string::npos ? 0 : std::strtoul(data.c_str() + at + 17, nullptr, 10);
            }
        }
        if (headEnd != std::string::npos && data.size() >= headEnd + 4 + length) {
            break;
        }
        if (data.size() > kMaxRequest) {
            return false;
        }
        int got = SSL_read(ssl, buffer, sizeof buffer);
        if (got <= 0) {
            return false;
        }
        data.append(buffer, std::size_t(got));
    }
    std::size_t space = data.find(' ');
    std::size_t space2 = data.find(' ', space + 1);
    path = data.substr(space + 1, space2 - space - 1);
    body = data.substr(headEnd + 4, length);
    return data.rfind("POST ", 0) == 0;
}

void Serve(SSL_CTX* context, int fd, const Options& options) {
    SSL* ssl = SSL_new(context);
    SSL_set_fd(ssl, fd);
    std::string path;
    std::string body;
    if (SSL_accept(ssl) == 1 && ReadRequest(ssl, path, body)) {
        LogRequest(options, path, body);
        std::string command;
        std::size_t at = path.find("command=");
        if (path.rfind("/2_6/commando.php?", 0) == 0 && at != std::string::npos) {
            command = path.substr(at + 8);
        }
        std::string answer = command == "login" || command == "getuserprefs"
                                 ? options.members.Answer(command, body)
                                 : std::string();
        std::string status = answer.empty() ? "404 Not Found" : "200 OK";
        std::string reply = "HTTP/1.1 " + status +
                            "\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: " +
                            std::to_string(answer.size()) + "\r\n\r\n" + answer;
        std::size_t sent = 0;
        while (sent < reply.size()) {
            int wrote = SSL_write(ssl, reply.data() + sent, int(reply.size() - sent));
            if (wrote <= 0) {
                break;
            }
            sent += std::size_t(wrote);
        }
        SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    ::close(fd);
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--port") {
            options.port = std::atoi(value);
        } else if (name == "--cert") {
            options.cert = value;
        } else if (name == "--key") {
            options.key = value;
        } else if (name == "--log") {
            options.logFile = value;
        } else if (name == "--members") {
            if (!options.members.Load(value)) {
                return false;
            }
        } else {
            return false;
        }
    }
    return options.port > 0 && !options.cert.empty() && !options.key.empty();
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (argc % 2 == 0 || !ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: account-server --port N --cert FILE --key FILE "
                             "--members FILE [--log FILE]\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context || SSL_CTX_use_certificate_chain_file(context, options.cert.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, options.key.c_str(), SSL_FILETYPE_PEM) != 1) {
        ERR_print_errors_fp(stderr);
        return 1;
    }
    int listener = qmtools::ListenOnLoopback(std::uint16_t(options.port), "account-server");
    if (listener < 0) {
        return 1;
    }
    std::printf("listening on 127.0.0.1:%d\n", options.port);
    std::fflush(stdout);
    for (;;) {
        int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            std::thread([context, client, &options] { Serve(context, client, options); }).detach();
        }
    }
}
