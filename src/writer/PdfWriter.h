// Writing a new PDF file from the open document.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Conformance.h"
#include "DocumentMetadata.h"
#include "FormRewrite.h"
#include "InfoEdits.h"
#include "OutputFile.h"
#include "PdfDocument.h"

// What a written file holds that the user should know about.
struct TWriteReport {
    // Objects the old table lists in use whose bytes are not where it says
    // ("N G obj" for another number, the file header at offset 0): written
    // as null.
    int32_t missingObjects = 0;
    // Fonts chosen on a page that it still draws in the original inside a
    // form or an annotation appearance (see FormRewrite.h).
    std::vector<TKeptFormFont> keptFormFonts;
    // Fonts chosen on a page whose content is written as the file has it,
    // because it could not be read to its end: the page still selects the
    // old font (its object was not replaced in place).
    std::vector<TKeptFormFont> keptPageFonts;
    // The header's version where the file's encryption needed a newer one
    // than the chosen ("1.6" for AES-128, "1.7" for AES-256); empty otherwise.
    std::string raisedVersion;
    TMetadataOutcome metadata = TMetadataOutcome::None;
    std::vector<TClaimProblem> claimProblems;
};

// How the file is written besides its content.
struct TWriteOptions {
    // An encrypted document is written without its encryption (only allowed
    // when it was opened with the owner password; the caller decides).
    bool decrypt = false;
    // The document information as the user typed it; without, as read.
    std::optional<TInfoEdits> info;
    // Every page whose content was read whole gets a content stream written
    // anew, each selection of a replaced font exchanged (see
    // PageContentIsRewritten); otherwise every page keeps its old streams.
    bool rewriteContents = true;
};

// The fonts chosen on pages whose content the writer copies as the file has
// it (every page when contents are not rewritten, else those that
// PageContentIsRewritten leaves): such a page keeps selecting the old font,
// unless the replacement took over the old font's object. In page order, by
// name within a page.
std::vector<TKeptFormFont> FontsKeptOnCopiedPages(const TPdfDocument& doc, bool rewriteContents = true);

enum class TWriteResult { Written, CreateFailed, WriteFailed };

struct TWriteOutcome {
    TWriteResult result = TWriteResult::Written;
    std::string errorText;  // the system's reason for a failure
    TWriteReport report;
};

// Writes the document to `path` through a temporary file in the same
// folder; an existing file of that name is replaced only when the whole new
// file was written and synced, and stays untouched otherwise.
// versionItem: 0 = PDF 1.2, 1 = 1.3, 2 = 1.4.
TWriteOutcome WritePdfFile(TPdfDocument& doc, const std::string& path, int32_t versionItem,
                           const TWriteOptions& options = {});

// The same bytes into any sink (tests write to memory).
TWriteReport WritePdf(TPdfDocument& doc, TByteSink& out, int32_t versionItem, const TWriteOptions& options = {});

// The file that "PDF speichern unter..." would write now, with every
// replacement applied, as bytes in memory. No message is shown for a page
// whose content could not be decoded (it is written unchanged).
std::string WritePdfToMemory(TPdfDocument& doc, int32_t versionItem);

