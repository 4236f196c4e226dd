// The account server's login answer: its fields, its verification, and the
// member profile filled from it. No application object runs here, so the
// preference file is out of reach and no download is tried.

#include "account/account_server.h"
#include "account/answer_field.h"
#include "account/user.h"
#include "platform/qt/message_box.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platform::SetMessageBoxHandler(
        [](const std::string&, const std::string&, unsigned) { return platform::IDOK; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string answer(reinterpret_cast<const char*>(data), size);

    CAccountServer().VerifyAnswer(answer, 12345);

    CUser user;
    user.Create(answer);
    if (user.IsLoggedIn() != !answer.empty() ||
        user.UserName() != GetAnswerField(answer, "|user|") ||
        user.AgencyServer() != GetAnswerField(answer, "|agencyserver|")) {
        std::abort();
    }
    std::string text;
    int displayMs = 0;
    if (user.TakeLoginMessage(text, displayMs) &&
        text != GetAnswerField(answer, "|loginmessage|")) {
        std::abort();
    }
    user.GetPopupLetter("http://www.example.com/");
    user.GetLocalDecision("http://www.example.com/");
    user.Logout();
    return 0;
}
