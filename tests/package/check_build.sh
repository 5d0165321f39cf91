#!/usr/bin/env bash
# Checks the two ways into Tolm that need no test tools. Usage:
#   check_build.sh plain SOURCE_DIR     a packager's Release build: it makes the program and its
#                                       documents only, hardened, the page naming the prefix's
#                                       documentation folder; with the tests asked for and
#                                       GoogleTest absent, configuring still works and says so
#   check_build.sh dev-edit SOURCE_DIR  a newcomer's ./dev edit in a fresh copy of the sources,
#                                       called from another folder on a file there: it builds the
#                                       program only and shows the file's first screen within
#                                       FIRST_SCREEN_LIMIT seconds; prints the time taken
# Exit status: 0 passed, 1 failed, 77 skipped (dev-edit outside a git work tree).
set -u

# Far above the half minute a newcomer should wait on two idle cores, for a machine that is
# running the other tests at the same time.
FIRST_SCREEN_LIMIT=120

mode=${1:-}
source_dir=$(realpath -- "${2:-}") || exit 1
[[ -f $source_dir/CMakeLists.txt ]] || { echo "FAIL: no sources at '${2:-}'"; exit 1; }

export LC_ALL=C.UTF-8
unset TMUX TMUX_PANE
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tolm-build.XXXXXX") || exit 1
tmx() { tmux -S "$scratch/tmux" -f /dev/null "$@"; }
cleanup() {
    tmx kill-server 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

# The files a build tree holds besides CMake's own, relative to it: what the build made.
built_files() {
    (cd "$1" && find . -type f ! -path './CMakeFiles/*' ! -name 'CMakeCache.txt' ! -name '*.cmake' \
        ! -name Makefile ! -name 'install_manifest*' | sed 's|^\./||' | sort | tr '\n' ' ')
}

# A hardened executable: position-independent, relocations read-only and bound at start, stack
# protection and checked library calls linked in.
check_hardening() {
    local program=$1 header dynamic symbols
    header=$(readelf -hW "$program") dynamic=$(readelf -dW "$program")
    symbols=$(readelf --dyn-syms -W "$program")
    [[ $header == *"DYN (Position-Independent Executable file)"* ]] || fail "$program is no PIE"
    readelf -lW "$program" | grep -q GNU_RELRO || fail "$program has no read-only relocations"
    [[ $dynamic == *BIND_NOW* ]] || fail "$program does not bind its symbols at start"
    [[ $symbols == *__stack_chk_fail* ]] || fail "$program has no stack protection"
    [[ $symbols =~ __[a-z]+_chk ]] || fail "$program calls no checked library function"
}

plain() {
    local build=$scratch/build output expected="changelog changelog.gz libtolm_core.a tolm tolm.1 tolm.1.gz "
    cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/opt/tolm \
        >"$scratch/log" 2>&1 &&
        cmake --build "$build" -j 2 >>"$scratch/log" 2>&1 ||
        { cat "$scratch/log"; fail "the plain Release build failed"; return; }
    output=$(built_files "$build")
    [[ $output == "$expected" ]] ||
        fail "the plain build made '$output' instead of the program and its documents, '$expected'"
    if [[ $(uname -s) == Linux ]]; then
        check_hardening "$build/tolm"
    else
        echo "hardening not judged: the check reads GNU readelf's words and glibc's checked calls"
    fi
    grep -qx '\.ds docdir /opt/tolm/share/doc/tolm' "$build/tolm.1" ||
        fail "the manual page does not name the documentation folder under the prefix /opt/tolm"

    output=$(cmake -S "$source_dir" -B "$scratch/no-gtest" -DTOLM_TESTS=ON \
        -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON 2>&1) ||
        { printf '%s\n' "$output"; fail "configuring without GoogleTest failed"; return; }
    [[ $output == *"GoogleTest not found: the unit tests are off"* ]] ||
        { printf '%s\n' "$output"; fail "configuring without GoogleTest does not say the tests are off"; }
    ((failed)) || echo "plain build: the program and its documents only, hardened; no GoogleTest, no unit tests"
}

# Copies the sources as a fresh clone of this work tree would hold them, its edits included.
copy_sources() {
    local f
    while IFS= read -r -d '' f; do
        [[ -e $source_dir/$f || -L $source_dir/$f ]] && printf '%s\0' "$f"
    done < <(git -C "$source_dir" ls-files -z --cached --others --exclude-standard) |
        tar -C "$source_dir" --null -T - -cf - | tar -C "$1" -xf -
}

dev_edit() {
    command -v tmux >/dev/null || { echo "FAIL: tmux is not installed"; exit 1; }
    if ! git -C "$source_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        echo "SKIP: the sources are not a git work tree"
        exit 77
    fi
    local copy=$scratch/tolm start elapsed screen
    mkdir "$copy" && copy_sources "$copy" || { fail "copying the sources failed"; return; }

    printf 'Tolm first screen' >"$scratch/sample.bin"
    start=$EPOCHREALTIME
    tmx new-session -d -s dev -x 80 -y 25 -c "$scratch" -- \
        bash -c 'tolm/dev edit sample.bin; echo $? >status; exec sleep infinity' ||
        { fail "tmux could not start ./dev edit"; return; }
    until [[ $(tmx capture-pane -p -t dev -S 24 -E 24) == "sample.bin (17 bytes)"* ]]; do
        elapsed=$(awk "BEGIN { print int($EPOCHREALTIME - $start) }")
        if ((elapsed >= FIRST_SCREEN_LIMIT)) || [[ -s $scratch/status ]]; then
            fail "no first screen after $elapsed s:"
            tmx capture-pane -p -t dev
            return
        fi
        sleep 0.1
    done
    elapsed=$(awk "BEGIN { printf \"%.1f\", $EPOCHREALTIME - $start }")

    sleep 0.2
    tmx send-keys -t dev Escape
    for ((i = 0; i < 100; i++)); do
        [[ -s $scratch/status ]] && break
        sleep 0.05
    done
    [[ $(cat "$scratch/status" 2>/dev/null) == 0 ]] || fail "./dev edit did not end with status 0 on Escape"
    screen=$(tmx capture-pane -p -t dev -S -)  # the scrollback too: the build may fill the screen
    [[ $screen == *"dev: building the program"* ]] || fail "./dev edit did not say it was building"
    [[ -z $(find "$copy/build" -name 'unit*' -o -name '*asan*' -o -name '*fuzz*' -o -name 'bench_*') ]] ||
        fail "./dev edit built more than the program"
    grep -q '^TOLM_TESTS:BOOL=OFF$' "$copy/build/CMakeCache.txt" || fail "./dev edit turned the tests on"
    ((failed)) || echo "./dev edit in a fresh copy: first screen after $elapsed s (limit $FIRST_SCREEN_LIMIT s)"
}

case $mode in
plain) plain ;;
dev-edit) dev_edit ;;
*)
    echo "usage: $0 plain|dev-edit SOURCE_DIR"
    exit 1
    ;;
esac
exit $failed
