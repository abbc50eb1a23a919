// glyphwell-cli save on encrypted files: the written file keeps the
// encryption as it came (qpdf --show-encryption says the same), qpdf accepts
// it, and, deciphered by qpdf, it has the same text and renders as the input.
// The permissions and the passwords decide whether anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>

#include "SavedFileChecks.h"

namespace {

struct TSaveCase {
    const char* file;      // in tests/data/encrypted
    const char* password;  // the one the save is given
    const char* version;   // chosen with --version: 1.4 the classic table, 1.7 the compact form
    const char* header;    // the written file's version
};

const TSaveCase kCases[] = {
    {"r2-rc4-40-user.pdf", "user", "1.4", "%PDF-1.4"},
    {"r2-rc4-40-user.pdf", "user", "1.7", "%PDF-1.7"},
    {"r2-rc4-40-noprint.pdf", "owner", "1.4", "%PDF-1.4"},
    {"r3-rc4-128.pdf", "", "1.4", "%PDF-1.4"},
    {"r3-rc4-128.pdf", "", "1.7", "%PDF-1.7"},
    {"r4-rc4-cleartext-meta.pdf", "user", "1.4", "%PDF-1.4"},
    {"r4-rc4-cleartext-meta.pdf", "user", "1.5", "%PDF-1.5"},
    {"r4-aes128-objstm.pdf", "", "1.4", "%PDF-1.6"},
    {"r4-aes128-objstm.pdf", "", "1.7", "%PDF-1.7"},
    {"r4-aes128-cleartext-xmp.pdf", "", "1.5", "%PDF-1.6"},
    {"r5-aes256-user.pdf", "user", "1.4", "%PDF-1.7"},
    {"r5-aes256-user.pdf", "user", "1.7", "%PDF-1.7"},
    {"r6-aes256.pdf", "", "1.4", "%PDF-1.7"},
    {"r6-aes256.pdf", "", "1.7", "%PDF-1.7"},
    {"r6-aes256-user-nomodify.pdf", "\xC3\x96l-Eigent\xC3\xBCmer", "1.7", "%PDF-1.7"},
    {"eff-identity.pdf", "", "1.4", "%PDF-1.6"},
    {"eff-identity.pdf", "", "1.7", "%PDF-1.7"},
};

std::string In(const std::string& file) { return DataPath("encrypted/" + file); }

TToolResult Cli(const std::string& arguments) { return RunTool(Quoted(CliPath()) + " " + arguments); }

std::string QpdfShow(const std::string& what, const std::string& path, const std::string& password) {
    return ToolOutput("qpdf --password=" + Quoted(password) + " " + what + " " + Quoted(path) + " 2>&1");
}

// The number of the trailer's entry `key` ("/Root 1 0 R" -> 1); -1 without it.
int ReferenceInTrailer(const std::string& trailer, const std::string& key) {
    std::smatch m;
    if (!std::regex_search(trailer, m, std::regex(key + R"( (\d+) \d+ R)"))) return -1;
    return std::stoi(m[1].str());
}

// The compact form under encryption: a cross-reference stream that names
// /Encrypt and /ID, objects packed into object streams, the /Encrypt
// dictionary itself outside them; AES-256 names its extension in the catalog.
void ExpectCompactEncrypted(const std::string& path, const std::string& password, bool aes256) {
    const std::string trailer = QpdfShow("--show-object=trailer", path, password);
    EXPECT_NE(trailer.find("/Type /XRef"), std::string::npos) << trailer;
    EXPECT_NE(trailer.find("/ID ["), std::string::npos) << trailer;
    const int encrypt = ReferenceInTrailer(trailer, "/Encrypt");
    ASSERT_GT(encrypt, 0) << trailer;
    const std::string xref = QpdfShow("--show-xref", path, password);
    EXPECT_NE(xref.find(": compressed; stream = "), std::string::npos) << xref;
    EXPECT_NE(xref.find("\n" + std::to_string(encrypt) + "/0: uncompressed;"), std::string::npos) << xref;
    if (aes256) {
        const int root = ReferenceInTrailer(trailer, "/Root");
        const std::string catalog = QpdfShow("--show-object=" + std::to_string(root), path, password);
        EXPECT_NE(catalog.find("/Extensions << /ADBE << /BaseVersion /1.7"), std::string::npos) << catalog;
    }
}

// What qpdf says of the encryption, without the lines on passwords (which
// depend on the password given, not on the file).
std::string ShowEncryption(const std::string& path, const std::string& password) {
    std::istringstream lines(
        ToolOutput("qpdf --show-encryption --password=" + Quoted(password) + " " + Quoted(path) + " 2>&1"));
    std::string kept;
    for (std::string line; std::getline(lines, line);)
        if (line.find("password") == std::string::npos) kept += line + "\n";
    return kept;
}

// The file deciphered by qpdf, for the tools that are given no password.
std::string Deciphered(const std::string& path, const std::string& password, const std::string& scratch,
                       const std::string& name) {
    const std::string out = scratch + "/" + name;
    RunTool("qpdf --decrypt --password=" + Quoted(password) + " " + Quoted(path) + " " + Quoted(out));
    return out;
}

// pdffonts' font names, without the subset tag, each with its "emb"
// column, sorted.
std::string EmbeddedColumn(const std::string& path) {
    std::istringstream lines(ToolOutput("pdffonts " + Quoted(path)));
    std::vector<std::string> rows;
    const std::regex row(R"(^(\S+)\s.*\s(yes|no)\s+(yes|no)\s+(yes|no)\s+\d+\s+\d+\s*$)");
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, row)) continue;
        std::string name = m[1].str();
        if (name.size() > 7 && name[6] == '+') name = name.substr(6);
        rows.push_back(name + " " + m[2].str());
    }
    std::sort(rows.begin(), rows.end());
    std::string out;
    for (const std::string& r : rows) out += r + "\n";
    return out;
}

class EncryptedSave : public ::testing::TestWithParam<TSaveCase> {};

TEST_P(EncryptedSave, KeepsTheEncryptionTextAndRendering) {
    const TSaveCase& c = GetParam();
    const std::string scratch = ScratchDir(std::string("encrypted-save-") + c.file);
    const std::string out = scratch + "/out.pdf";
    const TToolResult saved = Cli("save --password " + Quoted(c.password) + " --version " + c.version + " " +
                                  Quoted(In(c.file)) + " -o " + Quoted(out) + " 2>&1");
    ASSERT_EQ(saved.status, 0) << saved.output;
    EXPECT_EQ(ReadFileText(out).substr(0, 8), c.header);
    if (std::string(c.header).substr(5) != c.version) {
        EXPECT_NE(saved.output.find("Die PDF-Version wurde auf " + std::string(c.header).substr(5)),
                  std::string::npos)
            << saved.output;
    }
    const std::string before = ShowEncryption(In(c.file), c.password);
    EXPECT_NE(before.find("R = "), std::string::npos) << before;
    EXPECT_EQ(ShowEncryption(out, c.password), before);
    const TToolResult check = RunTool("qpdf --check --password=" + Quoted(c.password) + " " + Quoted(out) + " 2>&1");
    EXPECT_EQ(check.status, 0) << check.output;
    if (std::string(c.version) >= "1.5")
        ExpectCompactEncrypted(out, c.password, before.find("AESv3") != std::string::npos);

    const std::string plainIn = Deciphered(In(c.file), c.password, scratch, "in-plain.pdf");
    const std::string plainOut = Deciphered(out, c.password, scratch, "out-plain.pdf");
    EXPECT_EQ(PageTexts(plainOut), PageTexts(plainIn));
    const TRenderDiff diff = CompareRenderings(plainIn, plainOut, scratch);
    EXPECT_EQ(diff.problem, "");
    EXPECT_LE(diff.maxPixelDiff, 0);
}

INSTANTIATE_TEST_SUITE_P(Qpdf, EncryptedSave, ::testing::ValuesIn(kCases), [](const auto& param) {
    std::string name = std::string(param.param.file) + "_" + param.param.version;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

// The public encrypted samples that may be changed, saved in the classic
// and in the compact form: the same encryption as qpdf reads it, no more
// complaints from qpdf than the input draws (one has no /ID), the same text.
TEST(EncryptedSaveRules, RealWorldSamplesKeepTheirEncryption) {
    const std::pair<const char*, const char*> samples[] = {
        {"pdfminer__samples__encryption__aes-128.pdf", "foo"},
        {"pdfminer__samples__encryption__aes-128-m.pdf", "foo"},
        {"pdfminer__samples__encryption__aes-256.pdf", "foo"},
        {"pdfminer__samples__encryption__aes-256-m.pdf", "foo"},
        {"pdfminer__samples__encryption__aes-256-r6.pdf", "usersecret"},
        {"pdfminer__samples__encryption__rc4-40.pdf", "foo"},
        {"pdfminer__samples__encryption__rc4-128.pdf", "foo"},
        {"pdfminer__samples__encryption__encrypted_doc_no_id.pdf", ""},
        {"pdfminer__samples__contrib__issue-00352-hash-twos-complement.pdf", ""},
        {"pypdf__005-libreoffice-writer-password__libreoffice-writer-password.pdf", "openpassword"},
    };
    const std::string scratch = ScratchDir("encrypted-save-realworld");
    auto withoutWarnings = [](const std::string& text) {
        return std::regex_replace(text, std::regex("WARNING: [^\n]*\n"), "");
    };
    for (const auto& [file, password] : samples) {
        const std::string in = DataPath(std::string("realworld/") + file);
        const int inCheck = RunTool("qpdf --check --password=" + Quoted(password) + " " + Quoted(in)).status;
        for (const char* version : {"1.4", "1.7"}) {
            const std::string out = scratch + "/" + version + "-" + file;
            const TToolResult saved = Cli("save --password " + Quoted(password) + " --version " + version + " " +
                                          Quoted(in) + " -o " + Quoted(out) + " 2>&1");
            ASSERT_EQ(saved.status, 0) << file << " " << version << ": " << saved.output;
            EXPECT_EQ(withoutWarnings(ShowEncryption(out, password)), withoutWarnings(ShowEncryption(in, password)))
                << file << " " << version;
            EXPECT_EQ(RunTool("qpdf --check --password=" + Quoted(password) + " " + Quoted(out)).status, inCheck)
                << file << " " << version;
            const std::string plainIn = Deciphered(in, password, scratch, "in-plain.pdf");
            const std::string plainOut = Deciphered(out, password, scratch, "out-plain.pdf");
            EXPECT_EQ(PageTexts(plainOut), PageTexts(plainIn)) << file << " " << version;
        }
    }
}

TEST(EncryptedSaveRules, ChangesForbiddenWithoutTheOwnerPasswordWriteNothing) {
    const std::string scratch = ScratchDir("encrypted-save-forbidden");
    const std::string out = scratch + "/out.pdf";
    std::filesystem::remove(out);
    for (const char* file : {"r3-rc4-128-nomodify.pdf", "r2-rc4-40-noprint.pdf"}) {
        const TToolResult refused = Cli("save " + Quoted(In(file)) + " -o " + Quoted(out) + " 2>&1");
        EXPECT_EQ(refused.status, 7) << file << refused.output;
        EXPECT_NE(refused.output.find("Änderung nicht erlaubt"), std::string::npos) << refused.output;
        EXPECT_FALSE(std::filesystem::exists(out)) << file;
        const TToolResult embed = Cli("embed " + Quoted(In(file)) + " -o " + Quoted(out) + " 2>&1");
        EXPECT_EQ(embed.status, 7) << file << embed.output;
        EXPECT_FALSE(std::filesystem::exists(out)) << file;
    }
    const TToolResult owner =
        Cli("save --password owner " + Quoted(In("r3-rc4-128-nomodify.pdf")) + " -o " + Quoted(out) + " 2>&1");
    ASSERT_EQ(owner.status, 0) << owner.output;
    // Still forbidden to the next user without the owner password.
    EXPECT_EQ(ShowEncryption(out, ""), ShowEncryption(In("r3-rc4-128-nomodify.pdf"), ""));
    const TToolResult again = Cli("save " + Quoted(out) + " -o " + Quoted(scratch + "/again.pdf") + " 2>&1");
    EXPECT_EQ(again.status, 7) << again.output;
}

// /EncryptMetadata false: the XMP packet written anew stays readable without
// deciphering, in either form; a file whose metadata is enciphered keeps it so.
TEST(EncryptedSaveRules, MetadataFollowsEncryptMetadata) {
    const std::string scratch = ScratchDir("encrypted-save-metadata");
    const std::string cleartext = In("r4-aes128-cleartext-xmp.pdf");
    const std::string enciphered = scratch + "/enciphered-xmp.pdf";
    ASSERT_EQ(RunTool("qpdf --decrypt " + Quoted(cleartext) + " " + Quoted(scratch + "/plain.pdf")).status, 0);
    ASSERT_EQ(RunTool("qpdf --encrypt '' owner 128 --use-aes=y -- " + Quoted(scratch + "/plain.pdf") + " " +
                      Quoted(enciphered))
                  .status,
              0);
    for (const char* version : {"1.4", "1.7"}) {
        for (const auto& [in, plainXmp] : {std::pair{cleartext, true}, std::pair{enciphered, false}}) {
            const std::string out = scratch + "/out-" + version + (plainXmp ? "-clear" : "-ciphered") + ".pdf";
            const TToolResult saved = Cli("save --version " + std::string(version) + " --title Klartexttitel " +
                                          Quoted(in) + " -o " + Quoted(out) + " 2>&1");
            ASSERT_EQ(saved.status, 0) << saved.output;
            const std::string bytes = ReadFileText(out);
            EXPECT_EQ(bytes.find("<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Klartexttitel") != std::string::npos,
                      plainXmp)
                << version << " " << in;
            // Deciphered by qpdf (Poppler deciphers cleartext metadata all the same).
            const std::string plain = Deciphered(out, "", scratch, "plain-out.pdf");
            EXPECT_NE(ReadFileText(plain).find("<rdf:li xml:lang=\"x-default\">Klartexttitel"), std::string::npos)
                << version << " " << in;
            EXPECT_EQ(ShowEncryption(out, ""), ShowEncryption(in, ""));
        }
    }
}

TEST(EncryptedSaveRules, DecryptOnlyWithTheOwnerPassword) {
    const std::string scratch = ScratchDir("encrypted-save-decrypt");
    const std::string out = scratch + "/out.pdf";
    std::filesystem::remove(out);
    const TToolResult user =
        Cli("save --decrypt --password user " + Quoted(In("r5-aes256-user.pdf")) + " -o " + Quoted(out) + " 2>&1");
    EXPECT_EQ(user.status, 7) << user.output;
    EXPECT_FALSE(std::filesystem::exists(out));
    const TToolResult owner =
        Cli("save --decrypt --password owner " + Quoted(In("r5-aes256-user.pdf")) + " -o " + Quoted(out) + " 2>&1");
    ASSERT_EQ(owner.status, 0) << owner.output;
    EXPECT_NE(ToolOutput("qpdf --show-encryption " + Quoted(out)).find("File is not encrypted"), std::string::npos);
    EXPECT_EQ(RunTool("qpdf --check " + Quoted(out)).status, 0);
    EXPECT_EQ(PageTexts(out), PageTexts(Deciphered(In("r5-aes256-user.pdf"), "user", scratch, "plain.pdf")));
}

// A missing or wrong password: the one message, exit status 3, nothing
// else on either stream, for every command.
TEST(EncryptedSaveRules, WrongPasswordSaysOneThingAndExits3) {
    const std::string scratch = ScratchDir("encrypted-wrong-password");
    const std::string message = "Fehler: Diese PDF-Datei ist verschlüsselt und kann nicht gelesen werden!\n";
    const std::string file = Quoted(In("r6-aes256-user-nomodify.pdf"));
    const std::string out = Quoted(scratch + "/out.pdf");
    for (const std::string& args :
         {"info " + file, "info --password falsch " + file, "fonts " + file, "runs --password falsch " + file,
          "save --password falsch " + file + " -o " + out}) {
        const TToolResult stdoutOnly = RunTool(Quoted(CliPath()) + " " + args, TToolStreams::OutputOnly);
        const TToolResult stderrOnly =
            RunTool("{ " + Quoted(CliPath()) + " " + args + " 2>&1 >/dev/null; }", TToolStreams::OutputOnly);
        EXPECT_EQ(stdoutOnly.status, 3) << args;
        EXPECT_EQ(stdoutOnly.output, "") << args;
        EXPECT_EQ(stderrOnly.output, message) << args;
    }
    EXPECT_FALSE(std::filesystem::exists(scratch + "/out.pdf"));
}

TEST(EncryptedSaveRules, InfoShowsThePermissions) {
    const TToolResult user = Cli("info --password user " + Quoted(In("r6-aes256-user-nomodify.pdf")));
    ASSERT_EQ(user.status, 0) << user.output;
    EXPECT_NE(user.output.find("Verschlüsselung: R6, AES 256 Bit, mit Benutzerkennwort geöffnet"), std::string::npos)
        << user.output;
    EXPECT_NE(user.output.find("Ändern: nein"), std::string::npos) << user.output;
    EXPECT_NE(user.output.find("Drucken: ja"), std::string::npos) << user.output;
    const TToolResult owner = Cli("info --password=\xC3\x96l-Eigent\xC3\xBCmer " + Quoted(In("r6-aes256-user-nomodify.pdf")));
    ASSERT_EQ(owner.status, 0) << owner.output;
    EXPECT_NE(owner.output.find("Ändern: ja"), std::string::npos) << owner.output;
    EXPECT_NE(owner.output.find("mit Besitzerkennwort geöffnet"), std::string::npos) << owner.output;
}

// Replacing with embedding on an encrypted file: the added fonts are
// enciphered like every other object, and embedded.
TEST(EncryptedSaveRules, EmbeddingOnAnEncryptedFile) {
    const std::string scratch = ScratchDir("encrypted-embed");
    const std::string out = scratch + "/out.pdf";
    const TToolResult run =
        Cli("embed --password user " + Quoted(In("r2-rc4-40-user.pdf")) + " -o " + Quoted(out) + " 2>&1");
    ASSERT_TRUE(run.status == 0 || run.status == 6) << run.output;
    EXPECT_EQ(ShowEncryption(out, "user"), ShowEncryption(In("r2-rc4-40-user.pdf"), "user"));
    const std::string plainIn = Deciphered(In("r2-rc4-40-user.pdf"), "user", scratch, "in-plain.pdf");
    const std::string plainOut = Deciphered(out, "user", scratch, "out-plain.pdf");
    EXPECT_EQ(PageTexts(plainOut), PageTexts(plainIn));
    // The same fonts embedded as when the file it was made from is embedded.
    const std::string plainRun = scratch + "/plain-embedded.pdf";
    const TToolResult plain = Cli("embed " + Quoted(DataPath("corpus/gs-std14-v12.pdf")) + " -o " + Quoted(plainRun));
    EXPECT_EQ(plain.status, run.status) << plain.output;
    EXPECT_EQ(EmbeddedColumn(plainOut), EmbeddedColumn(plainRun));
    EXPECT_NE(EmbeddedColumn(plainOut).find("+NimbusRoman-Regular yes"), std::string::npos) << EmbeddedColumn(plainOut);
    EXPECT_EQ(RunTool("qpdf --check --password=user " + Quoted(out)).status, 0);
}

}  // namespace
