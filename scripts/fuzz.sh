#!/usr/bin/env bash
# Builds the WAV reader's libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, generates a seed corpus and runs each target for
# a bounded time (FUZZ_SECONDS, default 30). A crash fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DTAPEWELL_FUZZ=ON -DTAPEWELL_SANITIZE=ON -DTAPEWELL_CORE_ONLY=ON -DTAPEWELL_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target make_fuzz_seeds fuzz_parse_header fuzz_read_file
corpus=$(mktemp -d /tmp/tapewell-fuzz-corpus.XXXXXX)
trap 'rm -rf "$corpus"' EXIT
build-fuzz/tests/fuzz/make_fuzz_seeds "$corpus"
for target in fuzz_parse_header fuzz_read_file; do
  mkdir -p "$corpus/$target"
  cp "$corpus"/seed*.wav "$corpus/$target/"
  log="$corpus/$target.log"
  if ! build-fuzz/tests/fuzz/$target -max_total_time="$seconds" -max_len=4096 -timeout=10 \
      -artifact_prefix="$corpus/" "$corpus/$target" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzzing $target found a crash" >&2
    exit 1
  fi
  grep -E '^#[0-9]+.*DONE' "$log" | tail -n 1 | sed "s/^/$target: /" || tail -n 2 "$log"
done
