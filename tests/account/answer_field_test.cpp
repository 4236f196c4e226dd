// Fields of account server answers, including hostile ones.

#include "account/answer_field.h"

#include <gtest/gtest.h>

namespace {

TEST(AnswerField, ValueRunsFromTheKeyToTheNextBreak) {
    std::string answer = "|response|+Welcome<BR>\n|sid|abc<BR>|user|Anna<BR>\n";
    EXPECT_EQ(GetAnswerField(answer, "|response|"), "+Welcome");
    EXPECT_EQ(GetAnswerField(answer, "|sid|"), "abc");
    EXPECT_EQ(GetAnswerField(answer, "|user|"), "Anna");
}

TEST(AnswerField, MissingKeyOrMissingBreakGivesEmpty) {
    EXPECT_EQ(GetAnswerField("|user|Anna<BR>", "|password|"), "");
    EXPECT_EQ(GetAnswerField("|user|Anna\n", "|user|"), "");
    EXPECT_EQ(GetAnswerField("", "|user|"), "");
}

TEST(AnswerField, KeysCarryBothBarsAndCaseMatters) {
    std::string answer = "|loginmessagetime|3000<BR>|loginmessage|Hello<BR>";
    EXPECT_EQ(GetAnswerField(answer, "|loginmessage|"), "Hello");
    EXPECT_EQ(GetAnswerField(answer, "|loginmessagetime|"), "3000");
    EXPECT_EQ(GetAnswerField(answer, "|LOGINMESSAGE|"), "");
}

TEST(AnswerField, FirstOccurrenceWinsAndValuesMaySpanLines) {
    EXPECT_EQ(GetAnswerField("|a|one<BR>|a|two<BR>", "|a|"), "one");
    EXPECT_EQ(GetAnswerField("|a|x\ny<BR>", "|a|"), "x\ny");
}

TEST(AnswerField, HostileAnswersAreReadWithoutHarm) {
    std::string huge(1 << 20, 'x');
    EXPECT_EQ(GetAnswerField(huge, "|user|"), "");
    EXPECT_EQ(GetAnswerField("|user|" + huge + "<BR>", "|user|"), huge);
    std::string binary("|user|\0\xff\x01<BR>", 13);
    EXPECT_EQ(GetAnswerField(binary, "|user|"), std::string("\0\xff\x01", 3));
}

TEST(AnswerField, NumbersAreLeadingDecimalIntegers) {
    EXPECT_EQ(AnswerNumber(" 42abc"), 42);
    EXPECT_EQ(AnswerNumber("-7"), -7);
    EXPECT_EQ(AnswerNumber("+8"), 8);
    EXPECT_EQ(AnswerNumber("abc"), 0);
    EXPECT_EQ(AnswerNumber(""), 0);
}

} // namespace
