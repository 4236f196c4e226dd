// The provider over a test base provider: without extension functions below,
// the provider still hands out its own and each of them fails with WSAEFAULT
// and its own message; a notification that arrives before its socket's
// context is delivered once the context appears, and one whose context never
// appears goes to the default procedure after nine lookups; the clean-up does
// not wait for a worker that stays busy in the provider below.

#include "platform/winsock_ext.h"
#include "tests/platform/sockhost/loopback.h"
#include "tests/platform/sockhost/overlapped_support.h"
#include "tests/provider/zul/program_window.h"
#include "tests/provider/zul/zul_fixture.h"

#include <dlfcn.h>
#include <fcntl.h>

namespace {

// Catalog: one base entry served by the test provider without extension
// functions, and the provider's chain over it alone.
class ZulOverPlainLower : public qmtest::ZulTest {
  protected:
    SOCKET s = INVALID_SOCKET;

    void SetUp() override {
        std::filesystem::create_directories(registryDir);
        qmtest::MakeLogFolder(installDir);
        qmtest::WriteProviderSettings(installDir, 3);
        std::vector<WSAPROTOCOL_INFOW> entries = qmtest::CatalogEntries();
        WSAPROTOCOL_INFOW base = *qmtest::FindBase(entries, AF_INET_W, SOCK_STREAM_W);
        GUID id{0x5a1e0004, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
        base.ProviderId = id;
        int error = 0;
        ASSERT_EQ(WSCInstallProvider(&id, u"libqmplainlower.so", &base, 1, &error), 0);
        ASSERT_TRUE(qmtest::InstallLayer({qmtest::CatalogEntries().back().dwCatalogEntryId}));
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD_W(2, 2), &data), 0);
        s = WSASocketW(AF_INET_W, SOCK_STREAM_W, IPPROTO_TCP_W, nullptr, 0, WSA_FLAG_OVERLAPPED);
        ASSERT_NE(s, INVALID_SOCKET);
        ASSERT_TRUE(IsChainSocket(int(s)));
    }
    void TearDown() override {
        if (s != INVALID_SOCKET) {
            closesocket(s);
        }
        ZulTest::TearDown();
    }

    // A function of the test base provider (which stays loaded from then on).
    template <typename F> static F Lower(const char* name) {
        void* library = ::dlopen(QM_BIN_DIR "/libqmplainlower.so", RTLD_NOW | RTLD_LOCAL);
        return library ? reinterpret_cast<F>(::dlsym(library, name)) : nullptr;
    }
    // The window the provider asked the test base provider to notify.
    static HWND NotifiedWindow() {
        auto notified = Lower<HWND (*)()>("qm_plain_lower_notified_window");
        return notified ? notified() : nullptr;
    }
    // Whether the test base provider holds a control call for good.
    static bool Holding() {
        auto holding = Lower<bool (*)()>("qm_plain_lower_holding");
        return holding && holding();
    }
    static bool AwaitHolding() {
        for (int i = 0; i < 1000 && !Holding(); ++i) {
            SleepEx(10, FALSE);
        }
        return Holding();
    }

    bool AwaitLogged(const std::string& text) {
        for (int i = 0; i < 1500 && !Logged(text); ++i) {
            SleepEx(10, FALSE);
        }
        return Logged(text);
    }

    template <typename F> F Extension(const GUID& id) { return qmtest::Extension<F>(s, id); }
};

TEST_F(ZulOverPlainLower, EachExtensionFunctionFailsWithFaultAndItsMessage) {
    WSAOVERLAPPED overlapped{};
    overlapped.hEvent = WSACreateEvent();
    char buffer[64] = {};

    auto transmitFile = Extension<LPFN_TRANSMITFILE>(WSAID_TRANSMITFILE);
    ASSERT_NE(transmitFile, nullptr);
    EXPECT_TRUE(Logged("LoadExtensionFunction: WSAIoctl (SIO_GET_EXTENSION_FUNCTION) failed: " +
                       std::to_string(WSAEINVAL)));
    int file = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    EXPECT_FALSE(transmitFile(s, FileHandle(file), 0, 0, &overlapped, nullptr, 0));
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_TRUE(Logged("Next proc table TransmitFile == NULL!"));
    ::close(file);

    auto acceptEx = Extension<LPFN_ACCEPTEX>(WSAID_ACCEPTEX);
    ASSERT_NE(acceptEx, nullptr);
    SOCKET accepting = WSASocketW(AF_INET_W, SOCK_STREAM_W, IPPROTO_TCP_W, nullptr, 0, 0);
    DWORD received = 0;
    EXPECT_FALSE(acceptEx(s, accepting, buffer, 0, 16, 16, &received, &overlapped));
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_TRUE(Logged("Lower provider AcceptEx == NULL!"));
    closesocket(accepting);

    auto connectEx = Extension<LPFN_CONNECTEX>(WSAID_CONNECTEX);
    ASSERT_NE(connectEx, nullptr);
    sockaddr_in address = qmtest::LoopbackAddress(9);
    DWORD sent = 0;
    EXPECT_FALSE(connectEx(s, reinterpret_cast<sockaddr*>(&address), sizeof address, nullptr, 0,
                           &sent, &overlapped));
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_TRUE(Logged("Next proc table ConnectEx == NULL!"));

    auto disconnectEx = Extension<LPFN_DISCONNECTEX>(WSAID_DISCONNECTEX);
    ASSERT_NE(disconnectEx, nullptr);
    EXPECT_FALSE(disconnectEx(s, &overlapped, 0, 0));
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_TRUE(Logged("Next proc table DisconnectEx == NULL!"));

    auto transmitPackets = Extension<LPFN_TRANSMITPACKETS>(WSAID_TRANSMITPACKETS);
    ASSERT_NE(transmitPackets, nullptr);
    TRANSMIT_PACKETS_ELEMENT element{};
    EXPECT_FALSE(transmitPackets(s, &element, 1, 0, &overlapped, 0));
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_TRUE(Logged("Next proc table TransmitPackets == NULL!"));

    auto recvMsg = Extension<LPFN_WSARECVMSG>(WSAID_WSARECVMSG);
    ASSERT_NE(recvMsg, nullptr);
    WSABUF data{sizeof buffer, buffer};
    WSAMSG message{};
    message.lpBuffers = &data;
    message.dwBufferCount = 1;
    DWORD got = 0;
    EXPECT_EQ(recvMsg(s, &message, &got, &overlapped, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_TRUE(Logged("Next proc table WSARecvMsg == NULL!"));

    WSACloseEvent(overlapped.hEvent);
}

// The test base provider reports an event for the accepted socket before the
// provider has its context, and lets the accept go on once the window has
// looked for the context in vain.
TEST_F(ZulOverPlainLower, NotificationBeforeTheContextIsDeliveredWithTheLayeredHandle) {
    qmtest::ScopedEnv late("QM_PLAIN_LOWER_LATE_NOTE", zul::LogPath(installDir));
    qmtest::ProgramWindow program;
    sockaddr_in address = qmtest::LoopbackAddress(0);
    int length = sizeof address;
    ASSERT_EQ(ws_bind(s, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(ws_getsockname(s, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ASSERT_EQ(WSAAsyncSelect(s, program.window, qmtest::kSocketMessage, FD_ACCEPT_W), 0);
    ASSERT_EQ(ws_listen(s, 4), 0);
    int client = qmtest::ConnectLoopback(ntohs(address.sin_port));
    ASSERT_TRUE(qmtest::Noted(s, FD_ACCEPT_W));
    SOCKET accepted = ws_accept(s, nullptr, nullptr);
    ASSERT_NE(accepted, INVALID_SOCKET);
    EXPECT_TRUE(Logged("Unable to find socket context for"));
    EXPECT_TRUE(qmtest::Noted(accepted, FD_OOB_W));
    EXPECT_FALSE(Logged("AsyncWndProc: Maximum retries exceeded waiting for socket context"));
    closesocket(accepted);
    ::close(client);
}

TEST_F(ZulOverPlainLower, NotificationWithoutContextGoesToTheDefaultProcedureAfterNineLookups) {
    qmtest::ProgramWindow program;
    ASSERT_EQ(WSAAsyncSelect(s, program.window, qmtest::kSocketMessage, FD_READ_W), 0);
    HWND hidden = NotifiedWindow();
    ASSERT_NE(hidden, nullptr);
    constexpr WPARAM kNoContext = 0x7ffff0;
    constexpr UINT kProviderNotification = WM_USER + 1;
    ASSERT_TRUE(
        PostMessageA(hidden, kProviderNotification, kNoContext, WSAMAKESELECTREPLY(FD_OOB_W, 0)));
    ASSERT_TRUE(AwaitLogged("AsyncWndProc: Maximum retries exceeded waiting for socket context"));
    // Only this socket has no context here: each lookup is one line.
    EXPECT_EQ(qmtest::CountInLog(installDir, "Unable to find socket context for"), 9);
    EXPECT_FALSE(qmtest::Noted(SOCKET(kNoContext), FD_OOB_W, 1));
}

// The test base provider holds an overlapped control call with this code for
// good: the provider's worker stays busy in it.
constexpr DWORD kHoldingCode = 0x7151D001;

TEST_F(ZulOverPlainLower, CleanupDoesNotWaitForAWorkerThatStaysBusy) {
    WSAOVERLAPPED overlapped{};
    overlapped.hEvent = WSACreateEvent();
    DWORD returned = 0;
    ASSERT_EQ(WSAIoctl(s, kHoldingCode, nullptr, 0, nullptr, 0, &returned, &overlapped, nullptr),
              SOCKET_ERROR);
    ASSERT_EQ(WSAGetLastError(), WSA_IO_PENDING);
    ASSERT_TRUE(AwaitHolding());
    // The socket is closed by the clean-up; the worker never comes back.
    s = INVALID_SOCKET;
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_TRUE(Logged("WSPCleanup: gEntryCount == 0; cleaning up"));
    EXPECT_TRUE(Logged("Closing thread"));
    EXPECT_TRUE(Holding());
    WSACloseEvent(overlapped.hEvent);
}

} // namespace
