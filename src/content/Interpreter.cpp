// The token loop of the content interpreter: one token read, one append and
// a dispatch on the token's length and characters per token.
//
// Operators find their operands at fixed distances from the end of the
// operand list, and the list is cleared only by "BT", "ET" and, inside a
// text object, by every token that begins with "T" or an apostrophe. Outside
// a text object no operator looks further back than seven entries and no
// text is shown, so the list is trimmed there to its last few entries; the
// results are the same as if it had grown for the whole content.
#include <algorithm>

#include "InlineImage_p.h"
#include "Interpreter_p.h"
#include "Lexer.h"

namespace {

// Outside a text object the list is cut back to kKeptOperands entries once
// it reaches kTrimOperandsAt; "c" and "cm" read the 7th entry from the end.
constexpr size_t kTrimOperandsAt = 64;
constexpr size_t kKeptOperands = 8;
// Inside a text object the entries since the last "T..." token are shown
// by the next text-showing operator. A text object of millions of tokens
// without one is no real producer's output; past this count the older half
// is dropped so that the list cannot take gigabytes.
constexpr size_t kMaxTextOperands = size_t{1} << 22;

// Memory the items of one page may take (estimated from the record sizes).
// Real pages stay far below it; a content that paints millions of empty
// paths or repeats a huge saved path would otherwise exhaust the machine.
constexpr size_t kPageBudgetBytes = size_t{256} << 20;

}  // namespace

TContentInterpreter::TContentInterpreter(TPdfDocument& doc, int32_t pageNo)
    : doc_(doc), ui_(doc.Ui()), pageNo_(pageNo), budgetBytes_(kPageBudgetBytes) {
    formBytesLeft_ = kPageBudgetBytes;
}

TContentInterpreter::~TContentInterpreter() = default;

void TContentInterpreter::Run(const uint8_t* content, int32_t length, bool pumpMessages) {
    if (!content || length < 0) length = 0;
    // Normally empty already; Clear releases what the items own.
    doc_.pageItems.Clear();
    dpi_ = ui_.Measurer().Dpi();
    if (dpi_ <= 0) dpi_ = 96;

    {
        // An item left in pageItems by an allocation failure must not reach
        // the next page's list.
        struct TPageItemsGuard {
            TPdfDocument& doc;
            bool done = false;
            ~TPageItemsGuard() {
                if (!done) doc.pageItems.Clear();
            }
        } pageItemsGuard{doc_};

        RunTokens(content, length, pumpMessages);
        DrawAppearances();
        pageItemsGuard.done = true;
    }

    ReplacePageItems(doc_, pageNo_);
    // The current path's storage goes away with this object; the mirrored
    // cursor must not point into it.
}

void TContentInterpreter::RunTokens(const uint8_t* content, int32_t length, bool pumpMessages) {
    TLexer lexer(content, length);
    operands_.reserve(kTrimOperandsAt);
    tokenPositions_.reserve(kTrimOperandsAt);

    // Every token advances, so the loop ends at the end of the buffer
    // whatever the bytes are.
    while (!lexer.AtEnd()) {
        if (pumpMessages) ui_.PumpMessages();
        tokenPositions_.push_back(static_cast<int32_t>(lexer.Pos()));
        operands_.emplace_back(lexer.Next().text);
        const std::string& token = operands_.back();
        const char first = token.empty() ? '\0' : token[0];
        // An inline image's data are no tokens; the image itself is not drawn.
        if (first == 'B' && token.size() == 2 && token[1] == 'I')
            lexer.SetPos(InlineImageEnd(content, length, static_cast<int32_t>(lexer.Pos())));
        Dispatch(token);
        if (inTextObject_) {
            if (first == 'T' || first == '\'') ClearOperands();
            else if (operands_.size() >= kMaxTextOperands) TrimOperands();
        } else if (operands_.size() >= kTrimOperandsAt) {
            TrimOperands();
        }
    }
}

void TContentInterpreter::ClearOperands() {
    operands_.clear();
    tokenPositions_.clear();
}

void TContentInterpreter::TrimOperands() {
    const size_t keep = inTextObject_ ? operands_.size() / 2 : kKeptOperands;
    if (operands_.size() <= keep) return;
    const auto drop = static_cast<std::ptrdiff_t>(operands_.size() - keep);
    operands_.erase(operands_.begin(), operands_.begin() + drop);
    tokenPositions_.erase(tokenPositions_.begin(), tokenPositions_.begin() + drop);
}

std::optional<double> TContentInterpreter::Number(size_t fromEnd) const {
    // Our conversion reads "." as the decimal point whatever the locale.
    return TryStrToFloat(Operand(fromEnd));
}

void TContentInterpreter::Dispatch(const std::string& token) {
    const size_t length = token.size();
    if (length == 0 || length > 3) return;
    const char c0 = token[0];
    if (length == 1) {
        switch (c0) {
            case 'q': SaveState(); return;
            case 'Q': RestoreState(); return;
            case 'g': SetGray(fillColor_); return;
            case 'G': SetGray(strokeColor_); return;
            case 'k': if (Has(5)) SetCmyk(fillColor_, 5); return;
            case 'K': if (Has(5)) SetCmyk(strokeColor_, 5); return;
            case 'n': ClearPath(); return;
            case 's': PaintPath(true, true, false); return;
            case 'S': PaintPath(false, true, false); return;
            case 'f': case 'F': PaintPath(false, false, true); return;
            case 'B': PaintPath(false, true, true); return;
            case 'b': PaintPath(true, true, true); return;
            case 'h': CloseSubpath(); return;
            case 'c': case 'v': case 'y': Curve(c0); return;
            case 'm': MoveOrLine(false); return;
            case 'l': MoveOrLine(true); return;
            case 'w': SetLineWidth(); return;
            case '\'': if (inTextObject_) ShowText(false, true); return;
            default: return;
        }
    }
    const char c1 = token[1];
    if (length == 3) {
        if (c0 == 's' && c1 == 'c' && token[2] == 'n') SetColorFamily(fillColor_);
        else if (c0 == 'S' && c1 == 'C' && token[2] == 'N') SetColorFamily(strokeColor_);
        return;
    }
    switch (c0) {
        case 'D': if (c1 == 'o') InvokeXObject(); return;
        case 'r':
            if (c1 == 'g') { if (Has(4)) SetRgb(fillColor_, 4); }
            else if (c1 == 'e') Rectangle();
            return;
        case 'R': if (c1 == 'G' && Has(4)) SetRgb(strokeColor_, 4); return;
        case 's':
            if (c1 == 'c') SetColorFamily(fillColor_);
            else if (c1 == 'h') ClearPath();
            return;
        case 'S': if (c1 == 'C') SetColorFamily(strokeColor_); return;
        case 'f': if (c1 == '*') PaintPath(false, false, true); return;
        case 'B':
            if (c1 == '*') PaintPath(false, true, true);
            else if (c1 == 'T') BeginText();
            return;
        case 'b': if (c1 == '*') PaintPath(true, true, true); return;
        case 'c': if (c1 == 'm') Concat(); return;
        case 'E': if (c1 == 'T') EndText(); return;
        case 'T':
            switch (c1) {
                case 'c': SetCharSpacing(); return;
                case 'w': SetWordSpacing(); return;
                case 'f': SelectFont(); return;
                case 'L': SetLeading(); return;
                default: break;
            }
            if (!inTextObject_) return;
            switch (c1) {
                case '*': NextLine(); return;
                case 'd': MoveText(false); return;
                case 'D': MoveText(true); return;
                case 'm': SetTextMatrix(); return;
                case 'j': ShowText(false, false); return;
                case 'J': ShowText(true, false); return;
                default: return;
            }
        default: return;
    }
}
