// The state of one run of the content interpreter. Everything here lives for
// one call of InterpretPage; nothing carries over between pages.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "PdfDocument.h"

struct TFontText;

struct TMatrix {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
};

// Widths of the display font's characters and the height of a space at one
// em height, measured on first use.
struct TEmMetrics {
    int32_t emPx = 0;
    int32_t spaceHeightPx = -1;
    std::array<int32_t, 256> charWidthPx;
};

class TContentInterpreter {
public:
    TContentInterpreter(TPdfDocument& doc, int32_t pageNo);
    ~TContentInterpreter();
    TContentInterpreter(const TContentInterpreter&) = delete;
    TContentInterpreter& operator=(const TContentInterpreter&) = delete;

    // Interprets the content into doc.pageItems; the document's own read
    // cursor is left alone.
    void Run(const uint8_t* content, int32_t length, bool pumpMessages);

private:
    struct TSavedPath {
        TSegmentList savedPath;
        double lineWidth = 1.0;
    };

    // ---- token loop (Interpreter.cpp) -------------------------------------
    void RunTokens(const uint8_t* content, int32_t length, bool pumpMessages);
    void Dispatch(const std::string& token);
    void ClearOperands();
    void TrimOperands();
    // The entry `fromEnd` places from the end of the operand list; the
    // operator itself is 1. Callers have checked the minimum count.
    const std::string& Operand(size_t fromEnd) const { return operands_[operands_.size() - fromEnd]; }
    std::optional<double> Number(size_t fromEnd) const;
    bool Has(size_t minimum) const { return operands_.size() >= minimum; }

    // ---- graphics operators (Graphics.cpp) --------------------------------
    void SaveState();
    void RestoreState();
    void SetGray(TColorRef& color);
    bool SetRgb(TColorRef& color, size_t first);
    bool SetCmyk(TColorRef& color, size_t first);
    void SetColorFamily(TColorRef& color);
    void ClearPath();
    void MoveOrLine(bool drawn);
    void Curve(char kind);
    void Rectangle();
    void CloseSubpath();
    void PaintPath(bool close, bool stroked, bool filled);
    void SetLineWidth();
    void Concat();
    void MultiplyCtm(const std::array<double, 6>& m);
    void PlaceImage(int32_t position);
    TPathSegment* AppendSegment(bool drawn);
    TDisplayItem* AppendItem();
    bool Spend(size_t bytes);

    // ---- XObjects, forms and appearances (Forms.cpp) ------------------------
    void InvokeXObject();
    int32_t ImagePosition(const std::string& name, TFilePos objectPos);
    void DrawForm(const TFormRecord& form, const std::array<double, 6>& matrix);
    const std::vector<uint8_t>* FormContent(const TFormRecord& form);
    void ClipToBox(const std::array<double, 4>& box);
    void DropItemsOutsideClip(int32_t firstItem);
    void DrawAppearances();
    // The record of a font name in the current resources; -1 for none.
    int32_t FontPosition(const std::string& resName);

    // ---- text operators (TextOperators.cpp) -------------------------------
    void BeginText();
    void EndText();
    void SetCharSpacing();
    void SetWordSpacing();
    void SetLeading();
    void SelectFont();
    void NextLine();
    void MoveText(bool setLeading);
    void SetTextMatrix();
    void ShowText(bool isTJ, bool nextLineFirst);
    void AppendHexString(const std::string& token);
    void AppendLiteralString(const std::string& token);
    void AppendAdjustment(const std::string& token);
    void AppendCharacter(uint8_t code);
    void AppendCompositeCodes(const std::string& bytes);
    void AppendGlyph(uint32_t widthKey, const std::string& characters, uint8_t shown = 0, bool space = false);
    void BuildRun();
    void BuildColumn();
    TEmMetrics& MetricsFor(int32_t emPx);
    double CharAdvance(uint8_t ch, double scale, int32_t emPx, double emScale);

    TPdfDocument& doc_;
    TDocumentUi& ui_;
    const int32_t pageNo_;

    std::vector<std::string> operands_;
    std::vector<int32_t> tokenPositions_;

    TMatrix ctm_;
    TColorRef fillColor_ = 0;
    TColorRef strokeColor_ = 0;
    double lineWidth_ = 1.0;
    double currentX_ = 0, currentY_ = 0;
    TSegmentList currentPath_;
    std::vector<TMatrix> ctmStack_;
    std::vector<TSavedPath> pathStack_;
    // "q"s beyond the depth limit: they saved nothing, and as many "Q"s
    // restore nothing.
    int64_t unsavedDepth_ = 0;
    bool inTextObject_ = false;

    // Text state.
    TMatrix textMatrix_;
    double lineAdvance_ = 0;
    // How far vertical writing has moved down the line, in text space.
    double columnAdvance_ = 0;
    double textFontSize_ = 1.0;
    std::string fontResName_ = "/R1";
    double leading_ = 0;
    double charSpacing_ = 0;
    double wordSpacing_ = 0;
    // The selected font's tables, shared with its record (the document's
    // font records outlive the interpretation).
    const TFontCodes* codes_ = &TFontCodes::Empty();
    int32_t firstChar_ = 0;
    uint8_t isType3_ = 0;
    double bboxHeight_ = 1.0;
    int32_t selectedFont_ = -1;  // fontList index the copies came from
    // Code to WinAnsi conversion of the selected font's encoding; null: the
    // codes pass unchanged.
    const std::array<uint8_t, 256>* encodingMap_ = nullptr;
    // The selected font's text beyond its encoding (ToUnicode, a program's
    // own encoding, a composite font's codes); null: the encoding alone.
    const TFontText* fontText_ = nullptr;
    // The run being built: its text (UTF-8) and per glyph the key its width
    // is found by (the WinAnsi code of a simple font, the CID of a composite
    // one), the number of characters it added to the text, and its spacing.
    // widthKey: a simple font's code, a composite font's CID; shown: the
    // WinAnsi character the display font measures when /Widths says nothing.
    // space: a composite font's one-byte code 32, which word spacing moves.
    struct TRunGlyph {
        uint32_t widthKey = 0;
        uint32_t characters = 1;
        uint8_t shown = 0;
        bool space = false;
    };
    std::string runText_;
    std::vector<TRunGlyph> runGlyphs_;
    std::vector<double> runSpacings_;
    // A glyph without any character ended the run's text; the glyphs
    // behind it still take their room.
    bool runTextEnded_ = false;
    int32_t dpi_ = 96;

    // Resource name to list position (-1: no record has it), so that a
    // name's walk over the lists of all pages is made once per page.
    std::unordered_map<std::string, int32_t> fontIndex_;
    std::unordered_map<std::string, int32_t> imageIndex_;

    // The resources that names are looked up in: the page's (-1, null), or
    // those of the form being drawn (its /Resources position and /XObject
    // entries). Forms being drawn, innermost last, stop cycles.
    TFilePos fontScope_ = -1;
    const std::vector<std::pair<std::string, TFilePos>>* formXObjects_ = nullptr;
    std::vector<TFilePos> formStack_;
    std::unordered_map<TFilePos, std::vector<uint8_t>> formContents_;
    // What the forms being drawn clip to, in page space: the bounds of
    // their /BBox under the matrix, the boxes of nested forms intersected.
    // None outside forms and for a form without a box.
    struct TClipBox {
        double left = 0, bottom = 0, right = 0, top = 0;
    };
    std::optional<TClipBox> formClip_;
    // Content bytes that forms may still run on this page; see DrawForm.
    size_t formBytesLeft_ = 0;
    bool formLimitTold_ = false;
    std::vector<std::unique_ptr<TEmMetrics>> metrics_;

    // Memory the page's items may still take; see Spend.
    size_t budgetBytes_;
    bool budgetExhausted_ = false;
};

// Moves doc.pageItems to the end of doc.displayList in place of the page's
// earlier items, and keeps doc.pageItemIndex in step.
void ReplacePageItems(TPdfDocument& doc, int32_t pageNo);
