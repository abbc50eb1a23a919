// The one way the core reaches the user. The window implements it with
// widgets; THeadlessUi collects everything in memory for tests and for the
// command-line tool. The core hands over facts (TNotice, TProgress); the
// words are made on the user interface's side. All texts are UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Notices.h"

enum class TMsgIcon { Error, Information };

// Text measuring with the display font on the page view's surface.
// Characters are Windows-1252 bytes; sizes are in device pixels.
class TTextMeasurer {
public:
    virtual ~TTextMeasurer() = default;
    // Horizontal resolution of the drawing surface in dots per inch.
    virtual int32_t Dpi() = 0;
    // Width in pixels of the one-character text `ch` at an em height of
    // emHeightPx pixels.
    virtual int32_t CharWidth(uint8_t ch, int32_t emHeightPx) = 0;
    // Width and height in pixels of a text, as a text extent reports them
    // (height = ascent + descent of the font at that size).
    virtual void TextExtent(const std::string& text, int32_t emHeightPx, int32_t& widthPx,
                            int32_t& heightPx) = 0;
    // The display font's family ("Arial" at start) and style.
    virtual void SetFont(const std::string& family, bool bold, bool italic) = 0;
    virtual std::string FaceName() = 0;
};

class TDocumentUi {
public:
    virtual ~TDocumentUi() = default;

    // A modal message box with an OK button; the caption is the application
    // title "PDF Glyphwell".
    virtual void ShowMessage(const std::string& text, TMsgIcon icon) = 0;

    // The progress window of an open: shown at its start, closed at its end.
    virtual void ShowProgressWindow() = 0;
    virtual void CloseProgressWindow() = 0;
    // Something the user should know about the file or the work on it (a
    // damaged page, a font that may not be embedded): a line of the progress
    // window's status memo, or a message box where the kind asks for one.
    virtual void Notice(const TNotice& notice) = 0;
    // How far the open has got ("3 Seiten gefunden...", the status label
    // "Lese Seite 3..."). The memo shows it like any other line; the
    // command line keeps it out of a script's way.
    virtual void Progress(const TProgress& progress) = 0;
    virtual void SetProStatus(int32_t percent) = 0;
    // The reader looks up from its work: the moment to take a cancel the
    // user asked for (the window reads on a thread of its own and sets the
    // document's flag here). Called very often while pages are interpreted.
    virtual void PumpMessages() = 0;

    // The item of "PDF Version:" (0 = 1.2, 1 = 1.3, 2 = 1.4).
    virtual void SelectVersionItem(int32_t item) = 0;
    virtual int32_t VersionItem() = 0;

    // The reader has refilled the document-information values.
    virtual void InfoFieldsChanged() = 0;
    // The open's finishing steps on the window's side: the page count label,
    // the page field set to 1 (which refreshes the font table), the tab
    // "Schriftarten".
    virtual void OpenFinished(int32_t pageCount) = 0;

    virtual TTextMeasurer& Measurer() = 0;

    // Saving: the target file name (empty optional: cancelled), and showing
    // the written file in the system's PDF viewer.
    virtual std::optional<std::string> AskSaveFileName() = 0;
    virtual bool ShowSavedFileWanted() = 0;
    virtual void ShowFileInViewer(const std::string& path) = 0;
};

// A measurer for tests and for builds without fonts: every character is
// em * widthFactor pixels wide, the height of a text is em * heightFactor.
class TFixedMeasurer : public TTextMeasurer {
public:
    explicit TFixedMeasurer(double widthFactor = 0.5, double heightFactor = 1.0, int32_t dpi = 96)
        : widthFactor_(widthFactor), heightFactor_(heightFactor), dpi_(dpi) {}
    int32_t Dpi() override { return dpi_; }
    int32_t CharWidth(uint8_t, int32_t emHeightPx) override {
        return static_cast<int32_t>(emHeightPx * widthFactor_);
    }
    void TextExtent(const std::string& text, int32_t emHeightPx, int32_t& widthPx, int32_t& heightPx) override {
        widthPx = static_cast<int32_t>(text.size()) * CharWidth(0, emHeightPx);
        heightPx = static_cast<int32_t>(emHeightPx * heightFactor_);
    }
    void SetFont(const std::string& family, bool, bool) override { face_ = family; }
    std::string FaceName() override { return face_; }

private:
    double widthFactor_;
    double heightFactor_;
    int32_t dpi_;
    std::string face_ = "Arial";
};

// Collects everything in memory, each kind in its order: `notices` what the
// core tells, `progress` how far an open got, `messages` the message boxes
// and `statusLines` the memo lines the user interface's side adds.
class THeadlessUi : public TDocumentUi {
public:
    struct TMessage {
        std::string text;
        TMsgIcon icon;
    };

    explicit THeadlessUi(TTextMeasurer* measurer = nullptr) : measurer_(measurer) {}

    void ShowMessage(const std::string& text, TMsgIcon icon) override { messages.push_back({text, icon}); }
    void ShowProgressWindow() override { progressShown = true; }
    void CloseProgressWindow() override { progressShown = false; }
    void Notice(const TNotice& notice) override { notices.push_back(notice); }
    void Progress(const TProgress& step) override {
        // One entry for the page being read, not one per page of the file.
        if (step.step == TProgressStep::ReadingPage && !progress.empty() &&
            progress.back().step == TProgressStep::ReadingPage)
            progress.back() = step;
        else
            progress.push_back(step);
    }
    void SetProStatus(int32_t percent) override { progressPercent = percent; }
    void PumpMessages() override {
        if (onPump) onPump();
    }
    void SelectVersionItem(int32_t item) override { versionItem = item; }
    int32_t VersionItem() override { return versionItem; }
    void InfoFieldsChanged() override {}
    void OpenFinished(int32_t pageCount) override {
        pageCountLabel = "von " + std::to_string(pageCount);
        ++openFinishedCount;
    }
    TTextMeasurer& Measurer() override { return measurer_ ? *measurer_ : fixed_; }
    std::optional<std::string> AskSaveFileName() override { return saveFileName; }
    bool ShowSavedFileWanted() override { return false; }
    void ShowFileInViewer(const std::string&) override {}

    void SetMeasurer(TTextMeasurer* measurer) { measurer_ = measurer; }

    std::vector<TMessage> messages;
    std::vector<TNotice> notices;
    std::vector<TProgress> progress;
    std::vector<std::string> statusLines;
    std::string pageCountLabel = "von 0";
    int32_t progressPercent = 0;
    int32_t versionItem = 1;
    int32_t openFinishedCount = 0;
    bool progressShown = false;
    std::optional<std::string> saveFileName;
    // Called on every PumpMessages, for tests that act in the middle of an open.
    std::function<void()> onPump;

private:
    TTextMeasurer* measurer_;
    TFixedMeasurer fixed_;
};
