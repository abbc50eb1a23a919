// glyphwell-cli behaves as command-line programs do: --version and --help
// answer on stdout and end with 0, and progress lines stay out of a
// script's way unless asked for or watched on a terminal.
#include <gtest/gtest.h>

#include <zlib.h>

#include <regex>
#include <string>

#include "TestSupport.h"

namespace {

struct TRun {
    int status = -1;
    std::string out;
    std::string err;
};

TRun Cli(const std::string& arguments) {
    const std::string errFile = ScratchDir("cli-conventions-err") + "/stderr.txt";
    // In a subshell: RunTool sends the command's own stderr elsewhere.
    const TToolResult result =
        RunTool("(" + Quoted(GW_CLI_PATH) + " " + arguments + " 2>" + Quoted(errFile) + ")", TToolStreams::OutputOnly);
    return {result.status, result.output, ReadFileText(errFile)};
}

bool HasLine(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

TEST(CliConventions, VersionNamesTheProgramAndTheLibrariesItRunsWith) {
    for (const char* option : {"--version", "-V"}) {
        SCOPED_TRACE(option);
        const TRun run = Cli(option);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "glyphwell-cli 1.0");
        // The zlib the test runs with is the one the program runs with.
        EXPECT_TRUE(HasLine(run.out, std::string("zlib ") + zlibVersion())) << run.out;
        for (const char* library : {"FreeType", "HarfBuzz", "fontconfig", "libtiff"}) {
            const std::regex line(std::string("(^|\n)") + library + " [0-9]+\\.[0-9]+(\\.[0-9]+)?\n");
            EXPECT_TRUE(std::regex_search(run.out, line)) << library << "\n" << run.out;
        }
        EXPECT_TRUE(std::regex_search(run.out, std::regex("(^|\n)libjpeg(-turbo)? [0-9.]+\n"))) << run.out;
    }
    // After the command, --version is save's PDF version, not a question.
    const TRun save = Cli("save --version 1.4");
    EXPECT_EQ(save.status, 64);
    EXPECT_EQ(save.out.find("zlib"), std::string::npos);
}

TEST(CliConventions, AskingForHelpIsAnsweredOnStdoutWithSuccess) {
    for (const char* arguments : {"--help", "-h", "info --help", "save in.pdf -h"}) {
        SCOPED_TRACE(arguments);
        const TRun run = Cli(arguments);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind("Aufruf: glyphwell-cli", 0), 0u) << run.out;
        EXPECT_EQ(run.err, "");
    }
    // A call without a command is a mistake: the usage goes to stderr.
    const TRun bare = Cli("");
    EXPECT_EQ(bare.status, 64);
    EXPECT_EQ(bare.out, "");
    EXPECT_EQ(bare.err.rfind("Aufruf: glyphwell-cli", 0), 0u);
}

TEST(CliConventions, ProgressLinesOnlyWithVerboseOrOnATerminal) {
    const std::string sample = Quoted(CorpusPath("gs-std14-v12.pdf"));
    const TRun quiet = Cli("info " + sample);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    for (const char* verbose : {"--verbose info ", "info -v "}) {
        const TRun loud = Cli(verbose + sample);
        EXPECT_EQ(loud.status, 0);
        EXPECT_EQ(loud.out, quiet.out);
        EXPECT_TRUE(HasLine(loud.err, "3 Seiten gefunden...")) << loud.err;
    }

    // What the user must know about the file is said either way.
    const TRun repaired = Cli("info " + Quoted(CorpusPath("broken-startxref-offset.pdf")));
    EXPECT_TRUE(HasLine(repaired.err, "Die Querverweistabelle war beschädigt und wurde neu aufgebaut.")) << repaired.err;
    EXPECT_EQ(repaired.err.find("gefunden..."), std::string::npos) << repaired.err;

    // On a terminal somebody watches: the progress is shown. `script` runs
    // the program with a pseudo-terminal as its output.
    const std::string watched =
        ToolOutput("script -qec " + Quoted(std::string(GW_CLI_PATH) + " info " + sample) + " /dev/null");
    EXPECT_NE(watched.find("3 Seiten gefunden..."), std::string::npos) << watched;
}

}  // namespace
