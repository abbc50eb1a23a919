#!/usr/bin/env bash
# Builds the Debian package from build/, installs it and tries the installed
# programs: glyphwell-cli on a corpus file and with --version, and
# desktop-file-validate on the desktop entry; the manual the help window
# shows must be there. Run after ./test (CI runs it as root on Debian 12).
#
# --extract: instead of installing (which needs root and the apt lock), the
# package is unpacked into a temporary folder and its dependencies are only
# checked against what is installed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${GW_BUILD_DIR:-$top/build}
sample=$top/tests/data/corpus/gs-std14-v12.pdf
mode=install
[ "${1:-}" = --extract ] && mode=extract

cd "$build"
rm -f glyphwell_*.deb
log=$(mktemp)
cpack -G DEB >"$log" 2>&1 || { cat "$log" >&2; rm -f "$log"; exit 1; }
rm -f "$log"
deb=$(ls "$build"/glyphwell_*.deb)
echo "Paket: $(basename "$deb")"
echo "Abhängigkeiten: $(dpkg-deb -f "$deb" Depends)"

if [ "$mode" = install ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
  root=""
else
  # Every dependency must be a package that exists and is installed here.
  dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//; s/|.*//' | while read -r pkg; do
    [ -n "$pkg" ] || continue
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
      { echo "Abhängigkeit nicht installiert: $pkg" >&2; exit 1; }
  done
  root=$(mktemp -d)
  trap 'rm -rf "$root"' EXIT
  dpkg-deb -x "$deb" "$root"
fi

for file in /usr/bin/glyphwell /usr/bin/glyphwell-cli /usr/share/applications/glyphwell.desktop \
            /usr/share/icons/hicolor/scalable/apps/glyphwell.svg /usr/share/man/man1/glyphwell-cli.1.gz \
            /usr/share/glyphwell/handbuch.html; do
  [ -e "$root$file" ] || { echo "Fehlt im Paket: $file" >&2; exit 1; }
done
info=$("$root/usr/bin/glyphwell-cli" info "$sample" 2>/dev/null)
grep -q '^PDF-Version: 1.2' <<<"$info" || { echo "glyphwell-cli info: unerwartete Ausgabe" >&2; echo "$info" >&2; exit 1; }
echo "glyphwell-cli info: ${info%%$'\n'*}"
version=$("$root/usr/bin/glyphwell-cli" --version)
for name in glyphwell-cli zlib FreeType HarfBuzz fontconfig; do
  grep -q "^$name " <<<"$version" || { echo "glyphwell-cli --version: $name fehlt" >&2; echo "$version" >&2; exit 1; }
done
echo "glyphwell-cli --version: ${version%%$'\n'*}"
grep -q '<title>PDF Glyphwell – Handbuch</title>' "$root/usr/share/glyphwell/handbuch.html"
desktop-file-validate "$root/usr/share/applications/glyphwell.desktop"
zcat "$root/usr/share/man/man1/glyphwell-cli.1.gz" | head -n 1 | grep -q '^\.TH'
echo "Paket geprüft."
