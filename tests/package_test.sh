#!/usr/bin/env bash
# package_test.sh - the Debian package as a person installing it meets it: made from this build
# with cpack, lintian reports no errors, it holds the five programs, the default data, a man page
# each, the desktop entry with its icon and Debian's copyright and changelog, and nothing of the
# test suite. Unpacked with dpkg-deb -x into a scratch root, its `player --defaults`, started
# headless from an empty folder, says it plays the installed data, loads the music, and ends
# with 130 when interrupted.
#
# usage: package_test.sh BUILD_DIR   (exit 77 = skipped: no cpack, dpkg-deb, lintian or help2man)
set -u

build=$(cd "$1" && pwd)
for tool in cpack dpkg-deb lintian help2man; do
    if ! command -v $tool > /dev/null; then
        echo "skipped: needs cpack, dpkg-deb, lintian and help2man (scripts/setup package)"
        exit 77
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAILED: $*"
    exit 1
}

if ! (cd "$build" && cpack -G DEB -B "$work/out" > "$work/cpack.log" 2>&1); then
    cat "$work/cpack.log"
    fail "cpack could not make the package"
fi
deb=$(ls "$work"/out/tirval_*.deb)
[[ -f $deb ]] || fail "no tirval_*.deb in $work/out"

if ! lintian --fail-on error "$deb" > "$work/lintian.log" 2>&1; then
    cat "$work/lintian.log"
    fail "lintian reports errors"
fi

# What the package lists.
dpkg-deb -c "$deb" | awk '{print $6}' > "$work/list"
for path in ./usr/bin/{player,devplayer,capture,tirtool,forge} \
    ./usr/share/man/man1/{player,devplayer,capture,tirtool,forge}.1.gz \
    ./usr/share/tirval/tir.val ./usr/share/applications/tirval.desktop \
    ./usr/share/icons/hicolor/64x64/apps/tirval.png \
    ./usr/share/doc/tirval/copyright ./usr/share/doc/tirval/changelog.gz; do
    grep -qx -- "$path" "$work/list" || fail "the package lacks $path"
done
if grep -E 'tirtests|bench_|fuzz_|/include/|\.a$' "$work/list"; then
    fail "the package holds parts of the test suite or of the build"
fi
[[ $(dpkg-deb -f "$deb" Package) == tirval ]] || fail "the package is not named tirval"
version=$("$build/bin/player" --version | awk '{print $NF}')
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "the package's version is not $version"
dpkg-deb -f "$deb" Depends | grep -q libsdl2 || fail "the package does not depend on SDL2"

# Unpacked into a scratch root and played from an empty folder.
dpkg-deb -x "$deb" "$work/root"
grep -qx 'Exec=player' "$work/root/usr/share/applications/tirval.desktop" ||
    fail "the desktop entry does not start the player"
cmp -s "$work/root/usr/share/tirval/tir.val" "$build/installed-files/tirval/tir.val" ||
    fail "the installed data is not the forged data"
mkdir "$work/empty"
cd "$work/empty" || exit 1
env SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 \
    "$work/root/usr/bin/player" --defaults > "$work/play.out" 2> "$work/play.err" &
pid=$!
started=0
for _ in $(seq 600); do
    if grep -q "playing the installed data $work/root/usr/share/tirval/tir.val" "$work/play.err" &&
        [[ $(grep -c '^done\.$' "$work/play.out") -ge 2 ]]; then
        started=1
        break
    fi
    kill -0 $pid 2> /dev/null || break
    sleep 0.1
done
kill -INT $pid 2> /dev/null
wait $pid
status=$?
if [[ $started != 1 ]]; then
    cat "$work/play.out" "$work/play.err"
    fail "the unpacked player did not start playing the installed data"
fi
[[ $status == 130 ]] || {
    cat "$work/play.err"
    fail "the interrupted player ended with $status, not 130"
}
if grep -q "FILE" "$work/play.err"; then
    cat "$work/play.err"
    fail "the player missed a file"
fi
grep -q "mystified.m3d" "$work/play.out" || fail "the music's companion was not loaded"
echo "the package: $(basename "$deb"), $(wc -l < "$work/list") entries, lintian without errors;" \
    "its player played the installed data"
