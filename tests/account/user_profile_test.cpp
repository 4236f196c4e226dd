// The member profile: filling it from a login answer, the category decision,
// the local decision and the pop-up letter, and the log-out state.

#include "account/agency_comms.h"
#include "account/user.h"
#include "tests/account/prefs_fixture.h"

namespace {

class UserProfile : public qmtest::PrefsFixture {
  protected:
    // A verified-looking answer; version 0 matches the missing OverrideVersion,
    // so no download is tried.
    static std::string Answer(const std::string& extra) {
        return "|response|+ok<BR>|sid|x<BR>|user|Anna<BR>|password|pw<BR>"
               "|localoverridesver|0<BR>" +
               extra;
    }
    bool LogHas(const std::string& tail) const {
        for (const std::string& line : installation.LogLines()) {
            if (line.ends_with(tail)) {
                return true;
            }
        }
        return false;
    }
    kovari::CAgencyComms client;
    CUser& user = client.User();
};

TEST_F(UserProfile, CategoryMaskTextSetsBitsAndIsLogged) {
    user.Create(Answer("|catmask|" + std::string(26, '0') + "1<BR>"));
    EXPECT_EQ(user.CategoryMask(), std::uint64_t(1) << 26);
    EXPECT_TRUE(LogHas("-> CUser::Create->Categories - Sex "));
    EXPECT_TRUE(user.IsLoggedIn());
    EXPECT_EQ(user.UserName(), "Anna");
}

TEST_F(UserProfile, ShortOrOddMaskTextSetsOnlyTheOnes) {
    user.Create(Answer("|catmask|1x01<BR>"));
    EXPECT_EQ(user.CategoryMask(), 0b1001u);
    user.Logout();
    user.Create(Answer("|catmask|" + std::string(70, '1') + "<BR>"));
    EXPECT_EQ(user.CategoryMask(), ~std::uint64_t(0));
}

TEST_F(UserProfile, DecisionIntersectsTheMasks) {
    user.Create(Answer("|catmask|" + std::string(49, '0') + "1<BR>"));
    std::uint64_t sexAndEducation = (std::uint64_t(1) << 26) | (std::uint64_t(1) << 49);
    EXPECT_TRUE(user.UserWantsBlock(sexAndEducation));
    EXPECT_FALSE(user.UserWantsBlock(std::uint64_t(1) << 26));
    EXPECT_FALSE(user.UserWantsBlock(0));
    EXPECT_TRUE(LogHas("-> CUser::UserWantsBlock->Site Categories - Sex Education (Exception) "));
    EXPECT_TRUE(LogHas("-> CUser::UserWantsBlock->user Categories - Education (Exception) "));
}

TEST_F(UserProfile, PopupModeFollowsTheAnswerIgnoringCase) {
    struct Case {
        const char* field;
        int mode;
        char letter;
    };
    user.LoadStartupLists(); // the fixed entries
    for (Case c :
         {Case{"|popupblocker|o<BR>", POPUP_BLOCKER_NOT_OFFERED, 'O'},
          Case{"|popupblocker|y<BR>", POPUP_BLOCKER_ON, 'Y'},
          Case{"|popupblocker|N<BR>", POPUP_BLOCKER_OFF, 'N'}, Case{"", POPUP_BLOCKER_OFF, 'N'}}) {
        user.Create(Answer(c.field));
        EXPECT_EQ(user.PopupBlockerMode(), c.mode) << c.field;
        EXPECT_EQ(user.GetPopupLetter("http://ads.example.org/"), c.letter) << c.field;
        EXPECT_EQ(user.GetPopupLetter("http://www.tellwyn.com/"), c.letter == 'Y' ? 'N' : c.letter);
    }
}

TEST_F(UserProfile, TogglingSwitchesOnAndOffButNotNotOffered) {
    user.Create(Answer("|popupblocker|Y<BR>"));
    user.TogglePopupBlocker();
    EXPECT_EQ(user.PopupBlockerMode(), POPUP_BLOCKER_OFF);
    user.TogglePopupBlocker();
    EXPECT_EQ(user.PopupBlockerMode(), POPUP_BLOCKER_ON);
    user.Create(Answer("|popupblocker|O<BR>"));
    user.TogglePopupBlocker();
    EXPECT_EQ(user.PopupBlockerMode(), POPUP_BLOCKER_NOT_OFFERED);
}

TEST_F(UserProfile, MemberListsOnlyWithAnExactCapitalY) {
    WritePrefs("[SOALLOWS]\nanna,news.example.com\n\n[SODENIES]\n*,*.example.com\n\n");
    user.Prefs().RecordIntegrity(0);
    user.LoadStartupLists();
    user.Create(Answer("|localoverrides|y<BR>"));
    EXPECT_EQ(user.GetLocalDecision("http://news.example.com/"), LOCAL_DECISION_DENY);
    user.Create(Answer("|localoverrides|Y<BR>"));
    EXPECT_EQ(user.GetLocalDecision("http://news.example.com/"), LOCAL_DECISION_ALLOW);
    EXPECT_EQ(user.GetLocalDecision("http://example.com/"), LOCAL_DECISION_DENY);
    EXPECT_EQ(user.GetLocalDecision("http://example.org/"), LOCAL_DECISION_NONE);
}

TEST_F(UserProfile, LogoutClearsTheLoginButKeepsTheLoginMessage) {
    WritePrefs("[SOALLOWS]\nanna,news.example.com\n\n");
    user.Prefs().RecordIntegrity(0);
    user.Create(Answer("|catmask|111<BR>|localoverrides|Y<BR>|agencyserver|h<BR>"
                       "|agencyport|77<BR>|loginmessage|Hi<BR>|loginmessagetime|3000<BR>"));
    EXPECT_EQ(user.AgencyPort(), 77);
    EXPECT_EQ(user.GetLocalDecision("http://news.example.com/"), LOCAL_DECISION_ALLOW);
    user.Logout();
    EXPECT_FALSE(user.IsLoggedIn());
    EXPECT_EQ(user.CategoryMask(), 0u);
    EXPECT_EQ(user.AgencyServer(), "");
    EXPECT_EQ(user.LoginMessage(), "Hi");
    EXPECT_EQ(user.GetLocalDecision("http://news.example.com/"), LOCAL_DECISION_NONE);
    EXPECT_FALSE(client.Connected());
}

TEST_F(UserProfile, LoginMessageIsTakenOnce) {
    user.Create(Answer("|loginmessage|Hello there<BR>|loginmessagetime|3000<BR>"));
    std::string text;
    int ms = 0;
    EXPECT_TRUE(user.TakeLoginMessage(text, ms));
    EXPECT_EQ(text, "Hello there");
    EXPECT_EQ(ms, 3000);
    EXPECT_FALSE(user.TakeLoginMessage(text, ms));
}

TEST(RatingAnswer, StatusCharacterIsDroppedAndTheRestReadAsANumber) {
    EXPECT_EQ(kovari::RatingMask("+4"), 4u);
    EXPECT_EQ(kovari::RatingMask("+ 67108864xyz"), std::uint64_t(1) << 26);
    EXPECT_EQ(kovari::RatingMask("+"), 0u);
    EXPECT_EQ(kovari::RatingMask("+abc"), 0u);
    EXPECT_EQ(kovari::RatingMask(""), 0u);
    EXPECT_EQ(kovari::RatingMask("+-1"), ~std::uint64_t(0));
}

} // namespace
