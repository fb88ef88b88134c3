#!/usr/bin/env bash
# Runs a desktop-entry or AppStream validator on one file. Any issue but AppStream's
# pedantic notes fails; exit 77 (skipped) when the validator is not installed.
# Usage: check_metadata.sh desktop FILE | check_metadata.sh metainfo FILE
set -uo pipefail
kind=$1 file=$2
case $kind in
    desktop) tool=desktop-file-validate; args=("$file") ;;
    metainfo) tool=appstreamcli; args=(validate --no-net --strict "$file") ;;
    *) echo "unknown kind $kind" >&2; exit 2 ;;
esac
if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool is not installed: skipped"
    exit 77
fi
output=$("$tool" "${args[@]}" 2>&1)
status=$?
echo "$output"
if [ $status -ne 0 ]; then
    echo "FAIL: $tool exited with $status" >&2
    exit 1
fi
# desktop-file-validate exits 0 on warnings and hints (appstreamcli fails on them
# itself with --strict).
if [ "$kind" = desktop ] && [ -n "$output" ]; then
    echo "FAIL: $tool reported issues" >&2
    exit 1
fi
exit 0
