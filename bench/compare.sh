#!/usr/bin/env bash
# Opens FILE with glyphwell-bench and extracts its text with pdftotext in the
# same run, and prints both wall-clock times and their ratio.
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
  for candidate in "$here"/build*/bench/glyphwell-bench; do
    if [[ -x $candidate ]]; then bench=$candidate; break; fi
  done
fi
if [[ -z $bench || ! -x $bench ]]; then
  echo "glyphwell-bench nicht gefunden; erst bauen oder --bench angeben" >&2
  exit 2
fi
command -v pdftotext >/dev/null || { echo "pdftotext fehlt (poppler-utils)" >&2; exit 2; }

now() { date +%s.%N; }

start=$(now)
"$bench" "$file" >/dev/null || true
middle=$(now)
pdftotext "$file" /dev/null
end=$(now)

awk -v a="$start" -v b="$middle" -v c="$end" 'BEGIN {
  ours = b - a; theirs = c - b
  printf "glyphwell-bench %.3f s\n", ours
  printf "pdftotext %.3f s\n", theirs
  if (theirs > 0) printf "ratio %.2f x\n", ours / theirs
}'
