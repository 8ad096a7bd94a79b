#!/bin/sh
# Builds the fuzz targets with clang's libFuzzer (ASan + UBSan) and runs each one.
# Usage: tests/fuzz/run.sh WORK_DIR SECONDS MEDIA_DIR [TARGET...]
# Fails on any crash, leak, timeout or sanitizer report. Findings are written to
# WORK_DIR/findings; move them into tests/fuzz/regressions/<target>/ to keep them.
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
work="$1"; seconds="$2"; media="$3"; shift 3
targets="${*:-view masters}"
cxx="${PERLANE_FUZZ_CXX:-clang++-16}"
mkdir -p "$work/findings"
python3 "$here/make_inputs.py" "$root/reader" "$media" "$work" >/dev/null

# libstdc++'s <expected> asks for the C++20 concepts level that this clang implements
# without announcing it.
flags="-std=c++2b -U__cpp_concepts -D__cpp_concepts=202002L -O1 -g -fno-omit-frame-pointer
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I$root/reader"
# The reader once, then each target against it.
objects=""
for src in "$root"/reader/*.cpp; do
  obj="$work/$(basename "$src" .cpp).o"
  objects="$objects $obj"
  if [ ! -f "$obj" ] || [ -n "$(find "$root/reader" -newer "$obj" -print -quit)" ]; then
    $cxx $flags -c -o "$obj" "$src" &
  fi
done
wait
for t in $targets; do
  bin="$work/fuzz_$t"
  if [ ! -x "$bin" ] || [ -n "$(find "$root/reader" "$here/fuzz_$t.cpp" -newer "$bin" -print -quit)" ]; then
    $cxx $flags -o "$bin" "$here/fuzz_$t.cpp" $objects
  fi
done

status=0
for t in $targets; do
  corpus="$work/corpus_$t"
  # In the test suite the corpus starts from the seeds at every run: replaying a corpus
  # that grew over earlier runs is work no time limit bounds.
  [ -n "${PERLANE_FUZZ_FRESH_CORPUS:-}" ] && rm -rf "$corpus"
  mkdir -p "$corpus"
  cp -n "$work/seeds/$t"/* "$corpus"/ 2>/dev/null || true
  # Every kept finding first: they must all pass.
  if [ -n "$(ls "$here/regressions/$t" 2>/dev/null)" ]; then
    "$work/fuzz_$t" -runs=1 "$here/regressions/$t"/* >"$work/regressions_$t.log" 2>&1 || {
      echo "fuzz_$t: a kept regression fails"; tail -30 "$work/regressions_$t.log"; status=1; }
  fi
  "$work/fuzz_$t" "$corpus" -dict="$work/matroska.dict" -max_total_time="$seconds" \
      -max_len=65536 -timeout=10 -rss_limit_mb=2048 -detect_leaks=1 -print_final_stats=1 \
      -artifact_prefix="$work/findings/${t}-" >"$work/fuzz_$t.log" 2>&1 || {
    echo "fuzz_$t: finding"; tail -40 "$work/fuzz_$t.log"; status=1; }
  grep -E "stat::number_of_executed_units|cov:" "$work/fuzz_$t.log" | tail -2 | sed "s/^/fuzz_$t: /"
  echo "fuzz_$t: corpus $(ls "$corpus" | wc -l) files"
done
exit $status
