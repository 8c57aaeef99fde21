// Fault rules: their text form, which received lines they apply to, and the corrupted
// replies they produce.
#include <gtest/gtest.h>

#include "FaultRule.h"
#include "ProtocolText.h"

namespace quorvel::sim {
namespace {

TEST(CommandKeyTest, NamesPlainCommandsCallsAndPairs) {
    EXPECT_EQ(CommandKey("H!"), "H!");
    EXPECT_EQ(CommandKey("S?"), "S?");
    EXPECT_EQ(CommandKey("P(10.000,45.250)"), "P(");
    EXPECT_EQ(CommandKey("T(120,60)"), "T(");
    EXPECT_EQ(CommandKey("123.4567,45.0000"), "pair");
    EXPECT_EQ(CommandKey("12,abc"), "12,abc");
    EXPECT_EQ(CommandKey("(1,2)"), "(1,2)");
}

TEST(FaultRuleTest, ParsesKindCommandAndCount) {
    SFaultRule rule;
    std::string error;
    ASSERT_TRUE(ParseFaultRule("no-reply", rule, error)) << error;
    EXPECT_EQ(rule.kind, EFaultKind::NoReply);
    EXPECT_TRUE(rule.command.empty());
    EXPECT_EQ(rule.remaining, -1);

    ASSERT_TRUE(ParseFaultRule("late:S?", rule, error)) << error;
    EXPECT_EQ(rule.kind, EFaultKind::LateReply);
    EXPECT_EQ(rule.command, "S?");

    ASSERT_TRUE(ParseFaultRule("garbled:P()/2", rule, error)) << error;
    EXPECT_EQ(rule.kind, EFaultKind::GarbledReply);
    EXPECT_EQ(rule.command, "P(");
    EXPECT_EQ(rule.remaining, 2);

    ASSERT_TRUE(ParseFaultRule("vanish:3", rule, error)) << error;
    EXPECT_EQ(rule.kind, EFaultKind::Vanish);
    EXPECT_EQ(rule.afterCommands, 3);
    EXPECT_TRUE(rule.command.empty());

    ASSERT_TRUE(ParseFaultRule("vanish:H!", rule, error)) << error;
    EXPECT_EQ(rule.afterCommands, 0);
    EXPECT_EQ(rule.command, "H!");

    ASSERT_TRUE(ParseFaultRule("babble:*", rule, error)) << error;
    EXPECT_TRUE(rule.command.empty());
    ASSERT_TRUE(ParseFaultRule("wrong-id", rule, error)) << error;
    EXPECT_EQ(rule.kind, EFaultKind::WrongProduct);
}

TEST(FaultRuleTest, RejectsBadRulesWithAReason) {
    SFaultRule rule;
    for (const char* text :
         {"", "silence", "no-reply:", "late:S?/0", "late:S?/x", "late/-1", "vanish:-2"}) {
        std::string error;
        EXPECT_FALSE(ParseFaultRule(text, rule, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(FaultRuleTest, MatchesByKeyOrFullTextAndWearsOff) {
    SFaultRule all;
    EXPECT_TRUE(FaultMatches(all, "I?"));
    SFaultRule move;
    move.command = "P(";
    EXPECT_TRUE(FaultMatches(move, "P(1.000,2.000)"));
    EXPECT_FALSE(FaultMatches(move, "P?"));
    SFaultRule exact;
    exact.command = "P(1.000,2.000)";
    EXPECT_TRUE(FaultMatches(exact, "P(1.000,2.000)"));
    EXPECT_FALSE(FaultMatches(exact, "P(1.000,3.000)"));
    SFaultRule pair;
    pair.command = "pair";
    EXPECT_TRUE(FaultMatches(pair, "1.0000,2.0000"));
    SFaultRule spent;
    spent.remaining = 0;
    EXPECT_FALSE(FaultMatches(spent, "I?"));
}

TEST(FaultRuleTest, GarbledRepliesAreNeverValidAndKeepTheLineFraming) {
    EXPECT_EQ(GarbleReply("1"), "#1#");
    for (const char* reply :
         {"1", "0", "", "17", "-12.5000,45.0000", "Pelvarin,QUORVEL4,SIM-1.0"}) {
        std::string garbled = GarbleReply(reply);
        EXPECT_NE(garbled, reply);
        EXPECT_EQ(garbled.find('\r'), std::string::npos);
        EXPECT_NE(garbled.front(), '!');
        EXPECT_FALSE(ParseNumber(garbled.substr(0, garbled.find(','))).has_value()) << garbled;
    }
    EXPECT_EQ(GarbleReply("Pelvarin,QUORVEL4,SIM-1.0").find(",QUORVEL4,"), std::string::npos);
}

TEST(FaultRuleTest, WrongProductKeepsTheOtherFields) {
    EXPECT_EQ(WrongProductReply("Pelvarin,QUORVEL4,SIM-1.0"), "Pelvarin,QUORVEL3,SIM-1.0");
    EXPECT_EQ(WrongProductReply("a,QUORVEL4,b,c"), "a,QUORVEL3,b,c");
    EXPECT_EQ(WrongProductReply("nocommas"), "Pelvarin,QUORVEL3,SIM-1.0");
}

TEST(ProtocolTextTest, NumbersIgnoreTheProcessLocale) {
    EXPECT_EQ(FormatPair(123.45678, -0.5), "123.4568,-0.5000");
    EXPECT_EQ(FormatFixed4(12.3456), "12.3456");
    EXPECT_EQ(ParseNumber("+12.5"), 12.5);
    EXPECT_FALSE(ParseNumber("12,5").has_value());
    EXPECT_FALSE(ParseNumber(" 12").has_value());
    EXPECT_FALSE(ParseNumber("+-1").has_value());
    EXPECT_EQ(ParseInteger("-0012"), -12);
    EXPECT_FALSE(ParseInteger("1.0").has_value());
    EXPECT_EQ(EscapeForLog("a\\b\x01\xff"), "a\\x5Cb\\x01\\xFF");
}

}  // namespace
}  // namespace quorvel::sim
