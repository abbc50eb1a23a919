#!/usr/bin/env bash
# Measures, in one run, glyphwell-bench (open, paint every page, save) beside
# the tools a user would otherwise reach for, and prints each time and our
# ratio to it.
#   bench/compare.sh [--bench PATH] FILE
# PATH defaults to the glyphwell-bench of the first build folder that has one.
set -euo pipefail

bench=""
if [[ ${1:-} == --bench ]]; then
  bench=$2
  shift 2
fi
if [[ $# -ne 1 ]]; then
  echo "Aufruf: bench/compare.sh [--bench PFAD] DATEI" >&2
  exit 64
fi
file=$1
here=$(cd "$(dirname "$0")/.." && pwd)
if [[ -z $bench ]]; then
  for candidate in "$here"/build/bench/glyphwell-bench "$here"/build*/bench/glyphwell-bench; do
    if [[ -x $candidate ]]; then bench=$candidate; break; fi
  done
fi
if [[ -z $bench || ! -x $bench ]]; then
  echo "glyphwell-bench nicht gefunden; erst bauen oder --bench angeben" >&2
  exit 2
fi
for tool in pdftotext pdffonts qpdf; do
  command -v $tool >/dev/null || { echo "$tool fehlt (poppler-utils, qpdf)" >&2; exit 2; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
now() { date +%s.%N; }
timed() {  # timed NAME COMMAND...: wall-clock seconds of one run
  local start end
  start=$(now)
  "${@:2}" >/dev/null 2>&1 || true
  end=$(now)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }'
}

"$bench" "$file" > "$scratch/bench.txt" 2>/dev/null || true
value() { awk -v k="$1" '$1 == k { print $2 }' "$scratch/bench.txt"; }
open=$(value total)
paint=$(value paint_total)
save=$(value save_total)
rss=$(value peak_rss)
decoded=$(awk '$1 == "file_size" || $1 == "decoded_content" || $1 == "decoded_images" { s += $2 } END { print s }' "$scratch/bench.txt")

t_text=$(timed pdftotext pdftotext "$file" /dev/null)
t_fonts=$(timed pdffonts pdffonts -l 100000 "$file")
t_check=$(timed qpdf-check qpdf --check "$file")
t_copy=$(timed qpdf-copy qpdf "$file" "$scratch/out.pdf")

size_mib=$(awk -v b="$(stat -c %s "$file")" 'BEGIN { printf "%.1f", b / 1048576 }')
awk -v open="$open" -v paint="${paint:-0}" -v save="$save" -v rss="$rss" -v size="$size_mib" -v decoded="$decoded" \
    -v text="$t_text" -v fonts="$t_fonts" -v check="$t_check" -v copy="$t_copy" 'BEGIN {
  printf "%-34s %10s\n", "stage / peer", "seconds"
  printf "%-34s %10.3f\n", "glyphwell open (read+decode+interpret)", open
  printf "%-34s %10.3f\n", "glyphwell paint every page", paint
  printf "%-34s %10.3f\n", "glyphwell save", save
  printf "%-34s %10.3f\n", "pdftotext FILE /dev/null", text
  printf "%-34s %10.3f\n", "pdffonts -l 100000 FILE", fonts
  printf "%-34s %10.3f\n", "qpdf --check FILE", check
  printf "%-34s %10.3f\n", "qpdf FILE OUT", copy
  printf "\n"
  if (text > 0) printf "open / pdftotext     %.2f x (goal < 0.5)\n", open / text
  if (fonts > 0) printf "open / pdffonts      %.2f x\n", open / fonts
  if (check > 0) printf "open / qpdf --check  %.2f x\n", open / check
  if (copy > 0) printf "save / qpdf IN OUT   %.2f x (goal <= 1)\n", save / copy
  printf "peak memory          %.0f MiB for a %.1f MiB file\n", rss, size
  if (decoded > 0) printf "memory / (file + decoded content and images) %.2f x (goal < 3)\n", rss / decoded
}'
