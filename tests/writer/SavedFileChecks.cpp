#include "SavedFileChecks.h"

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <regex>
#include <cmath>


namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string WithoutPathAndNumbers(std::string line, const std::string& path) {
    for (size_t at; (at = line.find(path)) != std::string::npos;) line.replace(at, path.size(), "FILE");
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(line[i]))) {
            out += line[i];
            continue;
        }
        out += '#';
        while (i + 1 < line.size() && std::isdigit(static_cast<unsigned char>(line[i + 1]))) ++i;
    }
    return out;
}

}  // namespace

TQpdfCheck QpdfCheck(const std::string& path) {
    const TToolResult run = RunTool("qpdf --check " + Quoted(path));
    TQpdfCheck check;
    check.status = run.status;
    check.output = run.output;
    for (const std::string& line : Lines(run.output))
        if (line.find("WARNING") != std::string::npos) check.warnings.push_back(WithoutPathAndNumbers(line, path));
    return check;
}

std::vector<std::string> NewWarnings(const TQpdfCheck& original, const TQpdfCheck& saved) {
    std::vector<std::string> added;
    for (const std::string& warning : saved.warnings)
        if (std::find(original.warnings.begin(), original.warnings.end(), warning) == original.warnings.end())
            added.push_back(warning);
    return added;
}

std::vector<TPageGeometry> PageGeometry(const std::string& path) {
    const TToolResult info = RunTool("pdfinfo " + Quoted(path));
    const size_t at = info.output.find("\nPages:");
    if (info.status != 0 || at == std::string::npos) return {};
    const int pages = std::atoi(info.output.c_str() + at + 7);
    std::vector<TPageGeometry> geometry(static_cast<size_t>(std::max(pages, 0)));
    if (pages <= 0) return geometry;
    const TToolResult perPage = RunTool("pdfinfo -f 1 -l " + std::to_string(pages) + " " + Quoted(path));
    for (const std::string& line : Lines(perPage.output)) {
        int page = 0;
        double width = 0, height = 0;
        int rotation = 0;
        if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf", &page, &width, &height) == 3 && page >= 1 &&
            page <= pages) {
            geometry[static_cast<size_t>(page - 1)].width = width;
            geometry[static_cast<size_t>(page - 1)].height = height;
        } else if (std::sscanf(line.c_str(), "Page %d rot: %d", &page, &rotation) == 2 && page >= 1 &&
                   page <= pages) {
            geometry[static_cast<size_t>(page - 1)].rotation = rotation;
        }
    }
    // Every page 0 x 0: pdfinfo found no page, only a count (a linearized
    // file's first-page dictionary states one), and has nothing to compare.
    const bool measured = std::any_of(geometry.begin(), geometry.end(),
                                      [](const TPageGeometry& page) { return page.width > 0 || page.height > 0; });
    if (!measured) return {};
    return geometry;
}

std::vector<std::string> PageTexts(const std::string& path) {
    const std::string text = RunTool("pdftotext -q " + Quoted(path) + " -").output;
    std::vector<std::string> pages;
    size_t start = 0, ff;
    while ((ff = text.find('\f', start)) != std::string::npos) {
        pages.push_back(text.substr(start, ff - start));
        start = ff + 1;
    }
    return pages;
}

namespace {

struct TGrayImage {
    int width = 0;
    int height = 0;
    std::string pixels;
};

// A binary PGM as pdftoppm writes it ("P5 w h 255" and the bytes).
bool ReadPgm(const std::string& path, TGrayImage& image) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    if (!(in >> magic >> image.width >> image.height >> maxValue) || magic != "P5" || maxValue != 255) return false;
    in.get();
    const size_t size = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    image.pixels.resize(size);
    return static_cast<bool>(in.read(image.pixels.data(), static_cast<std::streamsize>(size)));
}

std::vector<std::string> RenderPages(const std::string& pdf, const std::string& prefix, int dpi, int pages) {
    const std::string range = pages > 0 ? " -f 1 -l " + std::to_string(pages) : "";
    RunTool("pdftoppm -q -r " + std::to_string(dpi) + range + " -gray " + Quoted(pdf) + " " + Quoted(prefix));
    std::vector<std::string> files;
    const std::filesystem::path dir = std::filesystem::path(prefix).parent_path();
    const std::string stem = std::filesystem::path(prefix).filename().string() + "-";
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(stem, 0) == 0 && entry.path().extension() == ".pgm") files.push_back(entry.path().string());
    }
    // pdftoppm pads the page numbers to one width, so names sort in page order.
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TRenderDiff CompareRenderings(const std::string& a, const std::string& b, const std::string& scratchDir, int dpi,
                              int pages) {
    TRenderDiff diff;
    const std::vector<std::string> pagesA = RenderPages(a, scratchDir + "/a", dpi, pages);
    const std::vector<std::string> pagesB = RenderPages(b, scratchDir + "/b", dpi, pages);
    if (pagesA.size() != pagesB.size()) {
        diff.problem = std::to_string(pagesA.size()) + " against " + std::to_string(pagesB.size()) + " pages rendered";
        return diff;
    }
    for (size_t page = 0; page < pagesA.size(); ++page) {
        TGrayImage imageA, imageB;
        if (!ReadPgm(pagesA[page], imageA) || !ReadPgm(pagesB[page], imageB)) {
            diff.problem = "page " + std::to_string(page + 1) + " is no readable PGM";
            return diff;
        }
        if (imageA.width != imageB.width || imageA.height != imageB.height) {
            diff.problem = "page " + std::to_string(page + 1) + " renders at another size";
            return diff;
        }
        int64_t differing = 0;
        for (size_t i = 0; i < imageA.pixels.size(); ++i) {
            const int d = std::abs(static_cast<int>(static_cast<uint8_t>(imageA.pixels[i])) -
                                   static_cast<int>(static_cast<uint8_t>(imageB.pixels[i])));
            diff.maxPixelDiff = std::max(diff.maxPixelDiff, d);
            differing += d != 0;
        }
        diff.differingShare.push_back(imageA.pixels.empty() ? 0.0
                                                            : static_cast<double>(differing) /
                                                                  static_cast<double>(imageA.pixels.size()));
    }
    return diff;
}

namespace {

int64_t ImageInk(const TGrayImage& image) {
    std::array<int64_t, 256> histogram{};
    for (char pixel : image.pixels) ++histogram[static_cast<uint8_t>(pixel)];
    const int background = static_cast<int>(std::max_element(histogram.begin(), histogram.end()) - histogram.begin());
    int64_t far = 0;
    for (int value = 0; value < 256; ++value)
        if (std::abs(value - background) >= 64) far += histogram[static_cast<size_t>(value)];
    return far;
}

}  // namespace

std::vector<int64_t> PageInk(const std::string& pdf, const std::string& scratchDir, int dpi) {
    std::vector<int64_t> ink;
    for (const std::string& page : RenderPages(pdf, scratchDir + "/ink", dpi, 0)) {
        TGrayImage image;
        if (!ReadPgm(page, image)) return {};
        ink.push_back(ImageInk(image));
        std::filesystem::remove(page);
    }
    return ink;
}

int64_t PageInk(const std::string& pdf, int page, const std::string& scratchDir, int dpi) {
    const std::string prefix = scratchDir + "/ink1";
    const std::string pageText = std::to_string(page);
    RunTool("pdftoppm -q -singlefile -f " + pageText + " -l " + pageText + " -r " + std::to_string(dpi) + " -gray " +
            Quoted(pdf) + " " + Quoted(prefix));
    TGrayImage image;
    if (!ReadPgm(prefix + ".pgm", image)) return -1;
    std::filesystem::remove(prefix + ".pgm");
    return ImageInk(image);
}

std::string ObjectText(const std::string& bytes, int32_t num, int32_t gen) {
    const std::string header = std::to_string(num) + " " + std::to_string(gen) + " obj";
    size_t at = bytes.size();
    while ((at = bytes.rfind(header, at == 0 ? 0 : at - 1)) != std::string::npos) {
        if (at > 0 && (bytes[at - 1] == '\r' || bytes[at - 1] == '\n')) break;
        if (at == 0) return {};
    }
    if (at == std::string::npos) return {};
    const size_t body = at + header.size() + 1;
    return bytes.substr(body, bytes.find("endobj", body) - body);
}

int CountKey(const std::string& text, const std::string& key) {
    int count = 0;
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        const size_t end = at + key.size();
        if (end >= text.size() || std::strchr(" \t\r\n<[(/%", text[end]) != nullptr) ++count;
    }
    return count;
}

std::string CliPath() { return GW_CLI_PATH; }

std::vector<std::vector<TWord>> WordBoxes(const std::string& path) {
    const std::string html = ToolOutput("pdftotext -bbox " + Quoted(path) + " -");
    std::vector<std::vector<TWord>> pages;
    const std::regex item(R"re(<page |<word xMin="([0-9.]+)" yMin="[0-9.]+" xMax="([0-9.]+)" yMax="[0-9.]+">([^<]*)</word>)re");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), item); it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        if (m[0].str() == "<page ") {
            pages.emplace_back();
            continue;
        }
        if (pages.empty()) pages.emplace_back();
        pages.back().push_back({std::stod(m[1]), std::stod(m[2]), m[3]});
    }
    return pages;
}

double LargestShift(const std::vector<std::vector<TWord>>& a, const std::vector<std::vector<TWord>>& b) {
    if (a.size() != b.size()) return INFINITY;
    double largest = 0;
    for (size_t p = 0; p < a.size(); ++p) {
        if (a[p].size() != b[p].size()) return INFINITY;
        for (size_t w = 0; w < a[p].size(); ++w) {
            if (a[p][w].text != b[p][w].text) return INFINITY;
            largest = std::max({largest, std::fabs(a[p][w].xMin - b[p][w].xMin), std::fabs(a[p][w].xMax - b[p][w].xMax)});
        }
    }
    return largest;
}

std::vector<TPdfFontLine> PdfFonts(const std::string& path) {
    std::vector<TPdfFontLine> fonts;
    const std::string text = ToolOutput("pdffonts " + Quoted(path));
    const std::regex line(R"(^(\S+)\s+(Type 1C|Type 1|TrueType|Type 3|CID Type 0C|CID Type 0|CID \S+)\s+\S+\s+(yes|no)\s+(yes|no)\s+(yes|no)\s+(\d+)\s+\d+\s*$)");
    std::istringstream lines(text);
    std::string row;
    while (std::getline(lines, row)) {
        std::smatch m;
        if (std::regex_match(row, m, line)) fonts.push_back({m[1], m[2], m[3], m[4], m[5], std::stoi(m[6])});
    }
    return fonts;
}

