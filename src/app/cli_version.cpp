// --version: the program's version and those of the libraries it runs with,
// as they report themselves at run time where they can (a bug report then
// names the library actually loaded, not the one built against).
#include <cstdio>
#include <string>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb.h>
#include <jconfig.h>
#include <tiffio.h>
#include <zlib.h>

#include "CliCommands.h"

namespace {

#define GW_TEXT(x) #x
#define GW_EXPANDED_TEXT(x) GW_TEXT(x)

std::string FreeTypeVersion() {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) return "?";
    FT_Int major = 0, minor = 0, patch = 0;
    FT_Library_Version(library, &major, &minor, &patch);
    FT_Done_FreeType(library);
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

std::string FontconfigVersion() {
    const int version = FcGetVersion();  // 21401 for 2.14.1
    return std::to_string(version / 10000) + "." + std::to_string(version / 100 % 100) + "." +
           std::to_string(version % 100);
}

// "LIBTIFF, Version 4.5.0\nCopyright ..." -> "4.5.0".
std::string TiffVersion() {
    const std::string text = TIFFGetVersion();
    const std::string marker = "Version ";
    const size_t at = text.find(marker);
    if (at == std::string::npos) return "?";
    const size_t start = at + marker.size();
    return text.substr(start, text.find_first_of(" \n", start) - start);
}

}  // namespace

int CliVersion() {
    std::printf("glyphwell-cli %s\n", GW_VERSION);
    std::printf("zlib %s\n", zlibVersion());
    std::printf("FreeType %s\n", FreeTypeVersion().c_str());
    std::printf("HarfBuzz %s\n", hb_version_string());
    std::printf("fontconfig %s\n", FontconfigVersion().c_str());
#ifdef LIBJPEG_TURBO_VERSION
    // libjpeg gives its version only as it was built.
    std::printf("libjpeg-turbo %s\n", GW_EXPANDED_TEXT(LIBJPEG_TURBO_VERSION));
#else
    std::printf("libjpeg %d\n", JPEG_LIB_VERSION);
#endif
    std::printf("libtiff %s\n", TiffVersion().c_str());
    return 0;
}
