// The setup stand-in and the code generator, run as real programs against a
// catalog in a temporary registry folder.

#include "common/text.h"
#include "installer/auth_codes.h"
#include "installer/secrets.h"
#include "tests/installer/catalog_fixture.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

namespace {

using namespace qmtest;

struct Output {
    int status;
    std::string text;
};

std::string BinDir() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

Output RunTool(const std::string& arguments) {
    std::string command = BinDir() + "/" + arguments + " 2>&1";
    Output out{-1, ""};
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return out;
    }
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        out.text += buffer;
    }
    int status = ::pclose(pipe);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::string Code(const std::string& arguments) {
    Output out = RunTool("support-codes " + arguments);
    EXPECT_EQ(out.status, 0) << out.text;
    return out.text.substr(0, out.text.find('\n'));
}

using SetupTool = CatalogTest;

TEST_F(SetupTool, InstallAndRemoveThroughTheLibraryWithGeneratedCodes) {
    std::string installCode = Code("install Family-7");
    EXPECT_EQ(installCode, qm::InstallCode("family-7"));
    EXPECT_EQ(RunTool("quellmark-setup check FAMILY-7 " + installCode).text, "result: 0\n");
    EXPECT_EQ(RunTool("quellmark-setup check FAMILY-8 " + installCode).text, "result: 1\n");

    Output wrong = RunTool("quellmark-setup install Family-7 000000000000");
    EXPECT_EQ(wrong.text, "result: 12\n");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(Names().size(), 8u);

    Output installed = RunTool("quellmark-setup install family-7 " + qm::ToUpper(installCode));
    EXPECT_EQ(installed.text, "result: 0\n");
    EXPECT_EQ(installed.status, 0);
    EXPECT_EQ(Names()[0], "Quellmark over MSAFD Tcpip [TCP/IPv6]");
    EXPECT_EQ(RunTool("quellmark-setup install family-7 " + installCode).text, "result: 10\n");

    std::string yesterday = qm::RemovalCode("pc", "home", std::time(nullptr) - 86400);
    EXPECT_EQ(RunTool("quellmark-setup uninstall pc home " + yesterday).text, "result: 21\n");
    std::string removalCode = Code("removal PC Home");
    EXPECT_EQ(RunTool("quellmark-setup uninstall pc home " + removalCode).text, "result: 0\n");
    auto names = Names();
    EXPECT_EQ(names.size(), 8u);
    for (const auto& name : names) {
        EXPECT_EQ(name.find("Quellmark"), std::string::npos) << name;
    }
}

TEST_F(SetupTool, UnlockCodeIsTodaysAndUsageErrorsSayHow) {
    EXPECT_EQ(Code("unlock"), qm::UnlockCode(std::time(nullptr)));
    Output usage = RunTool("support-codes removal onlyone");
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.text.find("usage: support-codes"), std::string::npos);
    Output missing = RunTool("quellmark-setup --library /nonexistent/libkovinst.so check a b");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.text.find("cannot load /nonexistent/libkovinst.so"), std::string::npos);
}

} // namespace

namespace {

TEST(Secrets, NoBuiltBinaryHoldsAWholeSecret) {
    for (const char* file : {"libkovinst.so", "support-codes", "kovdiag"}) {
        std::ifstream in(BinDir() + "/" + file, std::ios::binary);
        ASSERT_TRUE(in) << file;
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (const std::string& secret :
             {qm::InstallSecret(), qm::RemovalSecret(), qm::UnlockSecret()}) {
            EXPECT_EQ(bytes.find(secret), std::string::npos) << file;
        }
    }
}

} // namespace
