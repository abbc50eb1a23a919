// The standard security handler against files that qpdf encrypted: the
// file key qpdf prints, the permissions, and stream bytes qpdf deciphers.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>

#include "CryptObjects.h"
#include "EncryptDict.h"
#include "Security.h"
#include "TestSupport.h"

namespace {

struct TEncryptCase {
    const char* name;
    const char* qpdfArgs;  // between "--encrypt" and "--"
    const char* user;
    const char* owner;
    int revision;
};

const TEncryptCase kCases[] = {
    {"r2_rc4_40", "user owner 40", "user", "owner", 2},
    {"r2_empty_user", "'' owner 40 --print=n --modify=n", "", "owner", 2},
    {"r3_rc4_128", "user owner 128 --use-aes=n", "user", "owner", 3},
    {"r3_restricted", "'' owner 128 --use-aes=n --modify=none --extract=n", "", "owner", 3},
    {"r4_rc4_cleartext_meta", "user owner 128 --use-aes=n --cleartext-metadata", "user", "owner", 4},
    {"r4_aes128", "user owner 128 --use-aes=y", "user", "owner", 4},
    {"r4_aes128_print_low", "'' owner 128 --use-aes=y --print=low --annotate=n", "", "owner", 4},
    {"r5_aes256", "user owner 256 --force-R5", "user", "owner", 5},
    {"r6_aes256", "user owner 256", "user", "owner", 6},
    {"r6_empty_user_no_modify", "'' 'Öl-Eigentümer' 256 --modify=none", "", "Öl-Eigentümer", 6},
};

class EncryptedByQpdf : public ::testing::TestWithParam<TEncryptCase> {
protected:
    void SetUp() override {
        const TEncryptCase& c = GetParam();
        path_ = ScratchDir(std::string("security-") + c.name) + "/file.pdf";
        // Uncompressed objects, so that a stream's bytes can be found by
        // their offset in the table qpdf shows.
        const TToolResult made = RunTool("qpdf --allow-weak-crypto --object-streams=disable --encrypt " +
                                         std::string(c.qpdfArgs) + " -- " +
                                         Quoted(DataPath("corpus/gs-std14-v12.pdf")) + " " + Quoted(path_));
        ASSERT_EQ(made.status, 0) << made.output;
        bytes_ = ReadFileBytes(path_);
        const std::string trailer = ToolOutput("qpdf --show-object=trailer --password=" + Quoted(c.user) + " " + Quoted(path_));
        std::smatch m;
        ASSERT_TRUE(std::regex_search(trailer, m, std::regex(R"(/Encrypt (\d+) 0 R)"))) << trailer;
        encryptObj_ = std::stoi(m[1]);
        ASSERT_TRUE(std::regex_search(trailer, m, std::regex(R"(/ID \[ *<([0-9a-fA-F]*)>)"))) << trailer;
        id0_ = StringTokenBytes("<" + m[1].str() + ">");
    }

    // The dictionary of the /Encrypt object as qpdf writes it back.
    std::variant<TEncryptParams, TEncryptProblem> Params() const {
        const std::string dict = ToolOutput("qpdf --show-object=" + std::to_string(encryptObj_) + " --password=" +
                                       Quoted(GetParam().user) + " " + Quoted(path_));
        return ParseEncryptDict(reinterpret_cast<const uint8_t*>(dict.data()), static_cast<int32_t>(dict.size()), 0,
                                id0_);
    }

    std::string QpdfKey(const std::string& password) const {
        const std::string out = ToolOutput("qpdf --show-encryption --show-encryption-key --password=" +
                                           Quoted(password) + " " + Quoted(path_));
        std::smatch m;
        return std::regex_search(out, m, std::regex(R"(Encryption key = ([0-9a-f]+))")) ? m[1].str() : "";
    }

    std::string path_;
    std::vector<uint8_t> bytes_;
    int encryptObj_ = 0;
    std::string id0_;
};

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    char buf[3];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        out += buf;
    }
    return out;
}

TEST_P(EncryptedByQpdf, UserAndOwnerPasswordsGiveQpdfsKey) {
    const auto parsed = Params();
    ASSERT_TRUE(std::holds_alternative<TEncryptParams>(parsed));
    const auto& params = std::get<TEncryptParams>(parsed);
    EXPECT_EQ(params.r, GetParam().revision);

    const auto asUser = TSecurityHandler::Open(params, GetParam().user);
    ASSERT_TRUE(asUser.has_value());
    EXPECT_EQ(Hex(asUser->FileKey()), QpdfKey(GetParam().user));
    // An empty user password that is also what the owner gave opens as owner.
    EXPECT_EQ(asUser->Match(), TPasswordMatch::User);

    const auto asOwner = TSecurityHandler::Open(params, GetParam().owner);
    ASSERT_TRUE(asOwner.has_value());
    EXPECT_EQ(asOwner->Match(), TPasswordMatch::Owner);
    EXPECT_EQ(asOwner->FileKey(), asUser->FileKey());

    EXPECT_FALSE(TSecurityHandler::Open(params, "falsch").has_value());
    EXPECT_FALSE(TSecurityHandler::Open(params, std::string(GetParam().owner) + "x").has_value());
}

TEST_P(EncryptedByQpdf, PermissionsAreThoseQpdfShows) {
    const auto parsed = Params();
    ASSERT_TRUE(std::holds_alternative<TEncryptParams>(parsed));
    const auto handler = TSecurityHandler::Open(std::get<TEncryptParams>(parsed), GetParam().user);
    ASSERT_TRUE(handler.has_value());
    const std::string shown = ToolOutput("qpdf --show-encryption --password=" + Quoted(GetParam().user) + " " +
                                         Quoted(path_));
    const auto allowed = [&shown](const std::string& what) {
        return shown.find(what + ": allowed") != std::string::npos;
    };
    const TPermissions perms = handler->Permissions();
    EXPECT_EQ(perms.print, allowed("print low resolution")) << shown;
    EXPECT_EQ(perms.printHighQuality, allowed("print high resolution")) << shown;
    EXPECT_EQ(perms.modify, allowed("modify other")) << shown;
    EXPECT_EQ(perms.copy, allowed("extract for any purpose")) << shown;
    EXPECT_EQ(perms.annotate, allowed("modify annotations")) << shown;
    EXPECT_EQ(perms.fillForms, allowed("modify forms")) << shown;
    EXPECT_EQ(perms.assemble, allowed("modify document assembly")) << shown;
    EXPECT_EQ(perms.extractForAccessibility, allowed("extract for accessibility")) << shown;

    const auto owner = TSecurityHandler::Open(std::get<TEncryptParams>(parsed), GetParam().owner);
    ASSERT_TRUE(owner.has_value());
    EXPECT_TRUE(owner->Permissions().modify);
    EXPECT_TRUE(owner->Permissions().print);
}

// Every page content stream, read from the file by the offset qpdf's table
// gives, deciphers to the bytes qpdf shows for it.
TEST_P(EncryptedByQpdf, ContentStreamsDecipherLikeQpdf) {
    const auto parsed = Params();
    ASSERT_TRUE(std::holds_alternative<TEncryptParams>(parsed));
    const auto handler = TSecurityHandler::Open(std::get<TEncryptParams>(parsed), GetParam().user);
    ASSERT_TRUE(handler.has_value());

    const std::string pages = ToolOutput("qpdf --show-pages --password=" + Quoted(GetParam().user) + " " +
                                         Quoted(path_));
    std::istringstream xref(ToolOutput("qpdf --show-xref --password=" + Quoted(GetParam().user) + " " +
                                       Quoted(path_)));
    std::map<int, size_t> offsets;
    std::string line;
    std::smatch m;
    while (std::getline(xref, line)) {
        if (std::regex_search(line, m, std::regex(R"(^(\d+)/0: uncompressed; offset = (\d+))")))
            offsets[std::stoi(m[1])] = std::stoul(m[2]);
    }
    int checked = 0;
    std::regex contentRe(R"(content:\s*\n\s*(\d+) 0 R)");
    for (auto it = std::sregex_iterator(pages.begin(), pages.end(), contentRe); it != std::sregex_iterator(); ++it) {
        const int obj = std::stoi((*it)[1]);
        ASSERT_TRUE(offsets.count(obj));
        const std::string expected = ToolOutput("qpdf --show-object=" + std::to_string(obj) +
                                                " --raw-stream-data --password=" + Quoted(GetParam().user) + " " +
                                                Quoted(path_));
        const std::string dict = ToolOutput("qpdf --show-object=" + std::to_string(obj) + " --password=" +
                                            Quoted(GetParam().user) + " " + Quoted(path_));
        ASSERT_TRUE(std::regex_search(dict, m, std::regex(R"(/Length (\d+))"))) << dict;
        const size_t length = std::stoul(m[1]);
        const std::string text(bytes_.begin() + static_cast<std::ptrdiff_t>(offsets[obj]), bytes_.end());
        size_t start = text.find("stream");
        ASSERT_NE(start, std::string::npos);
        start += 6;
        if (text[start] == '\r') ++start;
        if (text[start] == '\n') ++start;
        const auto cipher = std::span<const uint8_t>(bytes_).subspan(offsets[obj] + start, length);
        const auto plain = handler->Decrypt(handler->Params().streamMethod, cipher, obj, 0);
        EXPECT_EQ(std::string(plain.begin(), plain.end()), expected) << "object " << obj;
        ++checked;
    }
    EXPECT_GE(checked, 3);
}

INSTANTIATE_TEST_SUITE_P(Revisions, EncryptedByQpdf, ::testing::ValuesIn(kCases),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

// What this writer enciphers, the handler deciphers, for every method, and
// the same bytes give the same cipher text.
TEST(SecurityHandler, EncryptThenDecryptGivesTheBytesBack) {
    const std::string path = ScratchDir("security-roundtrip") + "/f.pdf";
    ASSERT_EQ(RunTool("qpdf --encrypt '' o 128 --use-aes=y -- " + Quoted(DataPath("corpus/gs-std14-v12.pdf")) + " " +
                      Quoted(path)).status,
              0);
    const std::string trailer = ToolOutput("qpdf --show-object=trailer " + Quoted(path));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(trailer, m, std::regex(R"(/Encrypt (\d+) 0 R)")));
    const std::string dict = ToolOutput("qpdf --show-object=" + m[1].str() + " " + Quoted(path));
    ASSERT_TRUE(std::regex_search(trailer, m, std::regex(R"(/ID \[ *<([0-9a-fA-F]*)>)")));
    const auto parsed = ParseEncryptDict(reinterpret_cast<const uint8_t*>(dict.data()),
                                         static_cast<int32_t>(dict.size()), 0, StringTokenBytes("<" + m[1].str() + ">"));
    ASSERT_TRUE(std::holds_alternative<TEncryptParams>(parsed));
    const auto handler = TSecurityHandler::Open(std::get<TEncryptParams>(parsed), "");
    ASSERT_TRUE(handler.has_value());

    const std::string text = "BT /F1 12 Tf (Grüße aus der Druckerei) Tj ET\n";
    const std::span<const uint8_t> plain(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    for (const TCryptMethod method : {TCryptMethod::Rc4, TCryptMethod::Aes128, TCryptMethod::None}) {
        const auto cipher = handler->Encrypt(method, plain, 12, 0);
        if (method != TCryptMethod::None) {
            EXPECT_NE(std::string(cipher.begin(), cipher.end()), text);
        }
        EXPECT_EQ(cipher, handler->Encrypt(method, plain, 12, 0));
        // Another object gets another key (with one file key for all, AES-256 excepted).
        if (method != TCryptMethod::None) {
            EXPECT_NE(cipher, handler->Encrypt(method, plain, 13, 0));
        }
        const auto back = handler->Decrypt(method, cipher, 12, 0);
        EXPECT_EQ(std::string(back.begin(), back.end()), text);
    }
    // Damaged AES data never crashes: too short, or cut inside a block.
    const auto aes = handler->Encrypt(TCryptMethod::Aes128, plain, 7, 0);
    EXPECT_TRUE(handler->Decrypt(TCryptMethod::Aes128, std::span<const uint8_t>(aes).first(10), 7, 0).empty());
    EXPECT_LE(handler->Decrypt(TCryptMethod::Aes128, std::span<const uint8_t>(aes).first(40), 7, 0).size(), 32U);

    // An object cut by the end of the data stays as the file has it.
    const TLengthLookup noLengths = [](int32_t) { return std::optional<TFilePos>(); };
    for (const std::string cut : {"7 0 obj << /Length 5 /Filter [ /A", "7 0 obj << /T (x) %>> endobj",
                                  "7 0 obj [ (a) (b)"}) {
        const TByteSpan span{reinterpret_cast<const uint8_t*>(cut.data()), 0, static_cast<TFilePos>(cut.size())};
        std::string out = "kept";
        EXPECT_EQ(CryptObject(span, 0, *handler, TCryptDirection::Decrypt, noLengths, out), std::nullopt) << cut;
        EXPECT_EQ(out, "kept");
    }
}

TEST(EncryptDict, ProblemsAreNamed) {
    const auto parse = [](const std::string& text) {
        return ParseEncryptDict(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()), 0,
                                "id");
    };
    const auto problem = [&](const std::string& text) {
        const auto r = parse(text);
        return std::holds_alternative<TEncryptProblem>(r) ? std::get<TEncryptProblem>(r)
                                                          : static_cast<TEncryptProblem>(255);
    };
    EXPECT_EQ(problem("/Filter /Standard"), TEncryptProblem::NotADictionary);
    EXPECT_EQ(problem("<< /Filter /Standard /V 2 /R 3 /O <00> /U"), TEncryptProblem::NotADictionary);
    EXPECT_EQ(problem("<< /Filter /Adobe.PubSec /V 4 /R 4 >>"), TEncryptProblem::OtherHandler);
    // A comment or the end of the data that swallows the closing brackets.
    EXPECT_EQ(problem("<< /Filter /Standard /CF [ /StdCF %>>"), TEncryptProblem::NotADictionary);
    EXPECT_EQ(problem("<< /Filter /Standard /CF [ [ /StdCF"), TEncryptProblem::NotADictionary);
    const std::string o32 = "<" + std::string(64, 'a') + ">";
    EXPECT_EQ(problem("<< /Filter /Standard /V 3 /R 3 /O " + o32 + " /U " + o32 + " /P -4 >>"),
              TEncryptProblem::Unsupported);
    EXPECT_EQ(problem("<< /Filter /Standard /V 2 /R 3 /O <00> /U <00> /P -4 >>"), TEncryptProblem::Unsupported);
    EXPECT_EQ(problem("<< /Filter /Standard /V 4 /R 4 /O " + o32 + " /U " + o32 +
                      " /P -4 /CF << /StdCF << /CFM /Foo >> >> /StmF /StdCF /StrF /StdCF >>"),
              TEncryptProblem::Unsupported);
    // Attachments only: strings and streams are left as they are.
    const auto eff = parse("<< /Filter /Standard /V 4 /R 4 /Length 128 /O " + o32 + " /U " + o32 +
                           " /P 4294967292 /CF << /StdCF << /CFM /AESV2 /Length 16 >> >>"
                           " /StmF /Identity /StrF /Identity /EFF /StdCF >>");
    ASSERT_TRUE(std::holds_alternative<TEncryptParams>(eff));
    const auto& params = std::get<TEncryptParams>(eff);
    EXPECT_EQ(params.streamMethod, TCryptMethod::None);
    EXPECT_EQ(params.stringMethod, TCryptMethod::None);
    EXPECT_EQ(params.fileMethod, TCryptMethod::Aes128);
    EXPECT_EQ(params.p, -4);
    EXPECT_EQ(params.keyBytes, 16);
}

TEST(Permissions, BitsOfP) {
    // Print and copy allowed, nothing else (bits 3 and 5; 0xFFFFF0C0 high).
    const TPermissions r3 = TPermissions::FromP(static_cast<int32_t>(0xFFFFF0D4), 3);
    EXPECT_TRUE(r3.print);
    EXPECT_FALSE(r3.modify);
    EXPECT_TRUE(r3.copy);
    EXPECT_FALSE(r3.annotate);
    EXPECT_FALSE(r3.fillForms);
    EXPECT_FALSE(r3.assemble);
    EXPECT_FALSE(r3.printHighQuality);
    // Revision 2 knows no bits above 6: they follow the older four.
    const TPermissions r2 = TPermissions::FromP(static_cast<int32_t>(0xFFFFFFC4), 2);
    EXPECT_TRUE(r2.print && r2.printHighQuality);
    EXPECT_FALSE(r2.modify || r2.assemble || r2.copy || r2.annotate || r2.fillForms);
}

}  // namespace

// The reader walks an /Encrypt dictionary and every object it deciphers
// token by token; where the data end first, the walk ends with them
// (past the end the lexer supplies filler bytes for ever).
TEST(CryptObjects, WalksEndWithTheData) {
    const auto span = [](const std::string& text) {
        return TByteSpan{reinterpret_cast<const uint8_t*>(text.data()), 0, static_cast<TFilePos>(text.size())};
    };
    const std::string closed = "<< /A << /B 1 >> >> rest";
    EXPECT_EQ(DictEnd(span(closed), 0), std::optional<TFilePos>(19));
    for (const std::string text : {"<< /StmF /S%tdCF>>", "<< /A [ 1 2", "<< /A <</B 1>>"}) {
        EXPECT_EQ(DictEnd(span(text), 0), std::nullopt) << text;
        // A start beyond the end, as a damaged trailer's position gives.
        EXPECT_EQ(DictEnd(span(text), static_cast<TFilePos>(text.size()) + 1), std::nullopt) << text;
    }
}
