#!/usr/bin/env bash
# Checks the bash completion of velquor-cli: it parses, completes the cases below, and
# offers every command and option that the program's own --help names.
# Usage: check_completion.sh COMPLETION_SCRIPT VELQUOR_CLI
set -uo pipefail
script=$1 cli=$2
failures=0 checks=0

bash -n "$script" || { echo "FAIL: $script does not parse" >&2; exit 1; }
# shellcheck source=/dev/null
source "$script"

# Completes the words of LINE (the last one is the word under the cursor) and prints the
# candidates sorted, one line.
complete_line() {
    read -r -a COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_WORDS[0]=$cli
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _velquor_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort | xargs
}

expect() {
    local line=$1 want=$2 got
    got=$(complete_line "$line")
    ((checks++))
    if [[ $got != "$want" ]]; then
        echo "FAIL: '$line' completes to '$got', expected '$want'" >&2
        ((failures++))
    fi
}

expect_contains() {
    local line=$1 want=$2 got
    got=" $(complete_line "$line") "
    ((checks++))
    if [[ $got != *" $want "* ]]; then
        echo "FAIL: '$line' completes to '$got', which lacks '$want'" >&2
        ((failures++))
    fi
}

# Table of command lines (trailing blank: a new, empty word) and their completions.
expect "velquor-cli " "info list log monitor publish read serve setup"
expect "velquor-cli mo" "monitor"
expect "velquor-cli --simulate " "info list log monitor publish read serve setup"
expect "velquor-cli --simulate 2 " "info list log monitor publish read serve setup"
expect "velquor-cli --serial X " "info list log monitor publish read serve setup"
expect "velquor-cli --port /dev/null i" "info"
expect "velquor-cli --" "--help --port --serial --simulate --version"
expect "velquor-cli list --" "--all --help --json --simulate"
expect "velquor-cli info --v" ""
expect "velquor-cli info --j" "--json"
expect "velquor-cli monitor --s" "--seconds --serial --simulate --stats"
expect "velquor-cli setup --show-dbm " "off on"
expect "velquor-cli setup --show-watt o" "off on"
expect "velquor-cli setup --low-frequency y" "yes"
expect "velquor-cli setup --frequency " ""
expect "velquor-cli monitor --seconds " ""
expect "velquor-cli serve --re" "--reconnect --reconnect-timeout"
expect "velquor-cli serve --listen " ""
expect "velquor-cli setup --frequency 2450 --c" "--cable-loss"
expect "velquor-cli --port /dev/nul" "/dev/null"
expect "velquor-cli log --delimiter s" "semicolon space"
expect "velquor-cli log --rate " ""
expect "velquor-cli log --file out.txt --ra" "--rate"
expect "velquor-cli log --file /dev/nul" "/dev/null"
expect "velquor-cli log --format " "csv text"
expect "velquor-cli read --unit d" "dbm dbuv"
expect "velquor-cli read --upper " ""
expect "velquor-cli setup --loss-table /dev/nul" "/dev/null"
expect "velquor-cli --port /dev/null --port /dev/null r" "read"
expect "velquor-cli publish --qos " "0 1"
expect "velquor-cli publish --broker " ""
expect "velquor-cli publish --broker h --tls-ca /dev/nul" "/dev/null"
expect "velquor-cli publish --broker h --pa" "--password-file"
# Serial numbers come from the tool itself, here from the simulated meter.
sim_serial=$("$cli" list --simulate | head -n1 | sed 's/ - .*//')
if [[ -z $sim_serial ]]; then
    echo "FAIL: '$cli list --simulate' listed no meter" >&2
    ((failures++))
else
    expect "velquor-cli info --simulate --serial " "$sim_serial"
fi
# With a count, every simulated meter is offered, as list --simulate N lists them.
expect "velquor-cli info --simulate 3 --serial " "OV227700 OV227701 OV227702"
expect "velquor-cli --simulate 2 read --serial OV2277" "OV227700 OV227701"

# Everything --help names must complete: commands at the start, each command's options
# after it, the common options after every command.
help=$("$cli" --help) || { echo "FAIL: $cli --help failed" >&2; exit 1; }
section='' command='' commands=()
declare -A own  # each command's own --help
while IFS= read -r line; do
    case $line in
        commands:) section=commands; continue ;;
        "common options"*) section=common; continue ;;
    esac
    if [[ $section == commands && $line =~ ^\ \ ([a-z]+) ]]; then
        command=${BASH_REMATCH[1]}
        commands+=("$command")
        own[$command]=$("$cli" "$command" --help)
    fi
    for option in $(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$line"); do
        if [[ $section == commands && -n $command ]]; then
            expect_contains "velquor-cli $command --" "$option"
        elif [[ $section == common && $option != --help && $option != --version ]]; then
            for c in "${commands[@]}"; do
                grep -qE -- "(^|[ ,])$option( |\$)" <<<"${own[$c]}" &&
                    expect_contains "velquor-cli $c --" "$option"
            done
        fi
    done
done <<<"$help"
# Nothing a command would refuse: every option offered after a command is in its --help.
for c in "${commands[@]}"; do
    for option in $(complete_line "velquor-cli $c --"); do
        ((checks++))
        if ! grep -qE -- "(^|[ ,])$option( |\$)" <<<"${own[$c]}"; then
            echo "FAIL: 'velquor-cli $c --' offers $option, which $c does not take" >&2
            ((failures++))
        fi
    done
done
if ((${#commands[@]} == 0)); then
    echo "FAIL: found no commands in '$cli --help'" >&2
    ((failures++))
fi
expect "velquor-cli " "$(printf '%s\n' "${commands[@]}" | sort | xargs)"

echo "completion: $checks checks, $failures failing"
((failures == 0))
