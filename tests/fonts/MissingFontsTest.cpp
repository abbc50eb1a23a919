// The document's fonts as "Fehlende Schriften einbetten" groups them, and
// what each gets: fontconfig's proposal, a rule, a similar face, no good
// match, or nothing.
#include <gtest/gtest.h>

#include <algorithm>

#include "FontProgram.h"
#include "MissingFonts.h"
#include "TestSupport.h"

namespace {

// Two pages sharing font object 10 (Helvetica, its /BaseFont a reference
// as early pdfTeX writes it); page 1 also has an embedded font, a Type 3
// font and a font no installed family resembles.
std::string FontsDocument() {
    TPdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 5 0 R "
                  "/Resources << /Font << /F1 10 0 R /F2 11 0 R /F3 12 0 R /F4 13 0 R >> >> >>");
    pdf.Object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 6 0 R "
                  "/Resources << /Font << /H 10 0 R >> >> >>");
    pdf.Stream(5, "", "BT /F1 12 Tf 10 10 Td (Hallo) Tj /F2 12 Tf (x) Tj /F3 1 Tf (a) Tj /F4 9 Tf (Welt) Tj ET");
    pdf.Stream(6, "", "BT /H 12 Tf 10 10 Td (zwei) Tj ET");
    pdf.Object(10, "<< /Type /Font /Subtype /Type1 /BaseFont 20 0 R >>");
    pdf.Object(20, "/Helvetica-Bold");
    pdf.Object(11, "<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+Arial /FirstChar 120 /LastChar 120 "
                   "/Widths [500] /FontDescriptor 14 0 R >>");
    pdf.Object(14, "<< /Type /FontDescriptor /FontName /ABCDEF+Arial /Flags 32 /FontFile2 15 0 R >>");
    pdf.Stream(15, "/Length1 4", "true");
    pdf.Object(12, "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1 1] /FontMatrix [1 0 0 1 0 0] "
                   "/CharProcs << /a 16 0 R >> /Encoding << /Differences [97 /a] >> /FirstChar 97 /LastChar 97 "
                   "/Widths [1] >>");
    pdf.Stream(16, "", "1 0 0 0 1 1 d1 0 0 1 1 re f");
    pdf.Object(13, "<< /Type /Font /Subtype /Type1 /BaseFont /Qwxyzzy-Grotesk,Italic /FirstChar 32 /LastChar 255 "
                   "/Widths [" + [] { std::string w; for (int i = 32; i < 256; ++i) w += "600 "; return w; }() + "] >>");
    pdf.Trailer("/Root 1 0 R");
    return pdf.WriteTo("missing-fonts.pdf");
}

const TDocumentFont* Named(const std::vector<TDocumentFont>& fonts, const std::string& name) {
    const auto found = std::find_if(fonts.begin(), fonts.end(), [&](const auto& f) { return f.baseFont == name; });
    return found == fonts.end() ? nullptr : &*found;
}

TEST(MissingFonts, OneEntryPerFontDictionaryWithItsPagesAndKind) {
    auto opened = OpenHeadless(FontsDocument());
    const std::vector<TDocumentFont> fonts = DocumentFonts(opened->doc);
    ASSERT_EQ(fonts.size(), 4u) << opened->AllMessages();

    const TDocumentFont* helvetica = Named(fonts, "Helvetica-Bold");
    ASSERT_TRUE(helvetica);
    EXPECT_EQ(helvetica->pages, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(helvetica->records.size(), 2u);
    EXPECT_EQ(helvetica->style, (TFontStyle{true, false}));
    EXPECT_FALSE(helvetica->embedded);
    for (char ch : std::string("Halozwei")) EXPECT_TRUE(helvetica->codes.test(static_cast<uint8_t>(ch))) << ch;
    EXPECT_FALSE(helvetica->codes.test('W'));

    const TDocumentFont* arial = Named(fonts, "ABCDEF+Arial");
    ASSERT_TRUE(arial);
    EXPECT_TRUE(arial->embedded);
    const TDocumentFont* grotesk = Named(fonts, "Qwxyzzy-Grotesk,Italic");
    ASSERT_TRUE(grotesk);
    EXPECT_EQ(grotesk->style, (TFontStyle{false, true}));
    EXPECT_EQ(std::count_if(fonts.begin(), fonts.end(), [](const auto& f) { return f.type3; }), 1);
}

TEST(MissingFonts, ChoicesFollowRulesThenProposalsAndLeaveEmbeddedAndType3Alone) {
    auto opened = OpenHeadless(FontsDocument());
    const std::vector<TDocumentFont> fonts = DocumentFonts(opened->doc);
    ASSERT_EQ(fonts.size(), 4u);
    const TDocumentFont& helvetica = *Named(fonts, "Helvetica-Bold");
    const TDocumentFont& arial = *Named(fonts, "ABCDEF+Arial");
    const TDocumentFont& grotesk = *Named(fonts, "Qwxyzzy-Grotesk,Italic");
    const TDocumentFont& type3 = *std::find_if(fonts.begin(), fonts.end(), [](const auto& f) { return f.type3; });

    const TFontChoice proposed = ChooseReplacement(helvetica, {});
    EXPECT_EQ(proposed.kind, TChoiceKind::Proposal);
    ASSERT_TRUE(proposed.face);
    // Its URW clone, the face viewers draw it with.
    EXPECT_EQ(proposed.face->family, "Nimbus Sans");
    EXPECT_EQ(proposed.face->style, (TFontStyle{true, false}));
    // No installed face is metric-compatible with the grotesk: the closest
    // sans face in its style stands in, unless substitutes are not wanted.
    const TFontChoice similar = ChooseReplacement(grotesk, {});
    EXPECT_EQ(similar.kind, TChoiceKind::Substitute);
    ASSERT_TRUE(similar.face);
    EXPECT_FALSE(similar.metricCompatible);
    EXPECT_EQ(InstalledFamilyClass(similar.face->family), TFontClass::Sans) << similar.face->family;
    EXPECT_EQ(similar.face->style, (TFontStyle{false, true}));
    EXPECT_EQ(ChooseReplacement(grotesk, {}, false).kind, TChoiceKind::NoGoodMatch);
    EXPECT_TRUE(proposed.metricCompatible);
    EXPECT_EQ(ChooseReplacement(arial, {}).kind, TChoiceKind::LeftAlone);

    const auto rule = [](const char* text) { return std::get<TReplacementRule>(ParseRule(text)); };
    const std::vector<TReplacementRule> rules = {rule("Qwx*=DejaVu Sans"), rule("Arial=DejaVu Serif:Bold"),
                                                 rule("*=Liberation Mono")};
    const TFontChoice byRule = ChooseReplacement(grotesk, rules);
    EXPECT_EQ(byRule.kind, TChoiceKind::Rule);
    EXPECT_EQ(byRule.rule, "Qwx*=DejaVu Sans");
    EXPECT_EQ(byRule.face->style, (TFontStyle{false, true}));
    const TFontChoice named = ChooseReplacement(arial, rules);
    EXPECT_EQ(named.kind, TChoiceKind::Rule);
    EXPECT_EQ(named.face->style, (TFontStyle{true, false}));
    EXPECT_EQ(ChooseReplacement(type3, rules).kind, TChoiceKind::LeftAlone);
    EXPECT_EQ(ChooseReplacement(helvetica, {rule("Helv*=Qwxyzzy Grotesk")}).kind, TChoiceKind::MissingFace);

    const auto check = CheckChoice(opened->doc, grotesk, *byRule.face);
    ASSERT_TRUE(check);
    EXPECT_TRUE(check->keepsWidths);
    EXPECT_TRUE(check->missing.empty());
}

TEST(MissingFonts, ApplyAddsEachFaceOnceAndReplacesOnEveryPage) {
    auto opened = OpenHeadless(FontsDocument());
    TPdfDocument& doc = opened->doc;
    const std::vector<TDocumentFont> fonts = DocumentFonts(doc);
    std::vector<TFontChoice> choices;
    for (const TDocumentFont& font : fonts)
        choices.push_back(ChooseReplacement(font, {std::get<TReplacementRule>(ParseRule("Qwx*=Nimbus Sans:Bold"))}));
    const int32_t before = doc.fontList.Count();
    const std::vector<std::string> names = ApplyChoices(doc, fonts, choices);
    // Helvetica-Bold's proposal and the rule's face are the same face.
    ASSERT_EQ(doc.fontList.Count(), before + 1);
    const TFontRecord& added = doc.fontList[static_cast<size_t>(before)];
    EXPECT_TRUE(added.hidden);
    EXPECT_TRUE(added.embed);
    EXPECT_TRUE(added.keepWidths);
    for (size_t k = 0; k < fonts.size(); ++k) {
        const bool replaced = choices[k].Replaces();
        EXPECT_EQ(names[k], replaced ? added.resName : "");
        for (int32_t record : fonts[k].records)
            EXPECT_EQ(doc.fontList[static_cast<size_t>(record)].replacementName, replaced ? added.resName : "");
    }
}

// The class of a font decides the face that stands in for it: by its name
// first, by the descriptor's flags where the name says nothing.
TEST(MissingFonts, FontClassesByNameAndFlags) {
    const struct {
        const char* name;
        int32_t flags;
        TFontClass expected;
    } cases[] = {
        {"Tahoma", 32, TFontClass::Sans},          {"ABCDEF+Verdana,Bold", 32, TFontClass::Sans},
        {"Georgia-BoldItalic", 34, TFontClass::Serif}, {"BookAntiqua", 32, TFontClass::Serif},
        {"Monaco", 32, TFontClass::Mono},          {"CourierNewPSMT", 0, TFontClass::Mono},
        {"BrushScriptMT", 32, TFontClass::Script}, {"SegoeUISymbol", 32, TFontClass::Symbol},
        {"LucidaSansTypewriter", 32, TFontClass::Mono}, {"Qwxyz", 1, TFontClass::Mono},
        {"Qwxyz", 2 | 32, TFontClass::Serif},       {"Qwxyz", 8, TFontClass::Script},
        {"Qwxyz", 32, TFontClass::Unknown},
    };
    for (const auto& c : cases) EXPECT_EQ(OldFontClass(c.name, c.flags), c.expected) << c.name;
    EXPECT_EQ(InstalledFamilyClass("Liberation Serif"), TFontClass::Serif);
    EXPECT_EQ(InstalledFamilyClass("DejaVu Sans Mono"), TFontClass::Mono);
    EXPECT_EQ(InstalledFamilyClass("DejaVu Sans"), TFontClass::Sans);
}

}  // namespace

// Each of the PostScript base-35 fonts gets its URW clone in the weight
// and slant its name gives, the symbol fonts included, before fontconfig
// is asked: the faces viewers draw those fonts with.
TEST(MissingFonts, TheBase35FontsGetTheirUrwClones) {
    const std::pair<const char*, const char*> cases[] = {
        {"Times-Roman", "NimbusRoman-Regular"},
        {"Times-BoldItalic", "NimbusRoman-BoldItalic"},
        {"Helvetica", "NimbusSans-Regular"},
        {"Helvetica-Oblique", "NimbusSans-Italic"},
        {"Helvetica-Narrow-Bold", "NimbusSansNarrow-Bold"},
        {"Courier", "NimbusMonoPS-Regular"},
        {"Courier-BoldOblique", "NimbusMonoPS-BoldItalic"},
        {"Symbol", "StandardSymbolsPS"},
        {"ZapfDingbats", "D050000L"},
        {"Palatino-Roman", "P052-Roman"},
        {"Palatino-BoldItalic", "P052-BoldItalic"},
        {"Bookman-Light", "URWBookman-Light"},
        {"Bookman-DemiItalic", "URWBookman-DemiItalic"},
        {"NewCenturySchlbk-Italic", "C059-Italic"},
        {"AvantGarde-Book", "URWGothic-Book"},
        {"AvantGarde-DemiOblique", "URWGothic-DemiOblique"},
        {"ZapfChancery-MediumItalic", "Z003-MediumItalic"},
    };
    for (const auto& [baseFont, clone] : cases) {
        TDocumentFont font;
        font.baseFont = baseFont;
        font.style = OldFontStyle(baseFont, 0);
        font.symbolic = std::string(baseFont) == "Symbol" || std::string(baseFont) == "ZapfDingbats";
        const TFontChoice choice = ChooseReplacement(font, {});
        EXPECT_EQ(choice.kind, TChoiceKind::Proposal) << baseFont;
        EXPECT_TRUE(choice.metricCompatible) << baseFont;
        ASSERT_TRUE(choice.face) << baseFont;
        const auto info = ReadFontProgramInfo(choice.face->path, choice.face->faceIndex);
        ASSERT_TRUE(info) << baseFont;
        EXPECT_EQ(info->postScriptName, clone) << baseFont;
        EXPECT_EQ(info->outlines, TOutlineKind::Cff) << baseFont;
    }
    // A user's rule still comes first.
    TDocumentFont courier;
    courier.baseFont = "Courier";
    const TFontChoice ruled = ChooseReplacement(courier, {std::get<TReplacementRule>(ParseRule("Courier=Liberation Mono"))});
    EXPECT_EQ(ruled.kind, TChoiceKind::Rule);
    ASSERT_TRUE(ruled.face);
    EXPECT_EQ(ruled.face->family, "Liberation Mono");
}
