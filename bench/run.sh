#!/usr/bin/env bash
# Tolm's figures beside their baselines, one table per section; progress goes to stderr.
# Usage: bench/run.sh BUILD_DIR [SECTION...] [--against DIR] [--mib N]
#   open    time to the first full screen in tmux and peak memory, for 1 KiB, 1 GiB and 64 GiB
#           files, against the 1 KiB file and against a trivial curses program
#   scroll  instructions (callgrind) and time per Page Down in each file
#   find    patterns in page-cached 1 GiB files against cat (and grep), the worst cases, a file
#           evicted from the cache before each run, the peak memory, a sparse 64 GiB file
#   save    bytes written and time for one changed byte; write calls and time for 1,000,000
#   paste   100,000 and 1,000,000 characters each with Right pasted through tmux, against a
#           curses program that reads the same keys
#   output  bytes the terminal receives per Right, against hexedit's when it is installed
#   draw    drawing, moving and recording changes (Google Benchmark)
# No SECTION: all. A section's Google Benchmark programs (google_programs below) run at its end. --against DIR also times DIR's find (DIR: a build directory,
# or a checkout with one in build/) in the same rounds. --mib N makes the 1 GiB files N MiB.
# Every figure is bench_rounds' median and spread over runs by turns with its baseline. Figures
# only: a goal missed never fails the run. The files live in a temporary folder, removed at the end.
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bench/run.sh BUILD_DIR [SECTION...] [--against DIR] [--mib N]}" && pwd)
shift
all_sections=(open scroll find save paste output draw)
sections=() against="" mib=1024
while [ $# -gt 0 ]; do
    case $1 in
    --against) against=${2:?--against needs a directory}; shift 2 ;;
    --mib) mib=${2:?--mib needs a number}; shift 2 ;;
    *)
        [[ " ${all_sections[*]} " == *" $1 "* ]] || { echo "bench: no section $1 (${all_sections[*]})" >&2; exit 2; }
        sections+=("$1")
        shift
        ;;
    esac
done
[ ${#sections[@]} -gt 0 ] || sections=("${all_sections[@]}")

tolm=$build/tolm
benches=$build/bench
finder=$benches/bench_find_save
for program in "$tolm" "$benches/bench_rounds" "$benches/bench_scroll" "$finder" "$benches/bench_curses_baseline"; do
    [ -x "$program" ] || { echo "bench: missing $program: build it with -DTOLM_BENCH=ON first" >&2; exit 2; }
done
if [ -n "$against" ]; then
    [ -x "$against/bench/bench_find_save" ] || against=$against/build
    [ -x "$against/bench/bench_find_save" ] || { echo "bench: no bench/bench_find_save in $against" >&2; exit 2; }
    their_finder=$(cd "$against" && pwd)/bench/bench_find_save
    [[ " ${sections[*]} " == *" find "* ]] || echo "bench: --against times find alone, and find is not run" >&2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tolm-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
note() { echo "bench: $*" >&2; }
rounds() { "$benches/bench_rounds" "$@"; }
tmux_run=$here/tmux_run.sh
hex() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n'; }
size_of() { wc -c <"$1" | tr -d ' '; }

# ---------------------------------------------------------------------------------------- files
# Each made when a section first needs it.
gib=$((mib * 1024 * 1024))
if [ "$mib" = 1024 ]; then big_label="1 GiB"; else big_label="$mib MiB"; fi
needle=TOLMNEEDLE
# The big file ends in 32 bytes that begin with the only zero byte in it, so that its 4-byte and
# 32-byte patterns occur there alone; the text ends it.
tail_hex=00$(hex "Tolm benchmark needle$needle")
four_hex=${tail_hex:0:8}
# The families of few letters, repeats and near misses: files half as large, each with an absent
# pattern that slows a search taking shortcuts.
half=$((gib / 2))
if [ "$mib" = 1024 ]; then half_label="512 MiB"; else half_label="$((mib / 2)) MiB"; fi
ab_pattern=abbabaabbbaababb
ab32_pattern=${ab_pattern}babbaabaababbbaa
ab8_pattern=abbabaab
acgt_pattern=GATTACACCGTAGCAT
periodic_pattern=ababababbbababab
# The data of the sparse file holds no zero byte: a pattern that begins with one lies only where
# it is put, past holes of gigabytes.
late_hex=00$(hex "TOLMLAT")
late_at=$((40000 * 1024 * 1024 + 100))
small=$work/small.bin big=$work/big.bin huge=$work/huge.bin mib_file=$work/mib.bin
zeros=$work/zeros.bin runs=$work/runs.bin letters=$work/letters.bin sparse=$work/sparse.bin
acgt=$work/acgt.bin periodic=$work/periodic.bin near16=$work/near16.bin near32=$work/near32.bin

# Cached the way reading a file from storage leaves it (in large folios, on recent Linux) rather
# than the way writing it in small pieces just did: flushed, dropped from the cache, read back.
settle() {
    sync "$1"
    dd if="$1" iflag=nocache count=0 status=none
    cat "$1" >/dev/null
}
make_file() {
    case $1 in
    "$small") head -c 1024 /dev/urandom >"$1" ;;
    "$mib_file") head -c $((1024 * 1024)) /dev/urandom >"$1" ;;
    "$huge") truncate -s 64G "$1" ;;
    "$big")
        head -c $((gib - 32)) /dev/urandom | tr '\0' '\1' >"$1"
        printf '\0%s' "Tolm benchmark needle$needle" >>"$1"
        ;;
    "$zeros")
        head -c $((gib - 4)) /dev/zero >"$1"
        printf '\0\0\0\1' >>"$1"
        ;;
    # (yes runs on until head has enough: outside the pipeline, its SIGPIPE is no failure)
    "$runs") head -c $gib < <(yes "$(printf 'a%.0s' {1..30})b" | tr -d '\n') >"$1" ;;
    "$letters") random_letters ab "$ab8_pattern" >"$1" ;;
    "$acgt") random_letters ACGT "$acgt_pattern" >"$1" ;;
    "$periodic") head -c $half < <(yes ab | tr -d '\n') >"$1" ;;
    "$near16") near_misses "$ab_pattern" >"$1" ;;
    "$near32") near_misses "$ab32_pattern" >"$1" ;;
    "$sparse")
        truncate -s 64G "$1"
        for at in 0 7 1000 40000 65535; do
            head -c 65536 /dev/urandom | tr '\0' '\1' | dd of="$1" bs=1M seek=$at conv=notrunc status=none
        done
        printf '\0TOLMLAT' | dd of="$1" bs=1 seek=$late_at conv=notrunc status=none
        ;;
    esac
    # (the small files stay as written, and the sparse ones have too little data to matter)
    case $1 in "$small" | "$mib_file" | "$huge" | "$sparse") ;; *) settle "$1" ;; esac
}
# random_letters ALPHABET PATTERN: half a big file of letters of ALPHABET (two or four) drawn at
# random, each occurrence of PATTERN broken by changing its last letter to the alphabet's next.
random_letters() {
    head -c $half /dev/urandom | tr '\000-\377' "$(printf "$1%.0s" $(seq $((256 / ${#1}))))" | perl -e '
        my ($alphabet, $pattern, $carry) = (@ARGV, "");
        my $last = substr($pattern, -1);
        my $other = substr($alphabet, (index($alphabet, $last) + 1) % length($alphabet), 1);
        my ($broken, $keep) = (substr($pattern, 0, -1) . $other, length($pattern) - 1);
        while (read(STDIN, my $chunk, 1 << 20)) {
            $chunk = $carry . $chunk;
            1 while $chunk =~ s/$pattern/$broken/g;
            print substr($chunk, 0, -$keep);
            $carry = substr($chunk, -$keep);
        }
        print $carry;' "$1" "$2"
}
# near_misses PATTERN: half a big file of copies of PATTERN (of letters a and b), the k-th copy
# with its (k mod length)-th letter changed, so that every position of the pattern fails in turn.
near_misses() {
    head -c $half < <(perl -e '
        my ($pattern, $block) = ($ARGV[0], "");
        for my $k (0 .. length($pattern) - 1) {
            my $copy = $pattern;
            substr($copy, $k, 1) =~ tr/ab/ba/;
            $block .= $copy;
        }
        print $block x 4096 while 1;' "$1")
}
need() {
    local f
    for f in "$@"; do
        [ -e "$f" ] || { note "writing $(basename "$f")"; make_file "$f"; }
    done
}

# The Google Benchmark programs of each section, run at its end when they were built (Google
# Benchmark is optional), each benchmark's repetitions interleaved at random with the others' and
# their median and coefficient of variation shown.
declare -A google_programs=([find]="bench_match" [draw]="bench_draw")
google_benchmarks() {
    local program
    for program in ${google_programs[$1]-}; do
        program=$benches/$program
        [ -x "$program" ] || continue
        note "$1: $(basename "$program"), 5 repetitions interleaved"
        echo
        "$program" --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
            --benchmark_report_aggregates_only=true 2>/dev/null |
            awk '/_(mean|stddev) / { next } NR <= 3 { print; next } { print | "sort -V" }'
    done
}

# ----------------------------------------------------------------------------------------- open
# tolm_screen FILE: what Tolm's status line shows of FILE on its first full screen.
tolm_screen() { echo "$(basename "$1") ($(size_of "$1") bytes)"; }
# label FILE: its size as the figures name it.
label() {
    case $1 in
    "$small") echo "1 KiB" ;;
    "$huge") echo "64 GiB" ;;
    "$letters" | "$acgt" | "$periodic" | "$near16" | "$near32") echo "$half_label" ;;
    *) echo "$big_label" ;;
    esac
}
section_open() {
    need "$small" "$big" "$huge"
    local curses=("$tmux_run" screen "curses baseline ready" "" "$benches/bench_curses_baseline")
    local small_run=("$tmux_run" screen "$(tolm_screen "$small")" "offset: 0x00000000" "$tolm" "$small")
    note "open: first screen in tmux, a warm-up and 15 rounds"
    rounds -n 15 -u -f screen -g 1.1 "open time, 1 KiB" -- curses "${curses[@]}" -- tolm "${small_run[@]}"
    rounds -n 15 -u -f screen -g 1.1 "open time, 1 KiB" -- "curses, colours" "${curses[@]}" colour -- tolm "${small_run[@]}"
    rounds -n 15 -u -f screen -g 1.1 "open time" -- "1 KiB" "${small_run[@]}" \
        -- "$big_label" "$tmux_run" screen "$(tolm_screen "$big")" "offset: 0x00000000" "$tolm" "$big" \
        -- "64 GiB" "$tmux_run" screen "$(tolm_screen "$huge")" "offset: 0x00000000" "$tolm" "$huge"
    note "open: peak memory, 3 rounds"
    local peaks=() f
    for f in "$small" "$big" "$huge"; do
        peaks+=(-- "$(label "$f")" "$tmux_run" peak "$(tolm_screen "$f")" "offset: 0x00000000" "$tolm" "$f")
    done
    rounds -n 3 -f peak "peak memory, 1 KiB" -- curses "$tmux_run" peak "curses baseline ready" "" \
        "$benches/bench_curses_baseline" "${peaks[@]:0:8}"
    rounds -n 3 -f peak -g 1.1 "peak memory" "${peaks[@]}"
    rounds -n 3 -f peak -g 1 "peak memory" -- limit =2560 KiB "${peaks[@]}"
}

# --------------------------------------------------------------------------------------- scroll
section_scroll() {
    need "$small" "$big" "$huge"
    local f collected pages=10000 instructions=() times=()
    for f in "$small" "$big" "$huge"; do
        note "scroll: $(basename "$f") under callgrind (about 15 s)"
        # Only the command loop is counted, so that start-up does not weigh in.
        collected=$(valgrind --tool=callgrind --collect-atstart=no --toggle-collect='loop_step*' \
            --callgrind-out-file=/dev/null "$benches/bench_scroll" "$f" $pages 2>&1 >/dev/null |
            sed -n 's/.*Collected : *//p')
        instructions+=(-- "$(label "$f")" "=$((collected / pages))" instr)
        times+=(-- "$(label "$f")" "$benches/bench_scroll" "$f" "$pages")
    done
    rounds -n 1 -g 1.1 "Page Down instructions" "${instructions[@]}"
    note "scroll: 15 rounds of $pages pages in each file"
    rounds -n 15 -f page -g 1.1 "Page Down time" "${times[@]}"
}

# ----------------------------------------------------------------------------------------- find
# theirs FILE HEX: sets THEIRS to the other build's find of the pattern in FILE, when there is one.
theirs() {
    THEIRS=()
    [ -z "$against" ] || THEIRS=(-- against "$their_finder" find "$1" "$2")
}
# check_find FILE HEX OFFSET: each find must stop at OFFSET (-1: nowhere).
check_find() {
    local program found
    for program in "$finder" ${against:+"$their_finder"}; do
        # (a find that finds nothing ends with status 1)
        found=$({ "$program" find "$1" "$2" || true; } | sed -n 's/find: found at \(-*[0-9]*\) .*/\1/p')
        [ "$found" = "$3" ] || note "FAULT: $program: find $2 in $1 gave '$found', not $3"
    done
}
section_find() {
    need "$small" "$big" "$zeros" "$runs" "$letters" "$acgt" "$periodic" "$near16" "$near32" "$sparse"
    local line measure file pattern stop goal
    local a32_hex needle_hex
    a32_hex=$(hex "$(printf 'a%.0s' {1..32})") needle_hex=$(hex "$needle")
    # One find per line: label|file|pattern|where it stops|goal against cat's time. From (a) on,
    # the inputs that slow a search taking shortcuts, each pattern absent.
    local table=(
        "4 bytes|$big|$four_hex|$((gib - 32))|1"
        "32 bytes|$big|$tail_hex|$((gib - 32))|0.77"
        "text|$big|$needle_hex|$((gib - 10))|0.77"
        "8 bytes absent|$big|0123456789abcdef|-1|1.3"
        "(a) zero bytes|$zeros|0000000100000000|-1|4"
        "(b) a, b every 31|$runs|$a32_hex|-1|4"
        "(c) random ab, 8|$letters|$(hex "$ab8_pattern")|-1|4"
        "(d) ACGT, 16|$acgt|$(hex "$acgt_pattern")|-1|4"
        "(e) abab, 16|$periodic|$(hex "$periodic_pattern")|-1|4"
        "(f) near miss, 16|$near16|$(hex "$ab_pattern")|-1|4"
        "(g) near miss, 32|$near32|$(hex "$ab32_pattern")|-1|4"
    )
    # Five rounds: on a shared virtual machine a run in three is often slowed by neighbours.
    # Each run reads its file once untimed first (-w): some systems drop pages unused for a few
    # seconds from the cache, and the figures are those of a file in the cache.
    note "find: $big_label and $half_label files in the cache, 5 rounds of each find against cat"
    for line in "${table[@]}"; do
        IFS='|' read -r measure file pattern stop goal <<<"$line"
        check_find "$file" "$pattern" "$stop"
        theirs "$file" "$pattern"
        rounds -n 5 -w "$file" -g "$goal" ${against:+-a} "find, $measure, $(label "$file")" -- cat cat "$file" \
            -- tolm "$finder" find "$file" "$pattern" "${THEIRS[@]}"
    done
    theirs "$big" "$needle_hex"
    rounds -n 5 -w "$big" -g 1 ${against:+-a} "find, text, $big_label" -- grep grep -c -F "$needle" "$big" \
        -- tolm "$finder" find "$big" "$needle_hex" "${THEIRS[@]}"
    # Evicted from the page cache (posix_fadvise DONTNEED) before each run of either, so both read
    # the file from storage; at most 1.1 of cat's time.
    note "find: the $big_label file evicted from the cache before each of 5 rounds"
    theirs "$big" 0123456789abcdef
    rounds -n 5 -e "$big" -g 1.1 ${against:+-a} "find, 8 bytes, not cached, $big_label" -- cat cat "$big" \
        -- tolm "$finder" find "$big" 0123456789abcdef "${THEIRS[@]}"
    cat "$big" >/dev/null
    # Peak memory of the process that opens the file and finds the pattern: in the 1 KiB file,
    # that of the editor and of a find that reads next to nothing.
    rounds -n 3 -w "$big" -m ${against:+-a} "find, peak memory" -- "1 KiB" "$finder" find "$small" 0123456789abcdef \
        -- "$big_label" "$finder" find "$big" 0123456789abcdef "${THEIRS[@]}"
    check_find "$sparse" "$four_hex" -1
    check_find "$sparse" "$late_hex" "$late_at"
    theirs "$sparse" "$four_hex"
    rounds -n 3 -g 1 "find, sparse, absent, 64 GiB" -- limit =0.1 s -- tolm "$finder" find "$sparse" "$four_hex" \
        "${THEIRS[@]}"
    theirs "$sparse" "$late_hex"
    rounds -n 3 -g 1 "find, sparse, past holes" -- limit =0.1 s -- tolm "$finder" find "$sparse" "$late_hex" \
        "${THEIRS[@]}"
}

# ----------------------------------------------------------------------------------------- save
section_save() {
    need "$small" "$big" "$huge"
    local half=$((64 << 29))
    note "save: one changed byte, 5 rounds in 1 KiB and in 64 GiB"
    rounds -n 5 -f written -g 1 "save, bytes written, 1 KiB" -- "1 changed byte" =1 B -- tolm "$finder" save "$small" 512
    rounds -n 5 -f written -g 1 "save, bytes written, 64 GiB" -- "1 changed byte" =1 B -- tolm "$finder" save "$huge" $half
    rounds -n 5 -f time "save time" -- "1 KiB" "$finder" save "$small" 512 -- "64 GiB" "$finder" save "$huge" $half
    note "save: 1,000,000 adjacent changes against one, 3 rounds"
    rounds -n 1 -f calls -g 1 "save, write calls, 1,000,000" -- "1 run of changes" =1 calls \
        -- tolm "$finder" save "$big" 4096 1000000
    rounds -n 3 -f time -g 10 "save time, 1,000,000" -- "1 change" "$finder" save "$big" 4096 \
        -- "1,000,000" "$finder" save "$big" 4096 1000000
}

# ---------------------------------------------------------------------------------------- paste
# Characters, each followed by Right, pasted through tmux into the character column of a 1 MiB
# file, until the status line shows the cursor past the last one; the file saved afterwards must
# hold exactly the pasted characters.
section_paste() {
    need "$mib_file"
    note "paste: 100,000 characters each with Right, 3 rounds against the curses baseline"
    rounds -n 3 -f paste -g 2 "paste, 100,000 keys, 1 MiB" -- curses "$tmux_run" paste 100000 - "$benches/bench_curses_baseline" \
        -- tolm "$tmux_run" paste 100000 "$mib_file" "$tolm"
    note "paste: 1,000,000 characters against 100,000, 3 rounds (about 2 minutes)"
    rounds -n 3 -f paste -g 12 "paste, 1,000,000 keys" -- "100,000" "$tmux_run" paste 100000 "$mib_file" "$tolm" \
        -- "1,000,000" "$tmux_run" paste 1000000 "$mib_file" "$tolm"
}

# --------------------------------------------------------------------------------------- output
section_output() {
    need "$mib_file"
    if command -v hexedit >/dev/null; then
        note "output: bytes per Right, tolm and hexedit, 3 rounds"
        rounds -n 3 -f output -g 2 "output per Right, 1 MiB" -- hexedit "$tmux_run" output hexedit "$mib_file" \
            -- tolm "$tmux_run" output "$tolm" "$mib_file"
    else
        note "output: hexedit is not installed, no row"
    fi
}

cpu=$(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -n 1)
commit=$(git -C "$here" rev-parse --short HEAD 2>/dev/null || echo unknown)
echo "Tolm benchmarks $(date '+%Y-%m-%d %H:%M'), $(uname -srm), ${cpu:-unknown CPU}, commit $commit"
for section in "${sections[@]}"; do
    echo
    echo "$section:"
    # A section may be Google Benchmark programs alone.
    if declare -F "section_$section" >/dev/null; then
        rounds -H
        "section_$section"
    fi
    google_benchmarks "$section"
done
