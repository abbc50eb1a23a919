// glyphwell-cli: the program's work without a window.
#include <cstdio>
#include <cstring>
#include <map>

#include "CliCommands.h"

namespace {

const char* const kUsage =
    "Aufruf: glyphwell-cli BEFEHL [OPTIONEN] DATEI\n"
    "\n"
    "Befehle:\n"
    "  info DATEI     liest die PDF-Datei und zeigt Version, Objekte, Seiten und\n"
    "                 Dokumentinformationen\n"
    "\n"
    "Rückgabewert: 0 ohne Fehlermeldung, 1 bei ungültiger PDF-Datei,\n"
    "2 wenn die Datei nicht gelesen werden kann, 3 bei verschlüsselter Datei.\n";

}  // namespace

int main(int argc, char** argv) {
    const std::map<std::string, int (*)(const TCliArgs&)> commands = {
        {"info", CliInfo},
    };
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 64 : 0;
    }
    const auto command = commands.find(argv[1]);
    if (command == commands.end()) {
        std::fprintf(stderr, "Unbekannter Befehl: %s\n\n%s", argv[1], kUsage);
        return 64;
    }
    return command->second(TCliArgs(argv + 2, argv + argc));
}
