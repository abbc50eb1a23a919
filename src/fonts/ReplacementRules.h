// Replacement rules: which installed font stands in for an old font, by the
// old font's base name ("Times-*=Liberation Serif", "Arial,Bold=Liberation
// Sans:Bold"). The same syntax on the command line and in a rules file, one
// rule a line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct TFontStyle {
    bool bold = false;
    bool italic = false;
    bool operator==(const TFontStyle&) const = default;
};

struct TReplacementRule {
    std::string pattern;                 // "*" stands for any run of characters
    std::optional<TFontStyle> oldStyle;  // only old fonts of this style
    std::string family;                  // installed family, UTF-8
    std::optional<TFontStyle> newStyle;  // the face; otherwise the old font's style
    bool operator==(const TReplacementRule&) const = default;
};

enum class TRuleProblem : uint8_t {
    NoEquals,            // no "=" between the old and the new font
    SeveralEquals,
    UnknownStyle,        // `detail`: the style as written
    OldFontMissing,
    BadOldFontCharacter, // a blank, "/" or ":" in the old font's name
    NewFontMissing,
    FileUnreadable,      // `detail`: the path
    FileTooLarge,        // `detail`: the path
};

struct TRuleError {
    int32_t line = 0;  // 1-based; 0 for a rule given on its own
    TRuleProblem problem = TRuleProblem::NoEquals;
    std::string detail;
};

// PATTERN[,STYLE]=FAMILY[:STYLE] with STYLE one of Regular, Bold, Italic,
// BoldItalic (the new face may also be written "Bold:Italic").
std::variant<TReplacementRule, TRuleError> ParseRule(const std::string& text);
// A rules file: one rule a line; blank lines and lines starting with "#"
// are skipped. The first malformed line refuses the whole file.
std::variant<std::vector<TReplacementRule>, TRuleError> ParseRules(const std::string& text);
// The rule as ParseRule reads it back.
std::string FormatRule(const TReplacementRule& rule);
std::string FormatRules(const std::vector<TReplacementRule>& rules);

// The PostScript base-35 fonts, each to its URW clone (the same glyphs,
// glyph names and widths, as OpenType with CFF outlines, and the faces
// viewers draw the fonts with where a file does not embed them): Times to
// Nimbus Roman, Courier to Nimbus Mono PS, Symbol to Standard Symbols PS,
// ZapfDingbats to D050000L, Palatino to P052 and so on. Consulted after
// the user's rules, for fonts without a program of their own.
const std::vector<TReplacementRule>& StandardCloneRules();

std::variant<std::vector<TReplacementRule>, TRuleError> LoadRulesFile(const std::string& path);
// Written beside the target and renamed, so a failed write leaves the old
// file. False when it cannot be written.
bool SaveRulesFile(const std::string& path, const std::vector<TReplacementRule>& rules);

// "ABCDEF+Times-Roman" -> "Times-Roman": a subset tag is six capitals and
// a plus sign.
std::string WithoutSubsetTag(const std::string& baseFont);
// The style of an old font from its base name (",Bold", "-BoldItalic",
// "Oblique", ...) and its descriptor's flags (italic 64, force bold 0x40000).
TFontStyle OldFontStyle(const std::string& baseFont, int32_t descriptorFlags);
// The base name without a ",Style" suffix, which PDF producers append to
// TrueType names ("Arial,Bold").
std::string WithoutStyleSuffix(const std::string& baseFont);

// Whether `pattern` matches all of `text`; "*" matches any run, letters
// compare without regard to ASCII case.
bool WildcardMatch(const std::string& pattern, const std::string& text);

// The first rule that names this old font (base name without subset tag),
// or nothing. A rule without a comma matches the name with or without its
// ",Style" suffix.
const TReplacementRule* FindRule(const std::vector<TReplacementRule>& rules, const std::string& baseFont,
                                 const TFontStyle& oldStyle);
