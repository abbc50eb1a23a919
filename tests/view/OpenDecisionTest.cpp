// Every outcome of an open, fed to what the window and the command line
// decide from it: both read the one report, so a file the window refuses is
// never one the command line reports as opened, and both say the same.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OpenMessages.h"
#include "OpenOutcome.h"

namespace {

TOpenProblem Problem(TOpenProblemKind kind, std::string detail = {}) {
    TOpenProblem problem;
    problem.kind = kind;
    problem.detail = std::move(detail);
    return problem;
}

struct TDecisionCase {
    const char* name;
    TOpenReport report;
    int exitStatus;             // glyphwell-cli
    TOpenOutcome window;        // for a document read completely
    std::vector<std::string> errors;       // the message boxes, in order
    std::vector<std::string> statusLines;  // behind the reader's own
};

const std::string kPath = "/daten/katalog.pdf";

std::vector<TDecisionCase> Cases() {
    using K = TOpenProblemKind;
    return {
        {"opened", {TOpenResult::Opened, {}}, 0, TOpenOutcome::Opened, {}, {}},
        {"repaired",
         {TOpenResult::Repaired, {Problem(K::TableRebuilt)}},
         0,
         TOpenOutcome::Opened,
         {},
         {"Die Querverweistabelle war beschädigt und wurde neu aufgebaut."}},
        {"unreadable",
         {TOpenResult::Unreadable, {Problem(K::CannotRead)}},
         2,
         TOpenOutcome::Refused,
         {"Konnte die Datei /daten/katalog.pdf nicht öffnen."},
         {}},
        {"empty", {TOpenResult::Invalid, {Problem(K::EmptyFile)}}, 1, TOpenOutcome::Refused, {"Die Datei ist leer."}, {}},
        {"no header",
         {TOpenResult::Invalid, {Problem(K::NoPdfHeader)}},
         1,
         TOpenOutcome::Refused,
         {"Diese Datei ist keine PDF-Datei."},
         {}},
        {"damaged",
         {TOpenResult::Invalid, {Problem(K::Damaged)}},
         1,
         TOpenOutcome::Refused,
         {"Dies ist keine gültige PDF-Datei."},
         {}},
        {"not an integer",
         {TOpenResult::Invalid, {Problem(K::NotAnInteger, "x1")}},
         1,
         TOpenOutcome::Refused,
         {"'x1' ist kein gültiger Integerwert."},
         {}},
        {"not a number",
         {TOpenResult::Invalid, {Problem(K::NotANumber, "]")}},
         1,
         TOpenOutcome::Refused,
         {"']' ist kein gültiger Gleitkommawert."},
         {}},
        {"encrypted",
         {TOpenResult::Encrypted, {Problem(K::Encrypted)}},
         3,
         TOpenOutcome::Refused,
         {"Diese PDF-Datei ist verschlüsselt und kann nicht gelesen werden!"},
         {}},
        {"password needed",
         {TOpenResult::PasswordNeeded, {Problem(K::PasswordNeeded)}},
         3,
         TOpenOutcome::Refused,
         {"Diese PDF-Datei ist verschlüsselt und kann nicht gelesen werden!"},
         {}},
        {"wrong password",
         {TOpenResult::PasswordNeeded, {Problem(K::WrongPassword)}},
         3,
         TOpenOutcome::Refused,
         {"Diese PDF-Datei ist verschlüsselt und kann nicht gelesen werden!"},
         {}},
        {"unsupported",
         {TOpenResult::Unsupported, {Problem(K::UnsupportedFilter, "/RunLengthDecode")}},
         1,
         TOpenOutcome::Refused,
         {"Diese PDF-Datei nutzt eine Funktion, die das Programm nicht unterstützt (Komprimierung "
          "/RunLengthDecode), und kann deshalb nicht gelesen werden!"},
         {}},
        {"out of memory",
         {TOpenResult::OutOfMemory, {Problem(K::NoMemory)}},
         8,
         TOpenOutcome::Refused,
         {"Nicht genug Arbeitsspeicher, um die Datei /daten/katalog.pdf zu lesen."},
         {}},
        {"cancelled", {TOpenResult::Cancelled, {}}, 1, TOpenOutcome::Cancelled, {}, {}},
    };
}

}  // namespace

TEST(OpenDecision, WindowAndCommandLineDecideEveryOutcomeFromTheOneReport) {
    const std::vector<TDecisionCase> cases = Cases();
    // Every outcome is in the table.
    std::vector<bool> seen(static_cast<size_t>(TOpenResult::Cancelled) + 1, false);
    for (const TDecisionCase& c : cases) {
        SCOPED_TRACE(c.name);
        seen[static_cast<size_t>(c.report.outcome)] = true;
        const TOpenDecision decision = DecideOpen(c.report);
        EXPECT_EQ(decision.exitStatus, c.exitStatus);
        EXPECT_EQ(OpenOutcome(c.report, true), c.window);
        // The command line says "opened" exactly where the window shows it.
        EXPECT_EQ(decision.exitStatus == 0, c.window == TOpenOutcome::Opened);
        // A document that was not read completely is never shown.
        if (c.window != TOpenOutcome::Cancelled) {
            EXPECT_EQ(OpenOutcome(c.report, false), TOpenOutcome::Refused);
        }

        const TOpenTexts texts = OpenTexts(c.report, kPath);
        std::vector<std::string> errors;
        for (const auto& [text, icon] : texts.messages) {
            EXPECT_EQ(icon, TMsgIcon::Error) << text;
            errors.push_back(text);
        }
        EXPECT_EQ(errors, c.errors);
        EXPECT_EQ(texts.statusLines, c.statusLines);
    }
    for (size_t i = 0; i < seen.size(); ++i) EXPECT_TRUE(seen[i]) << "outcome " << i << " has no row";
}
