// Replacement rules: the syntax of the command line and the rules file,
// the round trip through a file, and which old fonts a rule names.
#include <gtest/gtest.h>

#include "FontProposal.h"
#include "ReplacementRules.h"
#include "TestSupport.h"

namespace {

TReplacementRule Parsed(const std::string& text) {
    auto parsed = ParseRule(text);
    EXPECT_TRUE(std::holds_alternative<TReplacementRule>(parsed)) << text;
    return std::holds_alternative<TReplacementRule>(parsed) ? std::get<TReplacementRule>(parsed) : TReplacementRule{};
}

TEST(ReplacementRuleSyntax, ReadsPatternStylesAndFamily) {
    const TReplacementRule times = Parsed("Times-*=Liberation Serif");
    EXPECT_EQ(times.pattern, "Times-*");
    EXPECT_FALSE(times.oldStyle);
    EXPECT_EQ(times.family, "Liberation Serif");
    EXPECT_FALSE(times.newStyle);

    const TReplacementRule arial = Parsed(" Arial,Bold = Liberation Sans:Bold ");
    EXPECT_EQ(arial.pattern, "Arial");
    EXPECT_EQ(arial.oldStyle, (TFontStyle{true, false}));
    EXPECT_EQ(arial.family, "Liberation Sans");
    EXPECT_EQ(arial.newStyle, (TFontStyle{true, false}));

    EXPECT_EQ(Parsed("Foo=DejaVu Sans:Bold:Italic").newStyle, (TFontStyle{true, true}));
    EXPECT_EQ(Parsed("Foo,Regular=DejaVu Sans:Italic").oldStyle, (TFontStyle{false, false}));
}

TEST(ReplacementRuleSyntax, RefusesMalformedRules) {
    for (const char* bad : {"Times-Roman", "=Liberation Serif", "Times=", "Times,Fett=Liberation Serif",
                            "Times=Liberation Serif:Kursiv", "Times Roman=Liberation Serif", "A=B=C",
                            "/Times=Liberation Serif", ",Bold=Liberation Sans"}) {
        EXPECT_TRUE(std::holds_alternative<TRuleError>(ParseRule(bad))) << bad;
    }
}

TEST(ReplacementRuleFile, RoundTripsThroughAFile) {
    const std::vector<TReplacementRule> rules = {Parsed("Times-*=Liberation Serif"),
                                                 Parsed("Arial,Bold=Liberation Sans:Bold"),
                                                 Parsed("Helvetica*,BoldItalic=DejaVu Sans:Regular"),
                                                 Parsed("Courier*=Liberation Mono:Bold:Italic")};
    const std::string path = ScratchDir("rules") + "/rules.txt";
    ASSERT_TRUE(SaveRulesFile(path, rules));
    const auto loaded = LoadRulesFile(path);
    ASSERT_TRUE(std::holds_alternative<std::vector<TReplacementRule>>(loaded));
    EXPECT_EQ(std::get<std::vector<TReplacementRule>>(loaded), rules);
}

TEST(ReplacementRuleFile, SkipsCommentsAndNamesTheLineOfTheFirstError) {
    const auto good = ParseRules("# Hausschriften\n\nTimes-*=Liberation Serif\r\n  # eingerückt\nArial=Liberation Sans\n");
    ASSERT_TRUE(std::holds_alternative<std::vector<TReplacementRule>>(good));
    EXPECT_EQ(std::get<std::vector<TReplacementRule>>(good).size(), 2u);

    const auto bad = ParseRules("Times-*=Liberation Serif\n# gut\n\nArial,Fett=Liberation Sans\nfoo\n");
    ASSERT_TRUE(std::holds_alternative<TRuleError>(bad));
    EXPECT_EQ(std::get<TRuleError>(bad).line, 4);
    EXPECT_EQ(std::get<TRuleError>(bad).problem, TRuleProblem::UnknownStyle);
    EXPECT_EQ(std::get<TRuleError>(bad).detail, "Fett");

    const auto missing = LoadRulesFile(ScratchDir("rules-missing") + "/none.txt");
    ASSERT_TRUE(std::holds_alternative<TRuleError>(missing));
    EXPECT_EQ(std::get<TRuleError>(missing).problem, TRuleProblem::FileUnreadable);
}

TEST(ReplacementRuleMatching, WildcardsCoverRunsAndIgnoreCase) {
    struct TCase {
        const char* pattern;
        const char* text;
        bool matches;
    };
    const TCase cases[] = {
        {"Times-*", "Times-Roman", true},   {"Times-*", "Times", false},       {"*", "", true},
        {"Helvetica*", "Helvetica", true},  {"helvetica*", "Helvetica-Bold", true},
        {"*Sans*", "DejaVuSans-Bold", true}, {"A*B*C", "AxxBxxBxC", true},     {"A*B*C", "AxxBxxBxD", false},
        {"Arial", "ArialMT", false},        {"Courier", "Courier", true},
    };
    for (const TCase& c : cases) EXPECT_EQ(WildcardMatch(c.pattern, c.text), c.matches) << c.pattern << " " << c.text;
}

TEST(ReplacementRuleMatching, FirstRuleNamingNameAndStyleWins) {
    const std::vector<TReplacementRule> rules = {Parsed("Arial,Bold=Liberation Sans:Bold"),
                                                 Parsed("Arial*=DejaVu Sans"), Parsed("*=Liberation Serif")};
    const TFontStyle bold{true, false}, plain{false, false};
    EXPECT_EQ(FindRule(rules, "Arial,Bold", bold), &rules[0]);
    EXPECT_EQ(FindRule(rules, "ABCDEF+Arial,Bold", bold), &rules[0]);
    EXPECT_EQ(FindRule(rules, "Arial", plain), &rules[1]);
    EXPECT_EQ(FindRule(rules, "Arial-BoldMT", bold), &rules[1]);
    EXPECT_EQ(FindRule(rules, "Times-Roman", plain), &rules[2]);
    EXPECT_EQ(FindRule({rules[0]}, "Arial,Italic", {false, true}), nullptr);
}

TEST(OldFontNames, TagsStylesAndRequestedFamilies) {
    EXPECT_EQ(WithoutSubsetTag("ABCDEF+Times-Roman"), "Times-Roman");
    EXPECT_EQ(WithoutSubsetTag("ABCdEF+Times-Roman"), "ABCdEF+Times-Roman");
    EXPECT_EQ(WithoutSubsetTag("Times"), "Times");
    EXPECT_EQ(OldFontStyle("Helvetica-BoldOblique", 0), (TFontStyle{true, true}));
    EXPECT_EQ(OldFontStyle("Arial,Italic", 0), (TFontStyle{false, true}));
    EXPECT_EQ(OldFontStyle("Palatino", 64 | 0x40000), (TFontStyle{true, true}));
    EXPECT_EQ(OldFontStyle("Times-Roman", 32), (TFontStyle{false, false}));
    EXPECT_EQ(RequestedFamily("ABCDEF+Arial-BoldMT"), "Arial");
    EXPECT_EQ(RequestedFamily("TimesNewRomanPSMT"), "TimesNewRoman");
    EXPECT_EQ(RequestedFamily("Arial,BoldItalic"), "Arial");
    EXPECT_EQ(RequestedFamily("Courier"), "Courier");
}

// Debian's metric aliases give the standard fonts their Liberation twins;
// a made-up name reaches only the generic default and is no proposal.
TEST(FontProposals, AliasesAreGoodGenericDefaultsAreNot) {
    struct TCase {
        const char* baseFont;
        TFontStyle style;
        const char* family;
    };
    const TCase aliases[] = {{"Times-Roman", {}, "Liberation Serif"},
                             {"Helvetica-BoldOblique", {true, true}, "Liberation Sans"},
                             {"ArialMT", {}, "Liberation Sans"},
                             {"Courier-Bold", {true, false}, "Liberation Mono"}};
    for (const TCase& c : aliases) {
        const auto proposal = ProposeFont(c.baseFont, c.style);
        ASSERT_TRUE(proposal) << c.baseFont;
        EXPECT_TRUE(proposal->good) << c.baseFont;
        EXPECT_EQ(proposal->face.family, c.family) << c.baseFont;
        EXPECT_EQ(proposal->face.style, c.style);
    }
    const auto unknown = ProposeFont("Qwxyzzy-Grotesk", {});
    ASSERT_TRUE(unknown);
    EXPECT_FALSE(unknown->good) << unknown->face.family;

    EXPECT_TRUE(FindInstalledFace("DejaVu Sans", {true, false}));
    EXPECT_FALSE(FindInstalledFace("Qwxyzzy Grotesk", {}));
}

}  // namespace
