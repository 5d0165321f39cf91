#!/usr/bin/env bash
# One run of a program in an 80x25 tmux pane of a private server, printing the figure it gives
# for bench_rounds to read:
#   tmux_run.sh screen TEXT1 TEXT2 COMMAND...  "screen: S s" from the start to a last line that
#                                              holds TEXT1 and then TEXT2
#   tmux_run.sh peak TEXT1 TEXT2 COMMAND...    "peak: K KiB", the peak memory until that screen
#   tmux_run.sh paste N FILE TOLM              "paste: S s" to paste N characters each with Right
#                                              into the characters of a copy of FILE; the copy
#                                              saved must hold them
#   tmux_run.sh paste N - BASELINE             the same for the curses baseline reading the keys
#   tmux_run.sh output COMMAND...              "output: B B", bytes the pane receives per Right
# Faults go to stderr, and the figure is then left out.
set -euo pipefail
export LC_ALL=C

work=$(mktemp -d "${TMPDIR:-/tmp}/tolm-tmux-XXXXXX")
sock=$work/tmux.sock
# The control client goes first: a server does not end while a client it is writing to is there.
cleanup() {
    [ -z "${CONTROL_PID-}" ] || kill "$CONTROL_PID" 2>/dev/null || true
    tmux -S "$sock" kill-server 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fault() {
    echo "tmux_run: FAULT: $*" >&2
    exit 1
}
now_us() { echo "${EPOCHREALTIME/./}"; }
seconds() { printf '%d.%06d' $(($1 / 1000000)) $(($1 % 1000000)); }

# Commands go through a control-mode client, so that a poll of the screen costs a round trip to
# the server rather than a new tmux process.
# The server holds none of this script's streams, so that whoever reads them sees their end.
tmux -S "$sock" -f /dev/null new-session -d -s bench -x 80 -y 25 sleep 100000 </dev/null >/dev/null 2>&1
tmux -S "$sock" set-option -g remain-on-exit on >/dev/null
coproc CONTROL { exec tmux -S "$sock" -C attach -t bench 2>&1; }

# Sends one command to tmux; its output lines (or error message) land in REPLY_LINES.
tmux_do() {
    printf '%s\n' "$1" >&"${CONTROL[1]}"
    REPLY_LINES=()
    local line mine=0
    while IFS= read -r line <&"${CONTROL[0]}"; do
        if [ $mine = 0 ]; then
            [[ $line == %begin*' 1' ]] && mine=1
        elif [[ $line == %end*' 1' || $line == %error*' 1' ]]; then
            return 0
        else
            REPLY_LINES+=("$line")
        fi
    done
    fault "tmux went away"
}
tmux_do 'refresh-client -f no-output'

# Starts COMMAND... in a new window whose shell waits for Enter and then becomes the command,
# so that a clock started at Enter starts at the command's start rather than at tmux's work to
# make a window. Sets PANE.
start_window() {
    local word quoted=""
    for word in "$@"; do quoted+=" '$word'"; done
    tmux_do "new-window -d -P -F '#{pane_id}' sh -c 'read -r _ && exec \"\$0\" \"\$@\"'$quoted"
    PANE=${REPLY_LINES[0]}
    sleep 0.05
}

# Polls the pane's last line until it holds FIRST and then SECOND, for SECONDS at most.
await_line() {
    local deadline=$(($(now_us) + $3 * 1000000))
    while [ "$(now_us)" -lt "$deadline" ]; do
        tmux_do "capture-pane -p -t $PANE -S 24 -E 24"
        [[ ${REPLY_LINES[0]-} == *"$1"*"$2"* ]] && return 0
    done
    fault "no '$1' '$2' on the last line within $3 s"
}

# Presses Esc and waits until the pane is dead: its terminal closed.
end_window() {
    tmux_do "send-keys -t $PANE Escape"
    for _ in $(seq 500); do
        tmux_do "display-message -p -t $PANE '#{pane_dead}'"
        [ "${REPLY_LINES[0]-}" = 1 ] && return 0
        sleep 0.01
    done
    fault "still running 5 s after Esc"
}

screen() { # TEXT1 TEXT2 COMMAND...
    local first=$1 second=$2 start
    shift 2
    start_window "$@"
    start=$(now_us)
    tmux_do "send-keys -t $PANE Enter"
    await_line "$first" "$second" 10
    echo "screen: $(seconds $(($(now_us) - start))) s"
    end_window
}

peak() { # TEXT1 TEXT2 COMMAND...
    local first=$1 second=$2
    shift 2
    start_window /usr/bin/time -f %M -o "$work/peak" "$@"
    tmux_do "send-keys -t $PANE Enter"
    await_line "$first" "$second" 10
    end_window
    # GNU time writes a line above the figure when the program failed.
    [ "$(wc -l <"$work/peak")" = 1 ] || fault "$(head -n 1 "$work/peak")"
    echo "peak: $(cat "$work/peak") KiB"
}

paste() { # N FILE TOLM, or N - BASELINE
    local n=$1 file=$2 start
    awk -v n="$n" 'BEGIN { for (i = 0; i < n; i++) printf "x\033OC" }' >"$work/keys"
    tmux_do "load-buffer -b keys $work/keys"
    if [ "$file" = - ]; then
        start_window "$3" $((2 * n))
        tmux_do "send-keys -t $PANE Enter"
        await_line "curses baseline ready" "" 10
    else
        cp "$file" "$work/file"
        start_window "$3" "$work/file"
        tmux_do "send-keys -t $PANE Enter"
        await_line "offset: 0x00000000" "" 10
        tmux_do "send-keys -t $PANE Tab"
        sleep 0.3
    fi
    start=$(now_us)
    tmux_do "paste-buffer -t $PANE -b keys"
    if [ "$file" = - ]; then
        await_line "read $((2 * n)) keys" "" 600
    else
        await_line "$(printf 'offset: 0x%08X' "$n")" "" 600
    fi
    echo "paste: $(seconds $(($(now_us) - start))) s"
    if [ "$file" != - ]; then
        tmux_do "send-keys -t $PANE M-s"
        await_line "File saved." "" 10
        cmp -s "$work/file" <(awk -v n="$n" 'BEGIN { for (i = 0; i < n; i++) printf "x" }'; tail -c +$((n + 1)) "$file") ||
            fault "the file saved after pasting $n keys is not what was typed"
    fi
    end_window
}

output() { # COMMAND...
    start_window "$@"
    tmux_do "send-keys -t $PANE Enter"
    sleep 0.5
    : >"$work/output"
    tmux_do "pipe-pane -t $PANE -o 'cat >>$work/output'"
    sleep 0.2
    for _ in $(seq 20); do
        tmux_do "send-keys -t $PANE Right"
        sleep 0.05
    done
    sleep 0.3
    tmux_do "pipe-pane -t $PANE"
    echo "output: $(($(wc -c <"$work/output") / 20)) B"
    tmux_do "kill-pane -t $PANE"
}

case "${1:-}" in
screen | peak | paste | output) "$@" ;;
*)
    echo "usage: tmux_run.sh screen|peak TEXT1 TEXT2 COMMAND... | paste N FILE|- PROGRAM | output COMMAND..." >&2
    exit 2
    ;;
esac
