#!/usr/bin/env bash
# Checks the manual page. Usage:
#   check_manpage.sh render PAGE           groff, with every warning on, must say nothing
#   check_manpage.sh version PAGE VERSION  the page's title line must name this version
# Exit status: 0 passed, 1 failed, 77 skipped (groff is not installed).
set -u

mode=${1:-}
page=${2:-}
[[ -f $page ]] || { echo "FAIL: no manual page at '$page'"; exit 1; }

case $mode in
render)
    command -v groff >/dev/null || { echo "SKIP: groff is not installed"; exit 77; }
    # -z formats without output, so all that is printed is warnings and errors.
    output=$(LC_ALL=C.UTF-8 groff -ww -man -z "$page" 2>&1)
    status=$?
    if ((status != 0)) || [[ -n $output ]]; then
        echo "FAIL: groff exited with $status and said:"
        printf '%s\n' "$output"
        exit 1
    fi
    ;;
version)
    version=${3:-}
    title=$(grep -m1 '^\.TH ' "$page")
    if [[ $title != *"\"Tolm $version\""* ]]; then
        echo "FAIL: the title line should name \"Tolm $version\": $title"
        exit 1
    fi
    ;;
*)
    echo "usage: $0 render PAGE | version PAGE VERSION"
    exit 1
    ;;
esac
echo "manual page: $mode check passed"
