#!/usr/bin/env bash
# scripts/run.sh builds only what it starts and records where the user ran it
# from (or into -w), never into the checkout; without a display it splits on
# silence and says where the tracks go and how to stop. cmake is a stand-in that notes
# what it was asked to build; the program run is the terminal recorder of
# BUILD_DIR (no display), replaying a generated file.
#   run_script_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$(cd "$1" && pwd -P)
build=$(cd "$2" && pwd -P)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$scratch/bin" "$scratch/home" "$scratch/here" "$scratch/chosen"
cat > "$scratch/bin/cmake" <<STUB
#!/bin/sh
echo "\$*" >> "$scratch/cmake.log"
STUB
chmod +x "$scratch/bin/cmake"
sox -n -r 44100 -c 2 -b 16 "$scratch/in.wav" synth 1 sine 440 : trim 0 0.5 : synth 1 sine 880

marker="$scratch/marker"
touch "$marker"
sleep 1  # file times of one second's resolution still tell before from after
run() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM PATH="$scratch/bin:$PATH" HOME="$scratch/home" \
    TAPEWELL_BUILD_DIR="$build" bash "$src/scripts/run.sh" --input "$scratch/in.wav" -l 3 "$@" \
    >"$scratch/out" 2>"$scratch/err" || fail "run.sh $*: $(cat "$scratch/err")"
}
wavs() { find "$1" -maxdepth 1 -name '*.wav' | wc -l; }

# From a folder of the user's: the tracks land there.
(cd "$scratch/here" && run)
[ "$(wavs "$scratch/here")" = 2 ] || fail "no tracks split where run.sh was run from: $(ls "$scratch/here")"
grep -qxF "The tracks go to $scratch/here (-w chooses another folder)." "$scratch/err" ||
  fail "run.sh does not say where the tracks go: $(cat "$scratch/err")"
grep -q "Press q or Ctrl-C to stop" "$scratch/err" || fail "run.sh does not say how to stop: $(cat "$scratch/err")"
# Only the window and the terminal recorder are built.
grep -q -- "--build $build .*--target tapewell tapewell-rec" "$scratch/cmake.log" ||
  fail "run.sh builds more than it starts: $(cat "$scratch/cmake.log")"
grep -- "--build" "$scratch/cmake.log" | grep -qv -- "--target" && fail "an untargeted build: $(cat "$scratch/cmake.log")"
# With -w: there.
(cd "$scratch/here" && run -w "$scratch/chosen")
[ "$(wavs "$scratch/chosen")" = 2 ] || fail "-w was not followed"
grep -qF "The tracks go to $scratch/chosen " "$scratch/err" || fail "run.sh does not name the -w folder: $(cat "$scratch/err")"
# From inside the checkout: into the home folder, and it says so.
(cd "$src" && run)
(cd "$src/scripts" && run)
[ "$(wavs "$scratch/home")" = 4 ] || fail "from the checkout the tracks did not go to the home folder"
grep -q "not into the checkout" "$scratch/err" || fail "run.sh does not say where the tracks go: $(cat "$scratch/err")"
# Nothing new in the checkout outside the build folder.
written=$(find "$src" -newer "$marker" -type f -not -path "$build/*" -not -path "$src/build/*" -not -path "$src/.git/*")
[ -z "$written" ] || fail "run.sh wrote into the checkout: $written"
echo "run.sh: ok"
