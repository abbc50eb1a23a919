// The bytes of the file and of the objects taken out of object streams,
// and the stream data behind a "stream" keyword.
#include "PdfFile.h"

#include "CryptObjects.h"

#include <algorithm>
#include <cstring>

TFileBytes::TLoad TPdfFile::Load(const std::string& path) {
    ResetFile();
    return source_.Load(path);
}

void TPdfFile::Assign(std::string_view bytes) {
    ResetFile();
    source_.Assign(bytes);
}

void TPdfFile::ResetFile() {
    source_.Clear();
    std::string().swap(extension_);
    extensionBase_ = 0;
    filePos = 0;
    dictEntries = TDictEntryList();
    parseFailed = 0;
    objTable.clear();
    objTable.shrink_to_fit();
    objCount = 0;
    std::vector<uint32_t>().swap(valueDistance_);
    tableFinished_ = false;
    rootFound = infoFound = encrypted = 0;
    trailerId = TDictEntry{};
    repaired = false;
    badEntries.clear();
    scannedOffsets.clear();
    lostObjects.clear();
    unsupportedFeature.clear();
    badNumber_.reset();
    password_.clear();
    cryptState_ = TCryptState::Clear;
    security_.reset();
    encryptDictText_.clear();
    fileId_[0].clear();
    fileId_[1].clear();
    encryptIsObject_ = false;
    encryptDictPos_ = -1;
}

void TPdfFile::NoteBadNumber(TOpenProblemKind kind, const std::string& token) {
    if (badNumber_) return;
    TOpenProblem problem;
    problem.kind = kind;
    problem.detail = token;
    problem.offset = filePos;
    badNumber_ = std::move(problem);
}

TByteSpan TPdfFile::SpanAt(TFilePos pos) const {
    if (extension_.empty() || pos < extensionBase_)
        return {source_.data(), 0, static_cast<TFilePos>(source_.size())};
    return {reinterpret_cast<const uint8_t*>(extension_.data()), extensionBase_,
            extensionBase_ + static_cast<TFilePos>(extension_.size())};
}

void TPdfFile::ReleaseBytes(TFilePos start, TFilePos end) const {
    if (start < 0 || end <= start || start >= SourceSize()) return;
    source_.Release(static_cast<size_t>(start), static_cast<size_t>(std::min(end, SourceSize())));
}

// The data start behind the line end that follows the keyword. Binary data
// may themselves begin with a blank byte (fax data do): when the data that
// start right behind the keyword's line end are followed by "endstream" at
// exactly /Length, those are taken; otherwise blanks are skipped. A /Length
// that "endstream" does not confirm (or none at all, -1) is replaced by the
// distance to the next "endstream"; without one, the bytes that are there
// up to /Length are taken, and a negative length gives none.
bool TPdfFile::ReadStreamBytes(TFilePos length, std::vector<uint8_t>& data) {
    data.clear();
    const TFilePos keywordPos = GetPos();
    const TByteSpan span = SpanAt(keywordPos);
    const auto extent = StreamExtentAt(span, keywordPos, length);
    if (!extent) {
        SetPos(keywordPos);
        return false;
    }
    if (extent->count > 0) {
        const uint8_t* first = span.data + (extent->start - span.begin);
        data.assign(first, first + extent->count);
    }
    SetPos(extent->start + extent->count);
    return true;
}
