#!/usr/bin/env bash
# Renders each manual page with groff's warnings and man's style checks on, failing on
# any warning, and checks that the page names every option the program's --help names.
# Exit 77 (skipped) when groff is not installed.
# Usage: check_man_pages.sh PAGE=PROGRAM...
set -uo pipefail
if ! command -v groff >/dev/null 2>&1; then
    echo "groff is not installed: skipped"
    exit 77
fi
export LC_ALL=C.UTF-8 MANWIDTH=80 QT_QPA_PLATFORM=offscreen
failures=0
for pair in "$@"; do
    page=${pair%%=*} program=${pair#*=}
    warnings=$(groff -man -Tutf8 -ww -z -rCHECKSTYLE=3 "$page" 2>&1)
    if command -v man >/dev/null 2>&1; then
        warnings+=$(printf '\n%s' "$(man --warnings -l "$page" 2>&1 >/dev/null)")
    fi
    if [[ -n ${warnings//$'\n'/} ]]; then
        echo "FAIL: $page renders with warnings:" >&2
        echo "$warnings" >&2
        ((failures++))
    fi
    # The rendered text, with hyphens as typed so options compare as plain text.
    text=$(groff -man -Tutf8 -P-cbou "$page" 2>/dev/null | sed 's/‐/-/g')
    if ! grep -q '^NAME' <<<"$text" || ! grep -q '^SYNOPSIS' <<<"$text"; then
        echo "FAIL: $page lacks a NAME or SYNOPSIS section" >&2
        ((failures++))
    fi
    usage=$("$program" --help 2>&1)
    if [[ -z $usage ]]; then
        echo "FAIL: $program --help printed nothing" >&2
        ((failures++))
    fi
    for option in $(grep -oE -- '--[a-z][a-z-]*' <<<"$usage" | sort -u); do
        if ! grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$text"; then
            echo "FAIL: $page does not describe $option from '$program --help'" >&2
            ((failures++))
        fi
    done
    echo "$page: checked against $program"
done
((failures == 0))
