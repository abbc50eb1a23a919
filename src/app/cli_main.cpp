// glyphwell-cli: the program's work without a window.
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

#include "CliCommands.h"

namespace {

const char* const kUsage =
    "Aufruf: glyphwell-cli [--verbose] BEFEHL [OPTIONEN] DATEI\n"
    "       glyphwell-cli --version | --help\n"
    "\n"
    "Befehle:\n"
    "  info DATEI     liest die PDF-Datei und zeigt Version, Objekte, Seiten und\n"
    "                 Dokumentinformationen\n"
    "  add-font [--json] DATEI \"Familie[:Bold][:Italic]\"\n"
    "                 fügt eine installierte TrueType- oder OpenType-Schriftart hinzu\n"
    "                 und zeigt Ressourcenname, Basisschriftname und\n"
    "                 Schriftbeschreibung\n"
    "  fonts [--json] DATEI\n"
    "                 liest die PDF-Datei und listet Seiten, Schriftarten und\n"
    "                 Bilder (--json: als JSON)\n"
    "  save EINGABE -o AUSGABE [--add-font \"Familie[:Bold][:Italic]\"]...\n"
    "       [--replace [SEITE:]/ALT=/NEU]... [--version 1.2|1.3|1.4|1.5|1.6|1.7] [--producer T]\n"
    "       [--creator T] [--author T] [--title T] [--subject T] [--keywords T]\n"
    "       [--created JJJJ-MM-TTThh:mm:ss] [--modified JJJJ-MM-TTThh:mm:ss|now]\n"
    "       [--no-images] [--no-embed] [--natural-widths] [--force] [--decrypt]\n"
    "       [--json]\n"
    "                 ersetzt Schriftarten und schreibt eine neue PDF-Datei, die\n"
    "                 danach wieder geöffnet wird (4: nicht geschrieben, auch weil\n"
    "                 eine Ersetzung Text verlieren würde; --force schreibt dann\n"
    "                 alles Übrige; 5: lässt sich nicht wieder öffnen; 7: Änderung\n"
    "                 nicht erlaubt; --decrypt: unverschlüsselt, nur mit dem\n"
    "                 Besitzerkennwort)\n"
    "  runs [--json] [--page N] DATEI\n"
    "                 liest die PDF-Datei und listet die Textstücke jeder Seite\n"
    "                 (Seite, Schriftart, Größe, x, y, Breite, Text) und die Zahl\n"
    "                 der Pfade und Bilder je Seite\n"
    "  embed EINGABE... [-o AUSGABE | --suffix -embedded] [--rule REGEL]...\n"
    "       [--rules DATEI] [--dry-run] [--json]\n"
    "                 ersetzt jede nicht eingebettete Schriftart nach Regeln oder\n"
    "                 dem Vorschlag von fontconfig durch eine eingebettete\n"
    "                 (6: für eine Schriftart keine gute Entsprechung, oder eine\n"
    "                 Ersetzung würde Text verlieren)\n"
    "\n"
    "Allgemeine Optionen:\n"
    "  -v, --verbose  zeigt den Fortschritt (\"3 Seiten gefunden...\") auf der\n"
    "                 Fehlerausgabe; ohne diese Option nur, wenn sie ein Terminal ist\n"
    "  -V, --version  zeigt die Version des Programms und seiner Bibliotheken\n"
    "  -h, --help     zeigt diese Hilfe\n"
    "\n"
    "Jeder Befehl nimmt --password KENNWORT für verschlüsselte Dateien (Benutzer-\n"
    "oder Besitzerkennwort).\n"
    "\n"
    "Rückgabewert: 0 ohne Fehlermeldung, 1 bei ungültiger PDF-Datei,\n"
    "2 wenn die Datei nicht gelesen werden kann, 3 bei verschlüsselter Datei,\n"
    "64 bei falschem Aufruf.\n";

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }
bool IsVerbose(const std::string& arg) { return arg == "--verbose" || arg == "-v"; }

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
    // --verbose may stand before or after the command; no command has an
    // option of that name. --version only counts before the command: save
    // has its own --version (the PDF version to write).
    TCliArgs args;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        if (IsVerbose(argv[i])) verbose = true;
        else args.emplace_back(argv[i]);
    }
    if (!args.empty() && (args[0] == "--version" || args[0] == "-V")) return CliVersion();
    // Asking for help is no mistake: it goes to stdout and ends with 0.
    for (const std::string& arg : args) {
        if (!IsHelp(arg)) continue;
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return 64;
    }
    const auto command = commands.find(args[0]);
    if (command == commands.end()) {
        std::fprintf(stderr, "Unbekannter Befehl: %s\n\n%s", args[0].c_str(), kUsage);
        return 64;
    }
    SetProgressShown(verbose || isatty(STDERR_FILENO) == 1);
    // The password is taken out before the command sees its arguments, so
    // that every command opens encrypted files alike.
    TCliArgs commandArgs;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--password") {
            if (i + 1 >= args.size()) {
                std::fputs("--password braucht ein Kennwort.\n", stderr);
                return 64;
            }
            SetCliPassword(args[++i]);
        } else if (arg.rfind("--password=", 0) == 0) {
            SetCliPassword(arg.substr(11));
        } else {
            commandArgs.push_back(arg);
        }
    }
    return command->second(commandArgs);
}
