#!/usr/bin/env bash
# Proves the Debian package as a distributor would make it: configures a Release build of the
# sources beside this script in a scratch folder (prefix /usr, a valid test maintainer), packs it
# with cpack, has lintian judge it when lintian is installed (any error or warning fails), looks
# inside it, installs it with dpkg, runs the installed /usr/bin/tolm on a small file in a private
# tmux server, finds the manual page with man, and removes the package again. Run as root, by hand:
#
#   packaging/check-deb.sh          every check
#   packaging/check-deb.sh --lint   the package, lintian and the contents only: no root needed,
#                                   nothing installed; skipped (exit 77) without lintian
#
# Prints one line per check and PASS or FAIL at the end; exits 0 only when every check passed.
set -u

lint_only=0
case "${1:-}" in
--lint) lint_only=1 ;;
"") ;;
*)
    echo "usage: $0 [--lint]" >&2
    exit 2
    ;;
esac
[[ $# -le 1 ]] || { echo "usage: $0 [--lint]" >&2; exit 2; }
source_dir=$(cd "$(dirname "$0")/.." && pwd) || exit 2
maintainer='Tolm Package Check <tolm-check@example.org>'
failures=0
installed=0

export LC_ALL=C.UTF-8
unset TMUX TMUX_PANE

ok() { echo "ok    $*"; }
bad() {
    echo "FAIL  $*"
    failures=$((failures + 1))
}
# Ends the run at once, for a failure that leaves nothing further to check.
stop() {
    bad "$*"
    echo "FAIL: the package check stopped early"
    exit 1
}

if ((lint_only)); then
    command -v lintian >/dev/null || { echo "SKIP: lintian is not installed"; exit 77; }
    tools=(cmake cpack dpkg-deb)
else
    (($(id -u) == 0)) || stop "installing a package needs root"
    tools=(cmake cpack dpkg dpkg-deb tmux man)
fi
for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null || stop "$tool is not installed"
done
if ((!lint_only)); then
    # Never replace or remove a Tolm that was there before.
    dpkg -s tolm >/dev/null 2>&1 && stop "a tolm package is installed already; remove it first"
    [[ -e /usr/bin/tolm ]] && stop "/usr/bin/tolm exists already; remove it first"
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tolm-deb.XXXXXX") || exit 1
build=$scratch/build
# A private tmux server whose socket lives in the scratch folder and goes away with it.
tmx() { tmux -S "$scratch/tmux.socket" -f /dev/null "$@"; }

cleanup() {
    tmx kill-server 2>/dev/null
    if ((installed)); then
        dpkg -r tolm >/dev/null 2>&1 || echo "FAIL  could not remove the tolm package"
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# --- the package

{
    cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DTOLM_MAINTAINER="$maintainer" &&
        cmake --build "$build" -j 2
} >"$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; stop "building the program failed"; }
(cd "$build" && cpack -G DEB -B "$scratch/deb") >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; stop "cpack -G DEB failed"; }
debs=("$scratch"/deb/tolm_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || stop "cpack made no single tolm_*.deb"
deb=${debs[0]}
ok "cpack made ${deb##*/}"

if command -v lintian >/dev/null; then
    # Root is told that lintian prefers another user; that notice is no finding.
    if lintian --fail-on error,warning "$deb" >"$scratch/lintian.log" 2>&1; then
        ok "lintian finds no error and no warning"
    else
        bad "lintian finds errors or warnings:"
        grep -v 'running with root privileges' "$scratch/lintian.log"
    fi
else
    echo "skip  lintian is not installed"
fi

field() { dpkg-deb -f "$deb" "$1"; }
# The expectation is a glob pattern, as in [[ ]].
expect_field() {
    local name=$1 pattern=$2 value
    value=$(field "$name")
    # shellcheck disable=SC2053
    if [[ $value == $pattern ]]; then
        ok "$name: $value"
    else
        bad "$name is '$value', expected $pattern"
    fi
}
expect_field Package tolm
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
expect_field Version "${version:-?}"
expect_field Section editors
expect_field Maintainer "$maintainer"
expect_field Depends '*libncursesw6*'

contents=$(dpkg-deb -c "$deb" | awk '{ print $NF }')
for path in ./usr/bin/tolm ./usr/share/man/man1/tolm.1.gz ./usr/share/doc/tolm/copyright \
    ./usr/share/doc/tolm/changelog.gz ./usr/share/doc/tolm/README.md; do
    if grep -qxF -- "$path" <<<"$contents"; then
        ok "the package holds $path"
    else
        bad "the package lacks $path"
    fi
done

if ((lint_only)); then
    if ((failures)); then
        echo "FAIL: $failures package checks failed"
        exit 1
    fi
    echo "PASS: the Debian package builds, holds what it should and lintian finds nothing"
    exit 0
fi

# --- installing it

# Some minimal systems keep dpkg from installing manual pages and documentation; the page is
# part of what is checked here, so it is let through.
if dpkg --path-include='/usr/share/man/man1/tolm.1*' --path-include='/usr/share/doc/tolm/*' \
    -i "$deb" >"$scratch/dpkg.log" 2>&1; then
    installed=1
    ok "dpkg -i installed the package"
else
    installed=1  # a half-installed package is removed too
    cat "$scratch/dpkg.log"
    stop "dpkg -i failed"
fi
if [[ -x /usr/bin/tolm ]]; then
    ok "/usr/bin/tolm is installed"
else
    bad "/usr/bin/tolm is missing"
fi

# --- running the installed program

printf 'Hello, world!\nABCDEFGHIJKLMNOP\0\1\351\177' >"$scratch/demo.bin"
expected_line='.00000000. 48 65 6C 6C 6F 2C 20 77  6F 72 6C 64 21 0A 41 42 . Hello, world!.AB .'

# The exit status is written down by a shell around the program: tmux 3.3a now and then marks
# the pane dead without ever filling in #{pane_dead_status}.
status_file=$scratch/status
ended() { [[ -s $status_file ]]; }

tmx set-option -g remain-on-exit on \; set-option -gq remain-on-exit-format '' \; \
    set-option -g status off \; \
    new-session -d -s deb -x 80 -y 25 -c "$scratch" -- \
    sh -c '/usr/bin/tolm demo.bin; echo $? >status' ||
    stop "tmux could not start /usr/bin/tolm"

first_line=
for ((i = 0; i < 100; i++)); do
    first_line=$(tmx capture-pane -p -t deb -S 0 -E 0)
    [[ $first_line == "$expected_line" ]] && break
    ended && break
    sleep 0.05
done
if [[ $first_line == "$expected_line" ]]; then
    ok "the first screen line shows the file's first bytes"
else
    bad "the first screen line reads '$first_line'"
    tmx capture-pane -p -t deb
fi

# Escape alone quits; the pause before it keeps it apart from anything typed earlier.
sleep 0.2
tmx send-keys -t deb Escape
for ((i = 0; i < 100; i++)); do
    ended && break
    sleep 0.05
done
if ! ended; then
    bad "tolm did not quit on Escape"
    tmx capture-pane -p -t deb
elif [[ $(<"$status_file") == 0 ]]; then
    ok "tolm quit on Escape with exit status 0"
else
    bad "tolm quit with exit status $(<"$status_file")"
fi
tmx kill-server 2>/dev/null

# --- the manual page

page=$(man -w tolm 2>/dev/null)
if [[ $page == /usr/share/man/man1/tolm.1* ]]; then
    ok "man -w tolm finds $page"
else
    bad "man -w tolm finds '$page'"
fi
if MANWIDTH=80 man tolm 2>/dev/null | grep -q 'hexadecimal editor for text terminals'; then
    ok "man tolm shows the page"
else
    bad "man tolm does not show the page"
fi
if MANWIDTH=80 man tolm 2>/dev/null | grep -q '/usr/share/doc/tolm/copyright'; then
    ok "the page names the installed licence, /usr/share/doc/tolm/copyright"
else
    bad "the page does not name /usr/share/doc/tolm/copyright"
fi

# --- removing it

if dpkg -r tolm >"$scratch/dpkg.log" 2>&1; then
    installed=0
    ok "dpkg -r removed the package"
else
    cat "$scratch/dpkg.log"
    bad "dpkg -r tolm failed"
fi
if [[ ! -e /usr/bin/tolm ]]; then
    ok "/usr/bin/tolm is gone"
else
    bad "/usr/bin/tolm is still there"
fi

if ((failures)); then
    echo "FAIL: $failures package checks failed"
    exit 1
fi
echo "PASS: the Debian package builds, installs, runs, documents itself and uninstalls"
