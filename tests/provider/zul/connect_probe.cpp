// A plain program for tests under the socket host: connects to 127.0.0.1:PORT,
// sends a GET and prints "answer " with the start of the reply, or
// "refused " with errno when the connect fails.
#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(std::atoi(argv[1])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::printf("refused %d\n", errno);
        return 1;
    }
    const char request[] = "GET / HTTP/1.0\r\nHost: probe\r\n\r\n";
    ::send(fd, request, sizeof request - 1, 0);
    char reply[16] = {};
    ::recv(fd, reply, sizeof reply - 1, MSG_WAITALL);
    std::printf("answer %s\n", reply);
    ::close(fd);
    return 0;
}
