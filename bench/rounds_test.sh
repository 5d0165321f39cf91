#!/bin/sh
# bench_rounds on commands whose figures are known: the rows it prints, its order of runs, and
# the faults it reports rather than figures it would make up.
#   bench/rounds_test.sh BENCH_ROUNDS
set -u
rounds=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/tolm-rounds-XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

# A command whose figure is 1, 2, 3, ... from one run to the next, and that notes its name.
counter() {
    echo "n=\$(cat '$work/$1' 2>/dev/null || echo 0); n=\$((n + 1)); echo \$n >'$work/$1'; echo $1 >>'$work/order'; echo \"v: \$n B\""
}

# check WHAT EXPECTED ARGS...: the output (both streams) and the status of bench_rounds ARGS
# must hold the extended regular expression EXPECTED.
check() {
    what=$1 expected=$2
    shift 2
    rm -f "$work"/*
    out=$("$rounds" "$@" 2>&1; echo "status $?")
    if ! printf '%s\n' "$out" | grep -Eq -- "$expected"; then
        echo "FAIL: $what: no /$expected/ in:"
        printf '%s\n' "$out"
        failures=$((failures + 1))
    fi
}

check "a figure against a limit" 'm +p 1\.00 s \+-0% +limit 2\.00 s +0\.50 \+-0% +<= 1 ok' \
    -n 3 -f v -g 1 m -- limit =2 s -- p sh -c 'echo "v: 1 s"'
check "a goal missed" '2\.00 \+-0% +<= 1\.5 MISSED' -n 2 -f v -g 1.5 m -- limit =1 B -- p sh -c 'echo "v: 2 B"'
check "the median and the furthest run" 'c 2 B \+-50% +limit 1 B +2\.00 \+-50%' \
    -n 3 -f v m -- limit =1 B -- c sh -c "$(counter c)"
check "a warm-up round left out" 'c 3 B \+-33%' -n 3 -u -f v m -- limit =1 B -- c sh -c "$(counter c)"
check "ratios within rounds" 'b 2 B \+-50% +a 2 B \+-50% +1\.00 \+-0%' \
    -n 3 -f v m -- a sh -c "$(counter a)" -- b sh -c "$(counter b)"
check "the order reversed every other round" 'a 2 B' -n 3 -f v m -- a sh -c "$(counter a)" -- b sh -c "$(counter b)"
[ "$(tr '\n' ' ' <"$work/order")" = "a b b a a b " ] || {
    echo "FAIL: runs in the order $(tr '\n' ' ' <"$work/order"), not a b b a a b"
    failures=$((failures + 1))
}
check "a third against the second too, without a goal" 'c 3 B .* b 2 B \+-0% +1\.50 \+-0% *$' \
    -n 1 -f v -g 9 -a m -- a =1 B -- b sh -c 'echo "v: 2 B"' -- c sh -c 'echo "v: 3 B"'
check "a time and its rate through the file" 'p [0-9.]+ ms \+-[0-9]+%, [0-9.]+ GB/s' \
    -n 1 -w "$rounds" m -- limit =1 s -- p true
started=$(date +%s)
check "a process the command leaves running" 'p 1 B' \
    -n 1 -f v m -- limit =1 B -- p sh -c 'echo "v: 1 B"; exec >/dev/null 2>&1; sleep 15 &'
[ $(($(date +%s) - started)) -lt 10 ] || {
    echo "FAIL: bench_rounds waited for what the command left running"
    failures=$((failures + 1))
}
check "no figure printed" 'FAULT: p printed no v' -n 1 -f v m -- limit =1 B -- p true
check "no figure shown" 'p FAULT: no figure +limit 1 B +-' -n 1 -f v m -- limit =1 B -- p true
check "a run that fails" 'FAULT: p \(sh\) ended with status' -n 1 m -- limit =1 s -- p sh -c 'exit 3'
check "one command alone" 'usage: ' -n 1 m -- limit =1 s
check "a name without a command" 'usage: ' -n 1 m -- limit =1 s -- p
check "an unknown option" 'usage: ' -x 1 m -- limit =1 s -- p true
[ $failures = 0 ]
