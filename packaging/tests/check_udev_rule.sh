#!/usr/bin/env bash
# Checks a udev rules file the way udev would read it: continuation lines joined, every
# entry a KEY op "value" pair with an operator the key allows, GOTO targets defined.
# udev only logs a bad entry and drops the rule, so a typo would otherwise go unnoticed.
# Where udevadm has "verify" (systemd 253 and later) its verdict is required as well.
# Usage: check_udev_rule.sh RULES_FILE
set -uo pipefail
file=$1
failures=0
fail() { echo "FAIL: $file: $*" >&2; ((failures++)); }

match_only=" ACTION DEVPATH KERNEL KERNELS SUBSYSTEM SUBSYSTEMS DRIVER DRIVERS ATTRS TAGS CONST TEST PROGRAM RESULT "
assign_only=" OWNER GROUP MODE SECLABEL RUN LABEL GOTO IMPORT OPTIONS "
either=" NAME SYMLINK ATTR SYSCTL ENV TAG "
entry_re='^[[:space:]]*([A-Z]+)(\{[^}]*\})?[[:space:]]*(==|!=|\+=|-=|:=|=)[[:space:]]*"([^"]*)"[[:space:]]*(,|$)'

rules=() labels=() gotos=() line='' number=0 start=0
while IFS= read -r raw || [[ -n $raw ]]; do
    ((number++))
    ((start == 0)) && start=$number
    if [[ $raw == *\\ ]]; then
        line+="${raw%\\} "
        continue
    fi
    line+=$raw
    [[ $line =~ ^[[:space:]]*(#|$) ]] || rules+=("$start:$line")
    line='' start=0
done <"$file"
[[ -z $line ]] || fail "ends inside a continued line"
((${#rules[@]} > 0)) || fail "holds no rule"

for rule in "${rules[@]}"; do
    at=${rule%%:*} rest=${rule#*:}
    while [[ -n ${rest//[[:space:]]/} ]]; do
        if ! [[ $rest =~ $entry_re ]]; then
            fail "line $at: cannot read '$rest'"
            break
        fi
        key=${BASH_REMATCH[1]} op=${BASH_REMATCH[3]} value=${BASH_REMATCH[4]}
        rest=${rest:${#BASH_REMATCH[0]}}
        if [[ $match_only == *" $key "* ]]; then
            [[ $op == "==" || $op == "!=" ]] || fail "line $at: $key only matches, not '$op'"
        elif [[ $assign_only == *" $key "* ]]; then
            [[ $op != "==" && $op != "!=" ]] || fail "line $at: $key only assigns, not '$op'"
        elif [[ $either != *" $key "* ]]; then
            fail "line $at: unknown key $key"
        fi
        [[ $key == LABEL ]] && labels+=("$value")
        [[ $key == GOTO ]] && gotos+=("$value")
        if [[ -z ${rest//[[:space:]]/} && ${BASH_REMATCH[5]} == , ]]; then
            fail "line $at: ends with a comma"
        fi
    done
done
for target in "${gotos[@]}"; do
    [[ " ${labels[*]} " == *" $target "* ]] || fail "GOTO \"$target\" has no LABEL"
done

if command -v udevadm >/dev/null 2>&1 && udevadm verify --help >/dev/null 2>&1; then
    udevadm verify "$file" || fail "udevadm verify rejects it"
fi
echo "udev rule: ${#rules[@]} rules read"
((failures == 0))
