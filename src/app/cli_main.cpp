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
    "  add-font [--json] DATEI \"Familie[:Bold][:Italic]\"\n"
    "                 fügt eine installierte TrueType-Schriftart hinzu und zeigt\n"
    "                 Ressourcenname, Basisschriftname und Schriftbeschreibung\n"
    "  fonts [--json] DATEI\n"
    "                 liest die PDF-Datei und listet Seiten, Schriftarten und\n"
    "                 Bilder (--json: als JSON)\n"
    "  save EINGABE -o AUSGABE [--add-font \"Familie[:Bold][:Italic]\"]...\n"
    "       [--replace [SEITE:]/ALT=/NEU]... [--version 1.2|1.3|1.4] [--producer T]\n"
    "       [--creator T] [--author T] [--title T] [--subject T] [--keywords T]\n"
    "       [--created JJJJ-MM-TTThh:mm:ss] [--modified JJJJ-MM-TTThh:mm:ss|now]\n"
    "       [--no-images] [--no-embed] [--natural-widths] [--decrypt] [--json]\n"
    "                 ersetzt Schriftarten und schreibt eine neue PDF-Datei, die\n"
    "                 danach wieder geöffnet wird (4: nicht geschrieben,\n"
    "                 5: lässt sich nicht wieder öffnen, 7: Änderung nicht\n"
    "                 erlaubt; --decrypt: unverschlüsselt, nur mit dem\n"
    "                 Besitzerkennwort)\n"
    "  runs [--json] [--page N] DATEI\n"
    "                 liest die PDF-Datei und listet die Textstücke jeder Seite\n"
    "                 (Seite, Schriftart, Größe, x, y, Breite, Text) und die Zahl\n"
    "                 der Pfade und Bilder je Seite\n"
    "  embed EINGABE... [-o AUSGABE | --suffix -embedded] [--rule REGEL]...\n"
    "       [--rules DATEI] [--dry-run] [--json]\n"
    "                 ersetzt jede nicht eingebettete Schriftart nach Regeln oder\n"
    "                 dem Vorschlag von fontconfig durch eine eingebettete\n"
    "                 (6: für eine Schriftart keine gute Entsprechung)\n"
    "\n"
    "Jeder Befehl nimmt --password KENNWORT für verschlüsselte Dateien (Benutzer-\n"
    "oder Besitzerkennwort).\n"
    "\n"
    "Rückgabewert: 0 ohne Fehlermeldung, 1 bei ungültiger PDF-Datei,\n"
    "2 wenn die Datei nicht gelesen werden kann, 3 bei verschlüsselter Datei.\n";

}  // namespace

int main(int argc, char** argv) {
    const std::map<std::string, int (*)(const TCliArgs&)> commands = {
        {"info", CliInfo},
        {"add-font", CliAddFont},
        {"fonts", CliFonts},
        {"save", CliSave},
        {"runs", CliRuns},
        {"embed", CliEmbed},
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
    // The password is taken out before the command sees its arguments, so
    // that every command opens encrypted files alike.
    TCliArgs args;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--password") {
            if (i + 1 >= argc) {
                std::fputs("--password braucht ein Kennwort.\n", stderr);
                return 64;
            }
            SetCliPassword(argv[++i]);
        } else if (arg.rfind("--password=", 0) == 0) {
            SetCliPassword(arg.substr(11));
        } else {
            args.push_back(arg);
        }
    }
    return command->second(args);
}
