#!/usr/bin/env bash
# Builds the libFuzzer target into build-fuzz/ and runs it for SECONDS
# (default 600), seeded with the corpus and the malformed regression files.
# New inputs collect in build-fuzz/fuzz-corpus, findings in
# build-fuzz/findings. Not part of CI. Extra arguments go to the fuzzer.
# One fuzzing process (libFuzzer's default without -jobs/-fork): the build
# machine is shared.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${1:-600}
shift || true

if ! command -v clang++-14 >/dev/null || ! dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q "install ok installed"; then
  echo "Installing: clang-14 libclang-rt-14-dev"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends clang-14 libclang-rt-14-dev
fi

build=build-fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DGW_FUZZ=ON -DGW_BUILD_GUI=OFF -DGW_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "${GW_FUZZ_BUILD_JOBS:-2}" --target fuzz_open

corpus=$build/fuzz-corpus
findings=$build/findings
mkdir -p "$corpus" "$findings"
# The seeds: the corpus, the malformed files, the encrypted files, the cross-reference and
# object-stream files and the real-world samples that fit -max_len, except
# those that only probe size bounds. Their decoded content runs to tens of megabytes and
# takes longer than the time limit under the fuzzer's instrumentation (the
# tests replay them at full speed).
slow_seeds=" million-q.pdf shared-bomb-pages.pdf flate-bomb-content.pdf "
seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds"
for file in tests/data/corpus/*.pdf tests/data/malformed/*.pdf tests/data/xref/*.pdf tests/data/realworld/*.pdf \
    tests/data/encrypted/*.pdf; do
  [ -f "$file" ] || continue
  [ "$(stat -c %s "$file")" -le 200000 ] || continue
  case "$slow_seeds" in *" $(basename "$file") "*) continue ;; esac
  cp "$file" "$seeds/"
done

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
exec "$build/fuzz/fuzz_open" "$corpus" "$seeds" \
    -max_total_time="$seconds" -max_len=200000 -timeout=5 -rss_limit_mb=2048 \
    -detect_leaks=1 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$@"
