// What the core has to tell the user while it reads, draws or writes, as
// facts: the window and glyphwell-cli put them into words (NoticeText and
// ProgressText, made where the user interface is).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "Filters.h"

enum class TNoticeKind : uint8_t {
    // Reading a page's content streams; `page` says which.
    PageContentTooLarge,
    PageFilterUnsupported,  // `name`: the filter
    PageContentCutShort,    // read up to where the data stop
    PageContentDamaged,     // `decode`, `detail`: why; `partly`: read up to the damage
    ImageDamaged,
    // Drawing a page.
    FormUnreadable,
    TooManyFormCalls,
    TooManyItems,
    // Saving.
    ContentNotDecodable,  // some page's content could not be decoded (a message box)
    FontLicenceForbids,   // `name`: the font, whose licence forbids embedding
    FontLicenceBitmapOnly,
    FontFileUnreadable,
};

struct TNotice {
    explicit TNotice(TNoticeKind what, int64_t onPage = 0, std::string fontOrFilter = {})
        : kind(what), page(onPage), name(std::move(fontOrFilter)) {}
    // A page's content that cannot be decoded.
    static TNotice Damaged(int64_t onPage, const TDecodeError& error, bool readPartly) {
        TNotice notice(TNoticeKind::PageContentDamaged, onPage);
        notice.decode = error.failure;
        notice.detail = error.what();
        notice.partly = readPartly;
        return notice;
    }

    TNoticeKind kind;
    int64_t page = 0;  // 1-based; 0 where no page is concerned
    std::string name;  // a font's or a filter's name, UTF-8
    TDecodeFailure decode = TDecodeFailure::Corrupt;
    std::string detail;  // zlib's own words for corrupt data
    bool partly = false;
};

// How far an open has got.
enum class TProgressStep : uint8_t {
    Started,         // the status label is emptied
    PagesFound,      // `count` pages
    ReadingPages,
    ReadingPage,     // `count`: the 1-based page
    FontsFound,      // `count` fonts
    FormFontsFound,  // `count` fonts of forms and annotations
    ImagesFound,     // `count` images and form objects
    JpegsRead,       // `count` JPEG images decoded
};

struct TProgress {
    TProgressStep step;
    int64_t count = 0;
};
