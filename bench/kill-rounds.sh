#!/bin/sh
# bench/kill-rounds.sh BUILD_DIR [ROUNDS]: kills perlane at random points while it saves an
# edit with the real mkvpropedit and takes the save back, ROUNDS times (default 50), and
# checks after each next start that the file is exactly as before the edit or after it.
# BUILD_DIR is a build with the tests (./test makes build-test and its media).
set -eu
build=$(cd "$1" && pwd)
rounds=${2:-50}
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
cd "$build/tests"
PERLANE_KILL_ROUNDS=$rounds XDG_STATE_HOME=$state PERLANE_MEDIA_DIR=$build/tests/media QT_QPA_PLATFORM=offscreen \
  ASAN_OPTIONS=detect_leaks=0 ./tst_journal random_kills_leave_the_file_before_or_after
