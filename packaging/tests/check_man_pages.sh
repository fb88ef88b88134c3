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
    for option in $(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$usage" | sort -u); do
        if ! grep -qE -- "(^|[^a-z0-9-])$option([^a-z0-9-]|$)" <<<"$text"; then
            echo "FAIL: $page does not describe $option from '$program --help'" >&2
            ((failures++))
        fi
    done
    # A program with commands: each has a tagged paragraph of its own, and its synopsis
    # line names every option the overview gives it, or a group ([measurement]) whose
    # section (MEASUREMENT OPTIONS) describes the option. Wide lines, no hyphenation.
    wide=$(groff -man -Tutf8 -P-cbou -rLL=2000n -rHY=0 "$page" 2>/dev/null | sed 's/‐/-/g')
    name=$(basename "$program") synopsis=''
    while IFS= read -r line; do
        if [[ $line =~ ^\ \ ([a-z]+)\  ]]; then
            command=${BASH_REMATCH[1]}
            if ! grep -qE "^ {7}$command( {2,}|$)" <<<"$wide"; then
                echo "FAIL: $page has no paragraph of its own for the command $command" >&2
                ((failures++))
            fi
            synopsis=$(grep -E "^ {7}$name $command( |$)" <<<"$wide")
            continue
        fi
        for option in $(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$line"); do
            grep -qE -- "(^|[^a-z0-9-])$option([^a-z0-9-]|$)" <<<"$synopsis" && continue
            found=''
            for group in $(grep -oE '\[[a-z]+\]' <<<"$synopsis" | tr -d '[]'); do
                awk -v h="${group^^} OPTIONS" '$0 == h { on = 1; next } /^[A-Z]/ { on = 0 } on' \
                    <<<"$wide" | grep -qE -- "(^|[^a-z0-9-])$option([^a-z0-9-]|$)" && found=1
            done
            if [[ -z $found ]]; then
                echo "FAIL: $page's synopsis of $command lacks $option" >&2
                ((failures++))
            fi
        done
    done < <(sed -n '/^commands:/,/^$/p' <<<"$usage" | sed '1d')
    echo "$page: checked against $program"
done
((failures == 0))
