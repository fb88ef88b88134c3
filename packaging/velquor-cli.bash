# bash completion for velquor-cli

_velquor_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="list info setup monitor read log serve publish"
    # Options that take a value, so the word after them is not the command.
    local valued="--port|--serial|--frequency|--cable-loss|--loss-table|--show-dbm|--show-watt|\
--low-frequency|--seconds|--file|--rate|--delimiter|--format|--count|--average|--unit|--offset|\
--relative|--upper|--lower|--reconnect-timeout|--listen|--idle-timeout|--vxi11-port|--broker|--stand|\
--topic-prefix|--interval-ms|--qos|--username|--password-file|--tls-ca|--tls-cert|--tls-key|\
--buffer-seconds|--http-password-file"
    local measure="--average --unit --offset --relative --upper --lower"
    local reconnect="--reconnect --reconnect-timeout"
    local mqtt="--stand --topic-prefix --interval-ms --qos --username --password-file --tls-ca --tls-cert --tls-key --buffer-seconds --insecure"

    case $prev in
        --port)
            # Nothing typed yet: offer the serial ports; any path still completes as a file.
            compopt -o filenames 2>/dev/null
            if [[ -z $cur ]]; then
                mapfile -t COMPREPLY < <(compgen -G '/dev/serial/by-id/*'; compgen -G '/dev/ttyUSB*')
            else
                mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            fi
            return
            ;;
        --serial)
            # Ask the tool itself, on the same bus (or simulator) the line names; a bound
            # wait so a stuck device cannot hang the shell.
            # Every one of --simulate N's meters, not just the first.
            local simulate=() i serials
            for ((i = 1; i < COMP_CWORD - 1; i++)); do
                if [[ ${COMP_WORDS[i]} == --simulate ]]; then
                    simulate=(--simulate)
                    [[ ${COMP_WORDS[i + 1]} =~ ^[0-9]+$ ]] && simulate+=("${COMP_WORDS[i + 1]}")
                fi
            done
            serials=$(timeout 5 "${COMP_WORDS[0]}" list --json "${simulate[@]}" 2>/dev/null |
                grep -o '"serial":"[^"\\]*"' | sed 's/^"serial":"//; s/"$//')
            mapfile -t COMPREPLY < <(compgen -W "$serials" -- "$cur")
            return
            ;;
        --show-dbm | --show-watt)
            mapfile -t COMPREPLY < <(compgen -W "on off" -- "$cur")
            return
            ;;
        --low-frequency)
            mapfile -t COMPREPLY < <(compgen -W "yes no" -- "$cur")
            return
            ;;
        --file | --loss-table | --password-file | --http-password-file | --tls-ca | --tls-cert | --tls-key)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
        --delimiter)
            mapfile -t COMPREPLY < <(compgen -W "tab semicolon comma space" -- "$cur")
            return
            ;;
        --qos)
            mapfile -t COMPREPLY < <(compgen -W "0 1" -- "$cur")
            return
            ;;
        --format)
            mapfile -t COMPREPLY < <(compgen -W "text csv" -- "$cur")
            return
            ;;
        --unit)
            mapfile -t COMPREPLY < <(compgen -W "dbm w dbuv v" -- "$cur")
            return
            ;;
        --frequency | --cable-loss | --seconds | --rate | --count | --average | --offset | \
            --relative | --upper | --lower | --reconnect-timeout | --listen | --idle-timeout | --vxi11-port | \
            --broker | --stand | --topic-prefix | --interval-ms | --username | --buffer-seconds)
            COMPREPLY=()
            return
            ;;
    esac

    # The command is the first word that is neither an option nor an option's value
    # (--simulate takes an optional count).
    local i command=
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} =~ ^($valued)$ ]]; then
            ((i++))
        elif [[ ${COMP_WORDS[i]} == --simulate && ${COMP_WORDS[i + 1]} =~ ^[0-9]+$ ]]; then
            ((i++))
        elif [[ ${COMP_WORDS[i]} != -* ]]; then
            command=${COMP_WORDS[i]}
            break
        fi
    done

    if [[ -z $command && $cur != -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
        return
    fi

    # Only what the command takes: list opens no meter, and --version goes before a command.
    local options="--simulate --help"
    if [[ -z $command ]]; then
        options+=" --port --serial --version"
    elif [[ $command != list ]]; then
        options+=" --port --serial --all --keep-going"
    fi
    case $command in
        list) options+=" --all --json" ;;
        info) options+=" --json" ;;
        setup) options+=" --frequency --cable-loss --loss-table --show-dbm --show-watt --low-frequency" ;;
        monitor) options+=" --seconds --json --stats $measure $reconnect" ;;
        read) options+=" --count --json $measure $reconnect" ;;
        log) options+=" --file --rate --seconds --no-index --no-header --delimiter --overwrite --format --offset $reconnect" ;;
        serve) options+=" --listen --idle-timeout --vxi11 --vxi11-port --http --no-scpi --http-write --http-password-file --http-streams --no-announce --publish $mqtt $reconnect" ;;
        publish) options+=" --broker $mqtt --seconds $reconnect" ;;
    esac
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
}

complete -F _velquor_cli velquor-cli
