#!/usr/bin/env bash
# Checks that Tolm builds beyond Debian's GNU toolchain, with not one warning. Usage:
#   check_portable.sh freebsd TARBALL WORK_DIR SOURCE...
#       every program source compiled (not linked) for FreeBSD 14 on x86-64 with clang and libc++,
#       against FreeBSD's headers that TARBALL holds, unpacked into WORK_DIR; skipped where the
#       tarball is absent, as in a user's clone
#   check_portable.sh libcxx SOURCE_DIR WORK_DIR
#       the program built on Linux with clang and libc++ in WORK_DIR, curses found by its library
#       and header rather than pkg-config (as on a FreeBSD whose base installs no module); its C++
#       runtime stays a shared library, as the static-runtime flags work with libstdc++ only
# Both need clang and the libc++ headers of clang's own version. Run from the source folder.
# Exit status: 0 passed, 1 failed, 77 skipped.
set -u

skip() {
    echo "SKIP: $*"
    exit 77
}

mode=${1:-}
[[ $# -ge 3 ]] || { echo "usage: $0 freebsd TARBALL WORK_DIR SOURCE... | libcxx SOURCE_DIR WORK_DIR"; exit 1; }
work=$3

# Sets version to clang's and libcxx to the folder of the libc++ headers of that version.
find_clang_and_libcxx() {
    command -v clang++ >/dev/null || skip "clang++ is not installed (Debian: apt-get install clang)"
    version=$(clang++ -dumpversion | cut -d. -f1)
    libcxx=/usr/lib/llvm-$version/include/c++/v1
    [[ -d $libcxx ]] ||
        skip "no libc++ headers of clang $version (Debian: apt-get install libc++-$version-dev libc++abi-$version-dev)"
}

# 1400097 is 14.0-RELEASE; the headers leave __FreeBSD_version to the compiler. The include order
# (libc++, the compiler's own headers, the system's) is the one clang's FreeBSD driver uses.
freebsd() {
    local tarball=$2 headers=$work/usr/include failed=0 source output
    shift 3
    [[ -f $tarball ]] || skip "FreeBSD's headers are not at $tarball"
    find_clang_and_libcxx
    if [[ ! -f $work/unpacked || $tarball -nt $work/unpacked ]]; then
        rm -rf "$work" && mkdir -p "$work" && tar -xJf "$tarball" -C "$work" && touch "$work/unpacked" ||
            { echo "FAIL: unpacking $tarball into $work failed"; exit 1; }
    fi
    for source in "$@"; do
        output=$(clang++ --target=x86_64-unknown-freebsd14.0 -nostdinc -isystem "$libcxx" \
            -isystem "$(clang++ -print-resource-dir)/include" -isystem "$headers" \
            -D__FreeBSD_version=1400097 -std=c++20 -O2 -D_FORTIFY_SOURCE=2 -D_FILE_OFFSET_BITS=64 \
            -Isrc -Wall -Wextra -Wpedantic -fsyntax-only "$source" 2>&1)
        if [[ $? -ne 0 || -n $output ]]; then
            printf '%s\n' "$output"
            failed=1
        fi
    done
    ((failed)) && { echo "FAIL: not every source compiles cleanly for FreeBSD 14"; exit 1; }
    echo "FreeBSD 14 with clang $version and libc++: $# sources compiled, no warning"
}

libcxx() {
    local source_dir=$2 log=$work.log
    [[ $(uname -s) == Linux ]] || skip "only Linux builds with GNU's C++ runtime by default"
    find_clang_and_libcxx
    # Warnings fail the build, the linker's too, so that none hides in an object built before.
    if ! { cmake -S "$source_dir" -B "$work" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
        "-DCMAKE_CXX_FLAGS=-stdlib=libc++ -Werror" -DCMAKE_EXE_LINKER_FLAGS=-Wl,--fatal-warnings \
        -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON && cmake --build "$work" -j 2 --target tolm; } >"$log" 2>&1 ||
        grep -qi warning "$log"; then
        tail -n 40 "$log"
        echo "FAIL: the build with clang and libc++ failed or warned"
        exit 1
    fi
    readelf -dW "$work/tolm" | grep -q 'NEEDED.*libc++' ||
        { echo "FAIL: the program has libc++ linked in, by flags meant for libstdc++"; exit 1; }
    echo "Linux with clang $version and libc++, curses without pkg-config: built, no warning"
}

case $mode in
freebsd) freebsd "$@" ;;
libcxx) libcxx "$@" ;;
*)
    echo "usage: $0 freebsd TARBALL WORK_DIR SOURCE... | libcxx SOURCE_DIR WORK_DIR"
    exit 1
    ;;
esac
