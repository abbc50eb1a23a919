// Encrypted files opened whole: qpdf's files of every revision (made by
// tests/data/encrypted/make.sh) must read exactly as the files they were
// made from; the passwords decide what opens and what may be changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "TestSupport.h"

namespace {

struct TEncryptedFile {
    const char* file;
    const char* source;  // the corpus file qpdf encrypted
    const char* user;    // "" for an empty user password
    const char* owner;
    bool modifyWithUser;  // whether /P allows changes
};

const TEncryptedFile kFiles[] = {
    {"r2-rc4-40-user.pdf", "gs-std14-v12.pdf", "user", "owner", true},
    {"r2-rc4-40-noprint.pdf", "gs-std14-v12.pdf", "", "owner", false},
    {"r3-rc4-128.pdf", "gs-type3-v13.pdf", "", "owner", true},
    {"r3-rc4-128-nomodify.pdf", "gs-std14-v12.pdf", "", "owner", false},
    {"r4-rc4-cleartext-meta.pdf", "libreoffice-writer-v16.pdf", "user", "owner", true},
    {"r4-aes128-objstm.pdf", "modern-xrefstream-fontconfig.pdf", "", "owner", true},
    {"r5-aes256-user.pdf", "gs-annots-v14.pdf", "user", "owner", true},
    {"r6-aes256.pdf", "cairo-truetype-flate-images-v14.pdf", "", "owner", true},
    {"r6-aes256-user-nomodify.pdf", "gs-std14-v12.pdf", "user", "\xC3\x96l-Eigent\xC3\xBCmer", false},
    {"eff-identity.pdf", "gs-std14-v12.pdf", "", "", true},
};

std::unique_ptr<THeadlessDoc> OpenWith(const std::string& path, const std::string& password) {
    auto h = std::make_unique<THeadlessDoc>();
    TOpenOptions options;
    options.password = password;
    h->doc.openfilenow(path, options);
    return h;
}

// What the reader made of a document, page by page: the fonts (resource
// name, base font, kind; in name order, since qpdf sorts dictionaries) and
// the decoded content's size.
std::string Digest(TPdfDocument& doc) {
    std::string out = std::to_string(doc.pageList.Count()) + " pages\n";
    std::vector<std::string> fonts;
    for (const TFontRecord& font : doc.fontList)
        fonts.push_back(std::to_string(font.pageIndex) + " " + font.resName + " " + font.baseFont + " " +
                        font.subtype + " " + font.encodingName + " " + std::to_string(font.embedded) + " " +
                        std::to_string(static_cast<int>(font.use)) + "\n");
    std::sort(fonts.begin(), fonts.end());
    for (const std::string& font : fonts) out += font;
    for (int32_t i = 0; i < doc.pageList.Count(); ++i)
        out += "content " + std::to_string(i) + ": " + std::to_string(doc.PageContent(i).size()) + "\n";
    out += "title " + doc.info.title + " producer " + doc.info.producer + "\n";
    return out;
}

class EncryptedFile : public ::testing::TestWithParam<TEncryptedFile> {};

TEST_P(EncryptedFile, ReadsAsTheFileItWasMadeFrom) {
    const TEncryptedFile& c = GetParam();
    auto plain = OpenHeadless(DataPath(std::string("corpus/") + c.source));
    ASSERT_TRUE(IsOpened(plain->doc.LastOpen().outcome));
    auto h = OpenWith(DataPath(std::string("encrypted/") + c.file), c.user);
    ASSERT_EQ(h->doc.LastOpen().outcome, TOpenResult::Opened) << h->AllMessages();
    EXPECT_EQ(Digest(h->doc), Digest(plain->doc));
    // pdfinfo's page count, with the same password.
    const std::string info =
        ToolOutput("pdfinfo -upw " + Quoted(c.user) + " " + Quoted(DataPath(std::string("encrypted/") + c.file)));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(info, m, std::regex(R"(Pages:\s+(\d+))"))) << info;
    EXPECT_EQ(h->doc.pageList.Count(), std::stoi(m[1]));
}

TEST_P(EncryptedFile, PasswordsDecideWhatOpensAndWhatMayChange) {
    const TEncryptedFile& c = GetParam();
    const std::string path = DataPath(std::string("encrypted/") + c.file);
    auto none = OpenWith(path, "");
    if (std::string(c.user).empty()) {
        EXPECT_EQ(none->doc.LastOpen().outcome, TOpenResult::Opened) << none->AllMessages();
        EXPECT_EQ(none->doc.Permissions().modify, c.modifyWithUser);
    } else {
        EXPECT_EQ(none->doc.LastOpen().outcome, TOpenResult::PasswordNeeded);
        EXPECT_TRUE(none->HasProblem(TOpenProblemKind::PasswordNeeded));
        EXPECT_EQ(none->doc.pageList.Count(), 0);
        auto user = OpenWith(path, c.user);
        ASSERT_EQ(user->doc.LastOpen().outcome, TOpenResult::Opened);
        EXPECT_EQ(user->doc.Permissions().modify, c.modifyWithUser);
        ASSERT_NE(user->doc.Security(), nullptr);
        EXPECT_EQ(user->doc.Security()->Match(), TPasswordMatch::User);
    }
    for (const char* wrong : {"wrong", "owner ", "\xFF\xFE", "USER"}) {
        if (std::string(c.owner) == wrong || std::string(c.user) == wrong) continue;
        if (std::string(c.user).empty() && std::string(c.owner).empty()) continue;
        auto h = OpenWith(path, wrong);
        EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::PasswordNeeded) << wrong;
        EXPECT_TRUE(h->HasProblem(TOpenProblemKind::WrongPassword)) << wrong;
        EXPECT_EQ(h->doc.pageList.Count(), 0) << wrong;
    }
    if (std::string(c.owner).empty()) return;
    auto owner = OpenWith(path, c.owner);
    ASSERT_EQ(owner->doc.LastOpen().outcome, TOpenResult::Opened) << owner->AllMessages();
    EXPECT_TRUE(owner->doc.Permissions().modify);
    EXPECT_EQ(owner->doc.Security()->Match(), TPasswordMatch::Owner);
}

INSTANTIATE_TEST_SUITE_P(Qpdf, EncryptedFile, ::testing::ValuesIn(kFiles),
                         [](const auto& param) {
                             std::string name = param.param.file;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

// The public samples: what pdfinfo opens with the password, with its page
// count; without it, the open stops at the password.
TEST(EncryptedRealWorld, OpenWithTheirPasswordsAsPdfinfoDoes) {
    struct TSample {
        const char* file;
        const char* password;
    };
    const TSample samples[] = {
        {"pdfminer__samples__encryption__aes-128-m.pdf", "foo"},
        {"pdfminer__samples__encryption__aes-128.pdf", "baz"},
        {"pdfminer__samples__encryption__aes-256-m.pdf", "foo"},
        {"pdfminer__samples__encryption__aes-256.pdf", "baz"},
        {"pdfminer__samples__encryption__rc4-128.pdf", "foo"},
        {"pdfminer__samples__encryption__rc4-40.pdf", "baz"},
        {"pdfminer__samples__encryption__aes-256-r6.pdf", "usersecret"},
        {"pdfminer__samples__encryption__aes-256-r6.pdf", "ownersecret"},
        {"pypdf__005-libreoffice-writer-password__libreoffice-writer-password.pdf", "openpassword"},
        {"pdfminer__samples__encryption__encrypted_doc_no_id.pdf", ""},
    };
    for (const TSample& s : samples) {
        const std::string path = DataPath(std::string("realworld/") + s.file);
        const std::string info = ToolOutput("pdfinfo -upw " + Quoted(s.password) + " -opw " + Quoted(s.password) + " " +
                                            Quoted(path) + " 2>&1");
        std::smatch m;
        ASSERT_TRUE(std::regex_search(info, m, std::regex(R"(Pages:\s+(\d+))"))) << s.file << info;
        auto h = OpenWith(path, s.password);
        EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Opened) << s.file << " " << h->AllMessages();
        EXPECT_EQ(h->doc.pageList.Count(), std::stoi(m[1])) << s.file;
        if (std::string(s.password).empty()) continue;
        auto without = OpenWith(path, "");
        EXPECT_EQ(without->doc.LastOpen().outcome, TOpenResult::PasswordNeeded) << s.file;
    }
}

}  // namespace
