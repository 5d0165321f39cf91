#!/usr/bin/env bash
# Tolm's figures beside their baselines, as one table on stdout; progress goes to stderr.
#   open:   time to the first full screen in tmux and peak memory, for 1 KiB, 1 GiB and 64 GiB
#           files, against the 1 KiB file and against a trivial curses program
#   scroll: instructions (callgrind) and time per Page Down in each file
#   find:   a pattern at the end of a page-cached 1 GiB file against grep and cat, and the worst
#           case: 00 00 00 01 at the end of 1 GiB of zero bytes
#   save:   bytes written and time for one changed byte in 1 KiB and in 64 GiB
# Usage: bench/run.sh [BUILD_DIR]   (default build). Needs tmux, valgrind and GNU time. Takes a
# few minutes and 2 GiB of disk in a temporary folder, removed at the end. Figures only: it
# never fails on timing.
set -euo pipefail
export LC_ALL=C

build=$(cd "${1:-build}" && pwd)
tolm=$build/tolm
benches=$build/bench
for program in "$tolm" "$benches/bench_scroll" "$benches/bench_find_save" "$benches/bench_curses_baseline" \
    "$(command -v tmux)" "$(command -v valgrind)" /usr/bin/time; do
    [ -x "$program" ] || { echo "missing ${program:-tmux or valgrind}: build or install it first" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tolm-bench-XXXXXX")
sock=$work/tmux.sock
cleanup() {
    tmux -S "$sock" kill-server 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

note() { echo "bench: $*" >&2; }
now_us() { echo "${EPOCHREALTIME/./}"; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
calc() { awk "BEGIN { printf \"$1\", $2 }"; }

# The table: one line per row, fields separated by '|'.
table=()
# row MEASURE FILE VALUE_TEXT BASELINE_TEXT VALUE BASELINE GOAL: the ratio is VALUE / BASELINE and
# GOAL, when not '-', is the highest ratio that meets it.
row() {
    local ratio verdict=""
    ratio=$(calc '%.2f' "$5 / $6")
    if [ "$7" != - ]; then
        verdict=$(awk "BEGIN { print ($ratio <= $7) ? \"ok\" : \"MISSED\" }")
        table+=("$1|$2|$3|$4|$ratio|<= $7 $verdict")
    else
        table+=("$1|$2|$3|$4|$ratio|")
    fi
}

# ---------------------------------------------------------------------------------------- files
note "writing the files in $work"
small=$work/small.bin
big=$work/big.bin
huge=$work/huge.bin
zeros=$work/zeros.bin
needle=TOLMNEEDLE
needle_hex=544F4C4D4E4545444C45
head -c 1024 /dev/urandom >"$small"
head -c $((1024 * 1024 * 1024 - ${#needle})) /dev/urandom >"$big"
printf '%s' "$needle" >>"$big"
truncate -s 64G "$huge"
head -c $((1024 * 1024 * 1024 - 4)) /dev/zero >"$zeros"
printf '\0\0\0\1' >>"$zeros"
printf '\0\0\0\1' >"$work/zeros.pattern"
cat "$big" "$zeros" >/dev/null
declare -A label=(["$small"]="1 KiB" ["$big"]="1 GiB" ["$huge"]="64 GiB")
files=("$small" "$big" "$huge")

# ----------------------------------------------------------------------------------------- open
# One tmux server with an 80x25 session; each run gets a window of its own. Commands go through
# a control-mode client, so that a poll of the screen costs a round trip to the server rather
# than a new tmux process.
tmux -S "$sock" -f /dev/null new-session -d -s bench -x 80 -y 25 sleep 100000
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
    note "tmux went away"
    exit 1
}
tmux_do 'refresh-client -f no-output'

# screen_run TEXT1 TEXT2 COMMAND...: runs the command in a new window and polls its last line
# until it holds TEXT1 and then TEXT2, then presses Esc and waits for the end. The window starts
# a shell that waits for Enter and then becomes the command, so that the clock starts at the
# command's start rather than at tmux's work to make a window. Sets SCREEN_US to the
# microseconds from Enter to the screen.
screen_run() {
    local first=$1 second=$2 start deadline pane word quoted=""
    shift 2
    for word in "$@"; do quoted+=" '$word'"; done
    tmux_do "new-window -d -P -F '#{pane_id}' sh -c 'read -r _ && exec \"\$0\" \"\$@\"'$quoted"
    pane=${REPLY_LINES[0]}
    sleep 0.05
    start=$(now_us)
    tmux_do "send-keys -t $pane Enter"
    deadline=$((start + 10000000))
    SCREEN_US=
    while [ "$(now_us)" -lt "$deadline" ]; do
        tmux_do "capture-pane -p -t $pane -S 24 -E 24"
        if [[ ${REPLY_LINES[0]-} == *"$first"*"$second"* ]]; then
            SCREEN_US=$(($(now_us) - start))
            break
        fi
    done
    [ -n "$SCREEN_US" ] || note "FAULT: no screen within 10 s from $*"
    tmux_do "send-keys -t $pane Escape"
    # Dead means its terminal closed: tmux here does not always learn the exit status.
    for _ in $(seq 500); do
        tmux_do "display-message -p -t $pane '#{pane_dead}'"
        [ "${REPLY_LINES[0]-}" = 1 ] && break
        sleep 0.01
    done
    [ "${REPLY_LINES[0]-}" = 1 ] || note "FAULT: $* still running 5 s after Esc"
    tmux_do "kill-pane -t $pane"
}

open_tolm() { # COMMAND... FILE
    local file=${!#}
    screen_run "$(basename "$file") ($(stat -c %s "$file") bytes)" "offset: 0x00000000" "$@"
}
open_baseline() { screen_run "curses baseline ready" "" "$@"; }
# The peak resident size GNU time wrote, in KiB; it says so above it when the program failed.
peak() {
    [ "$(wc -l <"$work/peak")" = 1 ] || note "FAULT: $(head -n 1 "$work/peak")"
    tail -n 1 "$work/peak"
}

note "open: first screen in tmux, a warm-up and 15 runs of each"
declare -A open_us
open_baseline "$benches/bench_curses_baseline"
for f in "${files[@]}"; do open_tolm "$tolm" "$f"; done
for _ in $(seq 15); do
    open_baseline "$benches/bench_curses_baseline"
    open_us[baseline]+=" $SCREEN_US"
    for f in "${files[@]}"; do
        open_tolm "$tolm" "$f"
        open_us[$f]+=" $SCREEN_US"
    done
done
for key in baseline "${files[@]}"; do note "open: ${label[$key]-curses} (us):${open_us[$key]}"; done
note "open: peak memory, 3 runs of each"
declare -A peak_kib
for _ in 1 2 3; do
    open_baseline /usr/bin/time -f %M -o "$work/peak" "$benches/bench_curses_baseline"
    peak_kib[baseline]+=" $(peak)"
    for f in "${files[@]}"; do
        open_tolm /usr/bin/time -f %M -o "$work/peak" "$tolm" "$f"
        peak_kib[$f]+=" $(peak)"
    done
done
tmux -S "$sock" kill-server

# shellcheck disable=SC2086 # the lists are meant to split
{
    base_us=$(median ${open_us[baseline]})
    small_us=$(median ${open_us[$small]})
    row "open time" "1 KiB" "$(calc '%.2f ms' "$small_us / 1000")" "$(calc 'curses %.2f ms' "$base_us / 1000")" \
        "$small_us" "$base_us" 2
    for f in "$big" "$huge"; do
        us=$(median ${open_us[$f]})
        row "open time" "${label[$f]}" "$(calc '%.2f ms' "$us / 1000")" "$(calc '1 KiB %.2f ms' "$small_us / 1000")" \
            "$us" "$small_us" 1.1
    done
    base_kib=$(median ${peak_kib[baseline]})
    small_kib=$(median ${peak_kib[$small]})
    row "peak memory" "1 KiB" "$(calc '%.1f MiB' "$small_kib / 1024")" "$(calc 'curses %.1f MiB' "$base_kib / 1024")" \
        "$small_kib" "$base_kib" -
    for f in "$big" "$huge"; do
        kib=$(median ${peak_kib[$f]})
        row "peak memory" "${label[$f]}" "$(calc '%.1f MiB' "$kib / 1024")" "$(calc '1 KiB %.1f MiB' "$small_kib / 1024")" \
            "$kib" "$small_kib" 1.1
    done
}

# --------------------------------------------------------------------------------------- scroll
# Instructions: 11,000 pages less 1,000 pages, so that start-up cancels out.
instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$benches/bench_scroll" "$1" "$2" 2>&1 >/dev/null |
        sed -n 's/.*Collected : *//p'
}
declare -A page_instr page_ns
for f in "${files[@]}"; do
    note "scroll: ${label[$f]} under callgrind (about 15 s)"
    page_instr[$f]=$((($(instructions "$f" 11000) - $(instructions "$f" 1000)) / 10000))
done
note "scroll: 15 runs of 10,000 pages in each file, by turns"
for _ in $(seq 15); do
    for f in "${files[@]}"; do
        page_ns[$f]+=" $("$benches/bench_scroll" "$f" 10000 | sed -n 's/.* \([0-9]*\) ns per page.*/\1/p')"
    done
done
# shellcheck disable=SC2086 # the lists are meant to split
for f in "${files[@]}"; do page_ns[$f]=$(median ${page_ns[$f]}); done
for f in "$big" "$huge"; do
    row "Page Down instructions" "${label[$f]}" "${page_instr[$f]} instr" "1 KiB ${page_instr[$small]} instr" \
        "${page_instr[$f]}" "${page_instr[$small]}" 1.1
done
for f in "$big" "$huge"; do
    row "Page Down time" "${label[$f]}" "$(calc '%.1f us' "${page_ns[$f]} / 1000")" \
        "$(calc '1 KiB %.1f us' "${page_ns[$small]} / 1000")" "${page_ns[$f]}" "${page_ns[$small]}" 1.1
done

# ----------------------------------------------------------------------------------------- find
# wall_us COMMAND...: microseconds the command takes, its output and status ignored.
wall_us() {
    local start
    start=$(now_us)
    "$@" >/dev/null 2>&1 || true
    echo $(($(now_us) - start))
}
size=$(stat -c %s "$big")
check_find() { # FILE HEX: the one occurrence is at the end
    found=$("$benches/bench_find_save" find "$1" "$2" | sed -n 's/find: found at \([0-9]*\) .*/\1/p')
    [ "$found" = $((size - ${#2} / 2)) ] || note "FAULT: find $2 in $1 gave '$found'"
}
check_find "$big" "$needle_hex"
check_find "$zeros" 00000001
note "find: 1 GiB, 5 runs of tolm, grep and cat by turns"
find_us="" grep_us="" cat_us=""
for _ in 1 2 3 4 5; do
    find_us+=" $(wall_us "$benches/bench_find_save" find "$big" "$needle_hex")"
    grep_us+=" $(wall_us grep -c -F "$needle" "$big")"
    cat_us+=" $(wall_us cat "$big")"
done
note "find: 1 GiB of zero bytes, 3 runs of tolm and grep -a by turns (grep holds its 1 GiB line)"
worst_us="" grep_worst_us=""
for _ in 1 2 3; do
    worst_us+=" $(wall_us "$benches/bench_find_save" find "$zeros" 00000001)"
    grep_worst_us+=" $(wall_us grep -a -c -F -f "$work/zeros.pattern" "$zeros")"
done
# shellcheck disable=SC2086 # the lists are meant to split
{
    find_us=$(median $find_us) grep_us=$(median $grep_us) cat_us=$(median $cat_us)
    worst_us=$(median $worst_us) grep_worst_us=$(median $grep_worst_us)
}
rate() { calc '%.3f s, %.2f GB/s' "$1 / 1e6, $size / $1 / 1000"; }
row "find" "1 GiB" "$(rate "$find_us")" "grep $(rate "$grep_us")" "$find_us" "$grep_us" 1
row "find" "1 GiB" "$(rate "$find_us")" "cat $(rate "$cat_us")" "$find_us" "$cat_us" -
row "find, zero bytes" "1 GiB" "$(rate "$worst_us")" "grep -a $(rate "$grep_worst_us")" "$worst_us" "$grep_worst_us" -
row "find, zero bytes" "1 GiB" "$(rate "$worst_us")" "find $(rate "$find_us")" "$worst_us" "$find_us" 4

# ----------------------------------------------------------------------------------------- save
note "save: one changed byte, 5 runs in 1 KiB and in 64 GiB"
declare -A save_bytes save_us
for f in "$small" "$huge"; do
    bytes=0 times=()
    for _ in 1 2 3 4 5; do
        # "save: 1 change(s) in N bytes: W byte(s) written in S s ..." becomes "W S"
        out=$("$benches/bench_find_save" save "$f" $(($(stat -c %s "$f") / 2)) |
            sed -n 's/.*: \([0-9]*\) byte(s) written in \([0-9.]*\) s.*/\1 \2/p')
        [ -n "$out" ] || { note "FAULT: save in $f printed nothing"; out="-1 0"; }
        w=${out% *}
        [ "$w" -gt "$bytes" ] && bytes=$w
        times+=("$(calc '%.0f' "${out#* } * 1e6")")
    done
    save_bytes[$f]=$bytes
    save_us[$f]=$(median "${times[@]}")
done
for f in "$small" "$huge"; do
    row "save, bytes written" "${label[$f]}" "${save_bytes[$f]} B" "1 changed byte" "${save_bytes[$f]}" 1 1
done
row "save time" "64 GiB" "$(calc '%.3f ms' "${save_us[$huge]} / 1000")" \
    "$(calc '1 KiB %.3f ms' "${save_us[$small]} / 1000")" "${save_us[$huge]}" "${save_us[$small]}" -

# ------------------------------------------------------------------------------- save by runs
note "save: 1,000,000 adjacent changes against one, 3 runs each"
runs_out=$("$benches/bench_find_save" save "$big" 4096 1000000)
runs_calls=$(sed -n 's/.* with \([0-9]*\) write call(s).*/\1/p' <<<"$runs_out")
one_times=() run_times=()
for _ in 1 2 3; do
    for count in 1 1000000; do
        t=$("$benches/bench_find_save" save "$big" 4096 "$count" | sed -n 's/.* written in \([0-9.]*\) s.*/\1/p')
        if [ "$count" = 1 ]; then one_times+=("$(calc '%.0f' "$t * 1e6")"); else run_times+=("$(calc '%.0f' "$t * 1e6")"); fi
    done
done
one_us=$(median "${one_times[@]}") run_us=$(median "${run_times[@]}")
row "save, write calls" "1 GiB" "${runs_calls:-?} for 1,000,000" "1 run of changes" "${runs_calls:-0}" 1 1
row "save time, 1,000,000" "1 GiB" "$(calc '%.3f ms' "$run_us / 1000")" "1 change $(calc '%.3f ms' "$one_us / 1000")" \
    "$run_us" "$one_us" 10

# ---------------------------------------------------------------------------------------- paste
# Characters, each followed by Right, pasted through tmux into the character column of a 1 MiB
# file, until the status line shows the cursor past the last one; against the curses baseline
# reading the same keys. The file saved afterwards must hold exactly the pasted characters.
mib=$work/mib.bin
head -c $((1024 * 1024)) /dev/urandom >"$mib.orig"
pasted() { awk -v n="$1" 'BEGIN { for (i = 0; i < n; i++) printf "x\033OC" }'; }
tmux -S "$sock" -f /dev/null new-session -d -s paste -x 80 -y 25 sleep 100000
tmux -S "$sock" set-option -g remain-on-exit on >/dev/null
psh() { tmux -S "$sock" "$@"; }
# await_line PANE TEXT: polls the pane's last line until it holds TEXT (60 s at most).
await_line() {
    local deadline=$((SECONDS + 60))
    until psh capture-pane -p -t "$1" -S 24 -E 24 | grep -qF "$2"; do
        [ $SECONDS -lt $deadline ] || { note "FAULT: no '$2' within 60 s"; return 1; }
        sleep 0.01
    done
}
# paste_run N COMMAND...: pastes N keys pairs into a new window running COMMAND once it shows
# READY_TEXT, and sets PASTE_US to the microseconds until it shows DONE_TEXT.
paste_run() {
    local n=$1 pane start
    shift
    pasted "$n" >"$work/paste.txt"
    psh load-buffer -b keys "$work/paste.txt"
    pane=$(psh new-window -d -P -F '#{pane_id}' -t paste "$@")
    await_line "$pane" "$READY_TEXT"
    [ -z "${BEFORE_KEYS-}" ] || { psh send-keys -t "$pane" "$BEFORE_KEYS"; sleep 0.3; }
    start=$(now_us)
    psh paste-buffer -t "$pane" -b keys
    await_line "$pane" "$DONE_TEXT"
    PASTE_US=$(($(now_us) - start))
    PASTE_PANE=$pane
}
tolm_paste() { # N: pastes, saves, quits and checks the file
    cp "$mib.orig" "$mib"
    READY_TEXT="offset: 0x00000000" BEFORE_KEYS=Tab DONE_TEXT=$(printf 'offset: 0x%08X' "$1") paste_run "$1" "$tolm" "$mib"
    psh send-keys -t "$PASTE_PANE" M-s
    await_line "$PASTE_PANE" "File saved."
    psh send-keys -t "$PASTE_PANE" Escape
    cmp -s "$mib" <(awk -v n="$1" 'BEGIN { for (i = 0; i < n; i++) printf "x" }'; tail -c +$(($1 + 1)) "$mib.orig") ||
        note "FAULT: the file saved after pasting $1 keys is not what was typed"
    psh kill-pane -t "$PASTE_PANE"
}
baseline_paste() { # N
    READY_TEXT="curses baseline ready" BEFORE_KEYS="" DONE_TEXT="read $((2 * $1)) keys" \
        paste_run "$1" "$benches/bench_curses_baseline" $((2 * $1))
    psh kill-pane -t "$PASTE_PANE"
}
note "paste: 100,000 characters each with Right, 3 runs of tolm and the curses baseline by turns"
tolm_paste_us="" base_paste_us=""
for _ in 1 2 3; do
    tolm_paste 100000
    tolm_paste_us+=" $PASTE_US"
    baseline_paste 100000
    base_paste_us+=" $PASTE_US"
done
note "paste: 1,000,000 characters each with Right, once"
tolm_paste 1000000
million_us=$PASTE_US
tmux -S "$sock" kill-server
# shellcheck disable=SC2086 # the lists are meant to split
{
    tolm_paste_us=$(median $tolm_paste_us) base_paste_us=$(median $base_paste_us)
}
row "paste, 100,000 keys" "1 MiB" "$(calc '%.2f s' "$tolm_paste_us / 1e6")" \
    "curses $(calc '%.2f s' "$base_paste_us / 1e6")" "$tolm_paste_us" "$base_paste_us" 2
row "paste, 1,000,000 keys" "1 MiB" "$(calc '%.2f s' "$million_us / 1e6")" \
    "100,000 $(calc '%.2f s' "$tolm_paste_us / 1e6")" "$million_us" "$tolm_paste_us" 12

# ---------------------------------------------------------------------------------------- table
cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
commit=$(git -C "$(dirname "$0")" rev-parse --short HEAD 2>/dev/null || echo unknown)
echo "Tolm benchmarks $(date '+%Y-%m-%d %H:%M'), $(uname -srm), ${cpu:-unknown CPU}, commit $commit"
format='%-24s %-7s %-26s %-30s %6s  %s\n'
# shellcheck disable=SC2059 # the format is ours
printf "$format" measure file value baseline ratio goal
for line in "${table[@]}"; do
    IFS='|' read -r measure file value baseline ratio goal <<<"$line"
    # shellcheck disable=SC2059
    printf "$format" "$measure" "$file" "$value" "$baseline" "$ratio" "$goal"
done

# Drawing plus one movement at the start and the end of a small and a 16 GiB file, when built.
if [ -x "$benches/bench_draw" ]; then
    echo
    echo "draw_screen with Down, then with Up, at the start and end of each file (median of 3, per pair):"
    "$benches/bench_draw" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null |
        awk '/_median/ { printf "  %-34s %s %s\n", $1, $2, $3 }'
fi
