// TPdfFile: the bytes of one PDF file and everything read straight from them
// — the cursor with the token functions over it, the object table with its
// repair, the trailer's references and the objects of object streams.
//
// Positions are 64-bit (TFilePos), so files of any size are read. The file
// is mapped, never copied; the objects the reader takes out of object
// streams live in a buffer of their own, whose positions start behind the
// file's end (with a gap, so that a cursor run past the file's last byte
// reads filler and never lands in them). Either block is a TByteSpan; every
// read picks the span that holds its position.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "FileBytes.h"
#include "Lexer.h"
#include "OpenResult.h"
#include "PdfRecords.h"
#include "Security.h"

// How the file's encryption was met.
enum class TCryptState : uint8_t {
    Clear,           // not encrypted
    Opened,          // encrypted; a password fitted and every object was deciphered
    PasswordNeeded,  // the empty password does not fit, and none was given
    WrongPassword,   // the password given fits neither as user nor as owner password
    Unsupported,     // another handler (certificates), an unknown revision, or no dictionary
};

// A block of bytes together with the position its first byte has.
struct TByteSpan {
    const uint8_t* data = nullptr;
    TFilePos begin = 0;
    TFilePos end = 0;

    bool Holds(TFilePos pos) const { return pos >= begin && pos < end; }
    uint8_t operator[](TFilePos pos) const { return data[pos - begin]; }
    // Up to n bytes from pos, cut at the end (empty outside the span).
    std::string_view View(TFilePos pos, TFilePos n) const;
    TLexer LexerAt(TFilePos pos) const { return TLexer(data, begin, end, pos); }
};

class TPdfFile {
public:
    TPdfFile() = default;
    TPdfFile(const TPdfFile&) = delete;
    TPdfFile& operator=(const TPdfFile&) = delete;

    // ---- the bytes ----------------------------------------------------------
    // Maps the file at path; forgets the table and the objects of the last one.
    TFileBytes::TLoad Load(const std::string& path);
    // Reads these bytes instead (documents made in memory, tests).
    void Assign(std::string_view bytes);
    // The file's own bytes, as they are on disk.
    const TFileBytes& Source() const { return source_; }
    TFilePos SourceSize() const { return static_cast<TFilePos>(source_.size()); }
    // The span that holds pos: the file's bytes, or the objects taken out
    // of object streams (an empty span for neither).
    TByteSpan SpanAt(TFilePos pos) const;
    // Hands the memory of the file's pages in [start, end) back to the
    // system (see TFileBytes::Release).
    void ReleaseBytes(TFilePos start, TFilePos end) const;
    // Walks over many objects or pages (the open's checks, the pictures,
    // the pages, the writer's copy) fault in all of a large file: called
    // with the walk's count, this hands the mapped bytes read so far back
    // now and then, so that the file is never resident all at once. What
    // is needed again comes from the system's file cache. Once in so many
    // steps only: each release walks the whole mapping.
    static constexpr int64_t kObjectsPerRelease = 1024;
    void ReleaseWhileWalking(int64_t step, int64_t stepsPerRelease) const {
        if (stepsPerRelease > 0 && step % stepsPerRelease == stepsPerRelease - 1) ReleaseBytes(0, SourceSize());
    }

    // ---- cursor and byte level --------------------------------------------
    void SetPos(TFilePos pos) { filePos = pos; }
    TFilePos GetPos() const { return filePos; }
    // The position behind the last byte of the span the cursor reads in.
    TFilePos End() const { return SpanAt(filePos).end; }
    // Copies n bytes from filePos and advances; bytes beyond the data are 0.
    void ReadBytes(uint8_t* buffer, int32_t n);
    // The byte at filePos, or a filler byte past the end (CR when
    // End() - filePos + 1 is odd, "`" when even). Always advances by 1.
    uint8_t ReadByteSafe();
    // Whether the next len(text) bytes equal text; advances by len(text)
    // whether or not they do. Bytes beyond the data never match.
    bool MatchAt(const std::string& text);
    bool PrevIsLineEnd() const;

    // ---- line level -------------------------------------------------------
    void BackToLineStart();
    void SkipLine();
    std::string ReadLine();
    int32_t ReadLineInt();

    // ---- token level ------------------------------------------------------
    // The next token; afterwards filePos stands on the first non-blank byte
    // behind it.
    std::string ReadToken();
    void SkipComment();
    void SkipBlanksAndComments();
    int32_t ReadInt();
    // Parses the dictionary at filePos into dictEntries; sets parseFailed
    // when the data there do not start with "<<".
    void ParseDict();
    void DiscardEntries();
    // The filter names of a /Filter entry: a name, an array, or a
    // reference to either. The cursor is kept.
    std::vector<std::string> FilterNames(const TDictEntry& entry);
    // Where the text of object n starts ("n g obj"); nothing for a number
    // the table has no object for. Every reader of an object goes through
    // here (FetchObject, the writer's copy).
    std::optional<TFilePos> ObjectPos(int32_t objNum) const;
    // The data of stream object n, decoded through its filters; its
    // dictionary is left in dictEntries. False when n is no stream the
    // reader can decode.
    bool DecodedStream(int32_t objNum, std::vector<uint8_t>& data);
    // Positions the cursor on the first value token of object n. Once the
    // table is built, where that is is remembered: the pages, the fonts,
    // the forms and the writer each look up the same pictures and forms,
    // and reading their "n g obj" again would bring a large file's pages
    // back into memory only to step over three tokens.
    bool FetchObject(int32_t objNum);
    // Takes the parsed list over and installs a fresh, empty dictEntries.
    TDictEntryList TakeDictEntries();
    // Copies up to `length` bytes of the stream whose "stream" keyword is at
    // the cursor; a missing or wrong length is found from "endstream".
    // False without the keyword.
    bool ReadStreamBytes(TFilePos length, std::vector<uint8_t>& data);

    // ---- encryption -----------------------------------------------------------
    // The password to try when the file is encrypted (user or owner
    // password); without one, the empty password is tried. Set after
    // Load, before BuildObjectTable.
    void SetPassword(std::string password) { password_ = std::move(password); }
    // The password the file was opened with (to open a file written from
    // it, which keeps its passwords).
    const std::string& Password() const { return password_; }
    TCryptState CryptState() const { return cryptState_; }
    // The handler of an encrypted file that opened; nothing otherwise.
    const TSecurityHandler* Security() const { return security_ ? &*security_ : nullptr; }
    // What may be done with the document: everything unless the file is
    // encrypted and was opened without its owner password.
    TPermissions Permissions() const;
    // The /Encrypt dictionary as the file writes it ("<<" to ">>").
    const std::string& EncryptDictText() const { return encryptDictText_; }
    // The strings of the trailer's /ID as bytes (empty where it has none).
    const std::string& FileId(int index) const { return fileId_[index == 0 ? 0 : 1]; }
    // Whether /Encrypt names an object (encryptObjNum) rather than holding
    // the dictionary in the trailer.
    bool EncryptIsObject() const { return encryptIsObject_; }

    // ---- the object table ---------------------------------------------------
    const std::vector<TObjEntry>& Table() const { return objTable; }
    int32_t ObjCount() const { return objCount; }
    // Fills the table from the cross-reference chain, rebuilding it by a
    // scan of the file where the chain is unusable (sets `repaired`), and
    // takes the objects of object streams out. False when no catalog was
    // found.
    bool BuildObjectTable();
    bool LocateStartXref(TFilePos& sectionPos);
    bool ReadXrefChain(TFilePos sectionPos);
    // The (object number, offset) pairs at the start of an object stream.
    static std::vector<std::pair<int32_t, int32_t>> ObjectStreamIndex(const std::vector<uint8_t>& data,
                                                                      int64_t count);

    // ---- parse results and the trailer --------------------------------------
    TDictEntryList dictEntries;
    uint8_t parseFailed = 0;

    // The trailer's /ID entry as read (no tokens when there is none).
    TDictEntry trailerId;
    int32_t rootObjNum = 0, rootGen = 0;
    uint8_t rootFound = 0;
    int32_t infoObjNum = 0, infoGen = 0;
    uint8_t infoFound = 0;
    int32_t encryptObjNum = 0, encryptGen = 0;
    uint8_t encrypted = 0;
    // Whether the table had to be rebuilt.
    bool repaired = false;
    // Numbers whose table entry does not point at their object, and where
    // the scan of the file found each object (the last one of a number).
    std::vector<int32_t> badEntries;
    std::unordered_map<int32_t, TFilePos> scannedOffsets;
    // Numbers whose in-use entry pointed at other bytes and which the scan
    // did not find: the repaired table has them free, the writer writes them
    // as null so that references to them keep meaning "nothing".
    std::vector<int32_t> lostObjects;
    // What the reader met and cannot do, where the file's structure needed
    // it (the filter of an object or cross-reference stream, "/RunLengthDecode");
    // it explains an open that could not read the catalog or the pages.
    std::string unsupportedFeature;

    // A token that had to be a number and is none, where the file's
    // structure needs it (the trailer's references, a box): the first one
    // met. The open ends as invalid with it.
    void NoteBadNumber(TOpenProblemKind kind, const std::string& token);
    const std::optional<TOpenProblem>& BadNumber() const { return badNumber_; }

protected:
    // Forgets the table, the trailer's references and the taken-out objects.
    void ResetFile();

    std::vector<TObjEntry> objTable;
    int32_t objCount = 0;

private:
    bool ReadClassicSection(std::vector<int32_t>& freedHere);
    bool ReadXrefStream(TFilePos pos, const std::vector<int32_t>& overridable);
    // Parses the stream object at pos into dictEntries and decodes its data.
    bool ReadObjectStream(TFilePos pos, std::vector<uint8_t>& data);
    void TakeTrailerKeys(TFilePos& prev, TFilePos& xrefStm);
    void ValidateTable();
    void ScanForObjects();
    void RebuildTable(bool chainUsable);
    void FindCatalogByScan(const std::vector<std::pair<int32_t, TFilePos>>& objects);
    void MaterializeObjectStreams();
    void MarkStructural(int32_t num, TFilePos pos);
    // Reads the /Encrypt dictionary and tries the password; on success
    // every object is deciphered into the extension.
    void OpenEncryption();
    void DecipherObjects();
    void TakeEncryptKeys(const TDictEntry& entry);
    void SetTableEntry(int64_t num, const TObjEntry& value);
    int64_t TableRoom() const;

    // Between the file's last byte and the extension: a cursor that runs
    // past the file's end reads filler for this long, far more than any scan
    // goes before it stops at the end.
    static constexpr TFilePos kSpanGap = TFilePos{1} << 20;

    TFileBytes source_;
    // The objects taken out of object streams, as "n 0 obj ... endobj"
    // text; its first byte has position extensionBase_.
    std::string extension_;
    TFilePos extensionBase_ = 0;
    TFilePos filePos = 0;
    std::optional<TOpenProblem> badNumber_;

    std::string password_;
    TCryptState cryptState_ = TCryptState::Clear;
    std::optional<TSecurityHandler> security_;
    std::string encryptDictText_;
    std::string fileId_[2];
    bool encryptIsObject_ = false;
    TFilePos encryptDictPos_ = -1;  // a dictionary written into the trailer
    // By object number: how far behind its offset the first value token
    // stands, plus one (0: not looked up yet, or too far to keep). Kept
    // only for the finished table.
    std::vector<uint32_t> valueDistance_;
    bool tableFinished_ = false;
};

// A look elsewhere in the open file (a dictionary or stream the writer or
// another layer reads on its own account) that leaves the parse state as it
// found it: the entries of the last dictionary, the failure mark and the
// unsupported feature named come back when the guard ends. The look starts
// with no entries; ClearFailure lets it start without an earlier failure.
class TKeptParseState {
public:
    explicit TKeptParseState(TPdfFile& file);
    ~TKeptParseState();
    TKeptParseState(const TKeptParseState&) = delete;
    TKeptParseState& operator=(const TKeptParseState&) = delete;

    void ClearFailure() { file_.parseFailed = 0; }

private:
    TPdfFile& file_;
    TDictEntryList entries_;
    uint8_t parseFailed_;
    std::string unsupportedFeature_;
};
