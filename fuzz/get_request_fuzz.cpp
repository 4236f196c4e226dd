// The provider's side of a web request: the URL built from the first buffer
// of a GET, the service's reply applied to the socket, then the first buffer
// received on it turned into the redirect to the block page or disarmed of
// pop-up calls; and the program question with its reply.

#include "fuzz/fuzz_input.h"
#include "provider/informant.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr SOCKET kSocket = 7;

// A channel whose connection state and reply come from the input.
class ScriptedChannel : public zul::CChannel {
  public:
    ScriptedChannel(std::uint8_t flags, std::string reply)
        : flags_(flags), reply_(std::move(reply)) {}

    std::unique_lock<std::mutex> LockKind(int) override { return std::unique_lock(mutex_); }
    bool IsConnected(int) override { return flags_ & 1; }
    bool EstablishCommunication(int) override { return flags_ & 2; }
    bool SendCommunication(const char* bytes, int count, int kind) override {
        // A URL goes out as its text, never longer than the URL buffer; a
        // program record is 1024 bytes ending in a zero byte.
        if (count < 0 || count > 1024 || (kind == zul::COMMS_APP && bytes[count - 1] != '\0') ||
            (kind == zul::COMMS_URL && std::strlen(bytes) != std::size_t(count))) {
            std::abort();
        }
        return flags_ & 4;
    }
    bool ReceiveCommunication(char* buffer, int capacity, int) override {
        std::memcpy(buffer, reply_.data(), std::min(reply_.size(), std::size_t(capacity)));
        return flags_ & 8;
    }

  private:
    std::mutex mutex_;
    std::uint8_t flags_;
    std::string reply_;
};

std::vector<char> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

bool HasPopupCall(const char* buffer, std::size_t length) {
    std::string text(buffer, ::strnlen(buffer, length));
    for (char& c : text) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return text.find("window.open") != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    std::uint8_t flags = input.Byte();
    std::string reply = input.Part();
    std::vector<char> request = Bytes(input.Part());
    std::vector<char> answer = Bytes(input.Part());
    int port = int(std::int16_t(input.Byte() | input.Byte() << 8));
    std::string program = input.Rest();

    zul::CInformant informant("/nonexistent", 0, std::make_unique<ScriptedChannel>(flags, reply));
    informant.InspectBuffer(request.data(), kSocket, int(request.size()));

    bool wanted = informant.MostWanted().Holds(kSocket);
    bool popups = informant.Popups().Find(kSocket);
    DWORD length = DWORD(answer.size());
    DWORD received = length;
    informant.CheckForRedirect(kSocket, answer.data(), &length, &received);
    if (length > answer.size() || received != (wanted ? length : answer.size())) {
        std::abort();
    }
    if (!wanted && popups && answer.size() >= 4 && HasPopupCall(answer.data(), answer.size())) {
        std::abort(); // a pop-up call survived disarming
    }
    informant.IsConnectionBlocked(port, program.c_str());
    return 0;
}
