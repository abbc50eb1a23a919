// libFuzzer entry: one input is one PDF file. It is opened the way the
// command-line tool opens files (headless user interface, fixed-width
// measurer so no font lookup runs in the loop), every page is interpreted,
// what each code of every simple font stands for is read as a replacement
// reads it (the fonts' embedded programs go through FreeType), and when
// pages came out the document is rewritten with nothing replaced and
// written into memory.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "CidGlyphs.h"
#include "CodeCharacters.h"
#include "ContentInterpreter.h"
#include "ContentRewrite.h"
#include "OutputFile.h"
#include "PdfDocument.h"
#include "PdfWriter.h"
#include "ReplacementGlyphs.h"

namespace {

// openfilenow takes a path, so every input goes through one file in a
// folder of this process (memory-backed where the system has /dev/shm).
class TFuzzFolder {
public:
    TFuzzFolder() {
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        folder_ = base / ("glyphwell-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder_);
        input_ = (folder_ / "input.pdf").string();
    }
    ~TFuzzFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::string& InputPath() const { return input_; }

private:
    std::filesystem::path folder_;
    std::string input_;
};

TFuzzFolder& Folder() {
    static TFuzzFolder folder;
    return folder;
}

bool WriteInput(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool complete = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && complete;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = Folder().InputPath();
    if (!WriteInput(path, data, size)) std::abort();

    TFixedMeasurer measurer;
    THeadlessUi ui(&measurer);
    TPdfDocument doc(ui);
    doc.openfilenow(path);
    InterpretAllPages(doc);
    std::set<TFilePos> fontsRead;  // a font of many pages once
    for (TFontRecord& font : doc.fontList)
        if (!font.hidden && font.subtype != "/Type0" && fontsRead.insert(font.fontDictPos).second)
            SimpleCodeCharacters(doc, font, ReadOldFont(doc, font));
    // Composite fonts' codes, split by their encodings, and their characters.
    TDrawnCodes drawn(doc);
    for (int32_t page = 0; page < doc.pageList.Count() && page < 64; ++page) drawn.AddPage(page);
    for (TFontRecord& font : doc.fontList) {
        if (font.hidden || font.subtype != "/Type0") continue;
        if (const TFontText* text = FontTextOf(doc, font); text && text->composite) {
            CountUnknownComposite(*text, drawn.WideOf(font));
            text->encoding.CodeSpaceRanges();
        }
    }

    if (doc.pageList.Count() > 0) {
        TellUndecodablePages(doc);
        // The classic table and the compact form both.
        TStringSink classic;
        WritePdf(doc, classic, 2);
        TStringSink compact;
        WritePdf(doc, compact, 3);
    }
    return 0;
}
