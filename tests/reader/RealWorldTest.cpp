// Real-world files from public sample collections, against what pdfinfo
// made of them (expect.tsv): the files pdfinfo reads open with its page
// count (encrypted ones too), those that need a password stop at it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "TestSupport.h"

namespace {

struct TRealWorldRow {
    std::string file;
    bool encrypted = false;
    int pdfinfoRc = 0;
    int pages = 0;
};

std::vector<TRealWorldRow> LoadExpectations() {
    std::vector<TRealWorldRow> rows;
    std::ifstream in(DataPath("realworld/expect.tsv"));
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
        if (cells.size() < 7) continue;
        TRealWorldRow row;
        row.file = cells[0];
        row.encrypted = cells[4] != "no";
        row.pdfinfoRc = std::stoi(cells[5]);
        row.pages = row.pdfinfoRc == 0 ? std::stoi(cells[6]) : 0;
        rows.push_back(row);
    }
    return rows;
}

TEST(RealWorld, AtLeast95PercentOfWhatPdfinfoReadsOpensWithItsPageCount) {
    const std::vector<TRealWorldRow> rows = LoadExpectations();
    ASSERT_GE(rows.size(), 70u);
    int readable = 0, matched = 0;
    std::string failures;
    for (const TRealWorldRow& row : rows) {
        auto h = OpenHeadless(DataPath("realworld/" + row.file), false);
        EXPECT_EQ(h->doc.opening, 0) << row.file;
        if (row.encrypted && row.pdfinfoRc != 0) {
            // What pdfinfo cannot open without a password stops at the
            // password here too, never as broken.
            EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::PasswordNeeded) << row.file;
            continue;
        }
        if (row.pdfinfoRc != 0) continue;
        ++readable;
        if (IsOpened(h->doc.LastOpen().outcome) && h->doc.pageList.Count() == row.pages) ++matched;
        else failures += row.file + " (" + std::to_string(h->doc.pageList.Count()) + " of " +
                         std::to_string(row.pages) + " pages) " + h->AllMessages() + "\n";
    }
    EXPECT_GE(matched * 100, readable * 95) << matched << " of " << readable << "; failing:\n" << failures;
}

}  // namespace
