#!/usr/bin/env bash
# Runs tolm in a stock xterm on a virtual X server and types at it as a user would, through the X
# test extension: Alt+S in the character column must save, where xterm left as it comes sends a
# letter typed with Alt as one character with its high bit set. Once tolm has quit, and again once
# a signal has ended it, Alt+S must reach the next program as xterm's own setting has it, with no
# Esc before the letter.
#
# Usage: xterm_alt.sh TOLM
# Exit status: 0 passed, 1 failed, 77 skipped (Xvfb, xterm or xdotool is not installed).
set -u

tolm=$(realpath -- "$1")
for program in Xvfb xterm xdotool; do
    command -v "$program" >/dev/null || { echo "SKIP: $program is not installed"; exit 77; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tolm-xterm.XXXXXX") || exit 1
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
cd "$scratch" || exit 1
deadline=$((SECONDS + ${TOLM_E2E_TIMEOUT:-30}))

# Polls until the command $2... succeeds; past the deadline the test fails, saying $1 never came.
await() {
    local what=$1
    shift
    until "$@"; do
        if ((SECONDS >= deadline)); then
            echo "FAIL: gave up waiting for $what"
            exit 1
        fi
        sleep 0.05
    done
}
# True once the program in the xterm reads its keys one by one, without echo.
keys_raw() { [[ -s tty ]] && stty -a -F "$(<tty)" 2>/dev/null | grep -q -- '-icanon'; }
first_byte_is() { [[ $(od -An -tx1 -N1 "$1" 2>/dev/null | tr -d ' ') == "$2" ]]; }

printf 'Tolm\n' >data.bin

# The server writes its display number once it takes clients; -displayfd picks one that is free.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>display 2>xvfb.log &
pids+=($!)
await "the X server" test -s display
export DISPLAY=:$(<display)

# The session in the xterm: the editor, then one key read raw, as the next program would get it;
# then the editor again, to be ended by a signal, and one more key.
cat >session.sh <<'SESSION'
tty >tty.tmp && mv tty.tmp tty
"$1" data.bin
echo "$?" >status
stty raw -echo
dd bs=1 count=1 of=after-quit 2>/dev/null
stty sane
sh -c 'echo "$$" >pid; exec "$0" data.bin' "$1"
echo "$?" >status-signal
stty raw -echo
dd bs=1 count=1 of=after-signal 2>/dev/null
SESSION
# The two settings pinned are xterm's defaults, whatever the machine's resources say.
LC_ALL=C.UTF-8 xterm -xrm 'XTerm*metaSendsEscape: false' -xrm 'XTerm*eightBitInput: true' \
    -geometry 100x30+0+0 -e sh session.sh "$tolm" 2>xterm.log &
pids+=($!)

await "the editor to read its keys" keys_raw
window=$(xdotool search --sync --onlyvisible --class xterm | head -n 1)
xdotool windowfocus --sync "$window" mousemove --window "$window" 20 20

# Tab to the character column, z over the first byte, Alt+S: saved only if Alt came as Esc and s.
xdotool key --delay 50 Tab z alt+s
await "the saved byte on disk (Alt+S did not save)" first_byte_is data.bin 7a
xdotool key Escape
await "the editor to quit" test -s status
[[ $(<status) == 0 ]] || { echo "FAIL: exit status $(<status)"; exit 1; }
# Alt+S as the program after the editor gets it: one character, not Esc and s.
alt_given_back() {
    await "the next program to read its keys" keys_raw
    xdotool key alt+s
    await "the key after the editor" test -s "$1"
    if first_byte_is "$1" 1b; then
        echo "FAIL: xterm still sends Esc before an Alt key after the editor $2"
        exit 1
    fi
}
alt_given_back after-quit quit

await "the editor to start again" test -s pid
await "the editor to read its keys again" keys_raw
kill -TERM "$(<pid)"
await "the editor to end" test -s status-signal
[[ $(<status-signal) == 143 ]] || { echo "FAIL: exit status $(<status-signal) after SIGTERM"; exit 1; }
alt_given_back after-signal "was ended by a signal"
[[ $(od -An -tx1 data.bin | tr -d ' ') == 7a6f6c6d0a ]] || { echo "FAIL: data.bin holds $(od -An -tx1 data.bin)"; exit 1; }
echo "xterm case passed"
