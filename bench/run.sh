#!/usr/bin/env bash
# Tolm's figures beside their baselines, as one table on stdout; progress goes to stderr.
#   open:   time to the first full screen in tmux and peak memory, for 1 KiB, 1 GiB and 64 GiB
#           files, against the 1 KiB file and against a trivial curses program
#   scroll: instructions (callgrind) and time per Page Down in each file
#   find:   4-byte, 32-byte and text patterns at the end of a page-cached 1 GiB file against cat
#           on the same file (and grep for the text); the worst cases, each absent from a 1 GiB
#           file: (a) 00 00 00 01 00 00 00 00 in zero bytes, (b) 32 letters a in letters a with a
#           b every 31 bytes, (c) 16 letters a and b in random letters a and b; an 8-byte pattern
#           absent from the 1 GiB file, page-cached and evicted from the cache before each run
#           of Tolm and of cat; and in a 64 GiB sparse file with a few blocks of data, a 4-byte
#           pattern absent and an 8-byte one present only past holes of gigabytes
#   save:   bytes written and time for one changed byte in 1 KiB and in 64 GiB; one write call
#           and the time for 1,000,000 adjacent changes
#   paste:  100,000 and 1,000,000 characters each with Right pasted through tmux, against a curses
#           program that reads the same keys
#   output: bytes the terminal receives per Right, against hexedit's when it is installed
# Usage: bench/run.sh [BUILD_DIR]   (default build). Needs tmux, valgrind and GNU time. Takes a
# few minutes and 4 GiB of disk in a temporary folder, removed at the end. Figures only: it
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
runs=$work/runs.bin
letters=$work/letters.bin
sparse=$work/sparse.bin
gib=$((1024 * 1024 * 1024))
hex() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n'; }
# The big file ends in 32 bytes that begin with the only zero byte in it, so that its 4-byte and
# 32-byte patterns occur there alone; the text ends it.
needle=TOLMNEEDLE
needle_hex=$(hex "$needle")
tail_hex=00$(hex "Tolm benchmark needle$needle")
four_hex=${tail_hex:0:8}
a32_hex=$(hex "$(printf 'a%.0s' {1..32})")
ab_pattern=abbabaabbbaababb
ab_hex=$(hex "$ab_pattern")
head -c 1024 /dev/urandom >"$small"
head -c $((gib - 32)) /dev/urandom | tr '\0' '\1' >"$big"
printf '\0%s' "Tolm benchmark needle$needle" >>"$big"
truncate -s 64G "$huge"
head -c $((gib - 4)) /dev/zero >"$zeros"
printf '\0\0\0\1' >>"$zeros"
# (yes runs on until head has enough: outside the pipeline, its SIGPIPE is no failure)
head -c $gib < <(yes "$(printf 'a%.0s' {1..30})b" | tr -d '\n') >"$runs"
# Random letters a and b, each occurrence of the pattern broken by changing its last letter.
head -c $gib /dev/urandom | perl -e '
    my ($pattern, $broken, $carry) = ($ARGV[0], substr($ARGV[0], 0, -1) . "a", "");
    while (read(STDIN, my $chunk, 1 << 20)) {
        $chunk =~ tr/\x00-\x7f/a/;
        $chunk =~ tr/\x80-\xff/b/;
        $chunk = $carry . $chunk;
        1 while $chunk =~ s/$pattern/$broken/g;
        print substr($chunk, 0, -15);
        $carry = substr($chunk, -15);
    }
    print $carry;' "$ab_pattern" >"$letters"
truncate -s 64G "$sparse"
for mib in 0 7 1000 40000 65535; do
    head -c 65536 /dev/urandom | tr '\0' '\1' | dd of="$sparse" bs=1M seek=$mib conv=notrunc status=none
done
# The data holds no zero byte: a pattern that begins with one lies only where it is put.
late_hex=00$(hex "TOLMLAT")
late_at=$((40000 * 1024 * 1024 + 100))
printf '\0TOLMLAT' | dd of="$sparse" bs=1 seek=$late_at conv=notrunc status=none
# Cached the way reading a file from storage leaves it (in large folios, on recent Linux) rather
# than the way writing it in small pieces just did: flushed, dropped from the cache, read back.
for f in "$big" "$zeros" "$runs" "$letters"; do
    sync "$f"
    dd if="$f" iflag=nocache count=0 status=none
    cat "$f" >/dev/null
done
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
    open_baseline "$benches/bench_curses_baseline" colour
    open_us[colour]+=" $SCREEN_US"
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
    colour_us=$(median ${open_us[colour]})
    row "open time" "1 KiB" "$(calc '%.2f ms' "$small_us / 1000")" "$(calc 'curses %.2f ms' "$base_us / 1000")" \
        "$small_us" "$base_us" 1.1
    row "open time" "1 KiB" "$(calc '%.2f ms' "$small_us / 1000")" \
        "$(calc 'curses, colours %.2f ms' "$colour_us / 1000")" "$small_us" "$colour_us" 1.1
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
    largest_kib=$(printf '%s\n' ${peak_kib[$small]} ${peak_kib[$big]} ${peak_kib[$huge]} | sort -n | tail -n 1)
    row "peak memory, largest" "any" "$(calc '%.2f MiB' "$largest_kib / 1024")" "limit 2.5 MiB" "$largest_kib" 2560 1
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
check_find() { # FILE HEX OFFSET: the find must stop at OFFSET (-1: nowhere)
    local found
    # (a find that finds nothing ends with status 1)
    found=$({ "$benches/bench_find_save" find "$1" "$2" || true; } | sed -n 's/find: found at \(-*[0-9]*\) .*/\1/p')
    [ "$found" = "$3" ] || note "FAULT: find $2 in $1 gave '$found', not $3"
}
size=$gib
# One find per line: label|file|hexadecimal pattern|where it stops|goal against cat's time
finds=(
    "find, 4 bytes|$big|$four_hex|$((size - 32))|1"
    "find, 32 bytes|$big|$tail_hex|$((size - 32))|0.77"
    "find, text|$big|$needle_hex|$((size - 10))|0.77"
    "find, (a) zero bytes|$zeros|0000000100000000|-1|4"
    "find, (b) a, b every 31|$runs|$a32_hex|-1|4"
    "find, (c) random a, b|$letters|$ab_hex|-1|-"
    "find, 8 bytes absent|$big|0123456789abcdef|-1|1"
)
declare -A find_us cat_us
for line in "${finds[@]}"; do
    IFS='|' read -r _ file pattern stop _ <<<"$line"
    check_find "$file" "$pattern" "$stop"
done
# Five runs of each: on a shared virtual machine a run in three is often slowed by neighbours.
# Each run reads its file once untimed first: some systems drop pages unused for a few seconds
# from the cache (proactive reclaim), and the figures are those of a file in the cache.
note "find: 1 GiB files, 5 runs of each find and of cat on each file, by turns"
grep_us=""
for _ in 1 2 3 4 5; do
    for line in "${finds[@]}"; do
        IFS='|' read -r measure file pattern _ <<<"$line"
        cat "$file" >/dev/null
        find_us[$measure]+=" $(wall_us "$benches/bench_find_save" find "$file" "$pattern")"
    done
    for file in "$big" "$zeros" "$runs" "$letters"; do
        cat "$file" >/dev/null
        cat_us[$file]+=" $(wall_us cat "$file")"
    done
    grep_us+=" $(wall_us grep -c -F "$needle" "$big")"
done
rate() { calc '%.3f s, %.2f GB/s' "$1 / 1e6, $size / $1 / 1000"; }
# shellcheck disable=SC2086 # the lists are meant to split
for line in "${finds[@]}"; do
    IFS='|' read -r measure file _ _ goal <<<"$line"
    us=$(median ${find_us[$measure]})
    base=$(median ${cat_us[$file]})
    row "$measure" "1 GiB" "$(rate "$us")" "cat $(rate "$base")" "$us" "$base" "$goal"
    if [ "$measure" = "find, text" ]; then text_us=$us; fi
done
# shellcheck disable=SC2086
grep_us=$(median $grep_us)
row "find, text" "1 GiB" "$(rate "$text_us")" "grep $(rate "$grep_us")" "$text_us" "$grep_us" 1
# Not cached: the file is evicted from the page cache (posix_fadvise DONTNEED, which dd's nocache
# asks for) before each run of either, so both read it from storage.
note "find: the 1 GiB file evicted from the cache before each of 5 runs of find and of cat"
cold_find="" cold_cat=""
for _ in 1 2 3 4 5; do
    dd if="$big" iflag=nocache count=0 status=none
    cold_find+=" $(wall_us "$benches/bench_find_save" find "$big" 0123456789abcdef)"
    dd if="$big" iflag=nocache count=0 status=none
    cold_cat+=" $(wall_us cat "$big")"
done
cat "$big" >/dev/null
# shellcheck disable=SC2086
cold_find=$(median $cold_find) cold_cat=$(median $cold_cat)
# 0.95 of cat's rate: a time at most 1/0.95 of cat's.
row "find, 8 bytes, not cached" "1 GiB" "$(rate "$cold_find")" "cat $(rate "$cold_cat")" "$cold_find" "$cold_cat" 1.05
check_find "$sparse" "$four_hex" -1
check_find "$sparse" "$late_hex" "$late_at"
declare -A sparse_us
for _ in 1 2 3; do
    for pattern in "$four_hex" "$late_hex"; do
        sparse_us[$pattern]+=" $(wall_us "$benches/bench_find_save" find "$sparse" "$pattern")"
    done
done
# shellcheck disable=SC2086
for pattern in "$four_hex" "$late_hex"; do
    us=$(median ${sparse_us[$pattern]})
    what="absent"
    [ "$pattern" = "$late_hex" ] && what="past holes"
    row "find, sparse, $what" "64 GiB" "$(calc '%.3f s' "$us / 1e6")" "limit 0.100 s" "$us" 100000 1
done

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
# shellcheck disable=SC2086 # the lists are meant to split
{
    tolm_paste_us=$(median $tolm_paste_us) base_paste_us=$(median $base_paste_us)
}
row "paste, 100,000 keys" "1 MiB" "$(calc '%.2f s' "$tolm_paste_us / 1e6")" \
    "curses $(calc '%.2f s' "$base_paste_us / 1e6")" "$tolm_paste_us" "$base_paste_us" 2
row "paste, 1,000,000 keys" "1 MiB" "$(calc '%.2f s' "$million_us / 1e6")" \
    "100,000 $(calc '%.2f s' "$tolm_paste_us / 1e6")" "$million_us" "$tolm_paste_us" 12

# --------------------------------------------------------------------------------------- output
# Bytes the pane receives for 20 presses of Right in the 1 MiB file, against hexedit's (when it
# is installed) in the same run.
output_bytes() { # COMMAND...
    local pane
    pane=$(psh new-window -d -P -F '#{pane_id}' -t output "$@")
    sleep 0.5
    : >"$work/output"
    psh pipe-pane -t "$pane" -o "cat >>'$work/output'"
    sleep 0.2
    for _ in $(seq 20); do
        psh send-keys -t "$pane" Right
        sleep 0.05
    done
    sleep 0.3
    psh pipe-pane -t "$pane"
    psh kill-pane -t "$pane"
    echo $(($(wc -c <"$work/output") / 20))
}
if command -v hexedit >/dev/null; then
    note "output: bytes per Right, tolm and hexedit"
    psh new-session -d -s output -x 80 -y 25 sleep 100000
    tolm_bytes=$(output_bytes "$tolm" "$mib.orig")
    hexedit_bytes=$(output_bytes hexedit "$mib.orig")
    row "output per Right" "1 MiB" "$tolm_bytes B" "hexedit $hexedit_bytes B" "$tolm_bytes" "$hexedit_bytes" 2
else
    note "output: hexedit is not installed, no row"
fi
tmux -S "$sock" kill-server

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

# Drawing plus one movement at the start and the end of a small and a 16 GiB file, recording
# changes and drawing past them by their count, when built.
if [ -x "$benches/bench_draw" ]; then
    echo
    "$benches/bench_draw" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
        --benchmark_format=csv 2>/dev/null >"$work/draw.csv"
    # name,iterations,real_time,cpu_time,time_unit,...,per_change (the last column) of the medians
    median_of() { awk -F, -v name="\"$1_median\"" '$1 == name' "$work/draw.csv"; }
    echo "draw_screen with Down, then with Up, at the start and end of each file (median of 3, per pair):"
    for b in small_start small_end huge_16GiB_start huge_16GiB_end; do
        median_of "draw_and_move/$b" | awk -F, -v b="$b" '{ printf "  %-20s %8.0f %s\n", b, $3, $5 }'
    done
    echo "record_change at ascending offsets, per change; draw_screen past the changes, per screen:"
    for n in 1000 1000000; do
        median_of "record_ascending/$n" | awk -F, -v n="$n" '{ printf "  %8d changes: %6.1f ns per change\n", n, $NF * 1e9 }'
        median_of "draw_past_changes/$n" | awk -F, -v n="$n" '{ printf "  %8d changes: %6.0f %s per screen\n", n, $3, $5 }'
    done
fi
