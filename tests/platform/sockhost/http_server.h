#pragma once
// A small HTTP server on 127.0.0.1 for tests: answers every request with the
// same page (Content-Length and Connection: close) and remembers the request
// lines it saw.

#include "tests/platform/sockhost/loopback.h"

#include <mutex>
#include <string>
#include <vector>

namespace qmtest {

class HttpServer {
  public:
    HttpServer(int connections, std::string body)
        : body_(std::move(body)), server_(connections, [this](int peer) { Serve(peer); }) {}
    unsigned short port() const { return server_.port(); }
    std::string url(const std::string& path = "/") const {
        return "http://127.0.0.1:" + std::to_string(port()) + path;
    }
    std::vector<std::string> requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

  private:
    void Serve(int peer) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = ::recv(peer, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return;
            }
            request.append(buffer, size_t(n));
        }
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request.substr(0, request.find("\r\n")));
        }
        std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                             std::to_string(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_;
        WriteAll(peer, answer.data(), answer.size());
        ::shutdown(peer, SHUT_WR);
        ReadAll(peer);
    }

    std::string body_;
    std::mutex mutex_;
    std::vector<std::string> requests_;
    LoopbackServer server_;
};

} // namespace qmtest
