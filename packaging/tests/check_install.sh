#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the layout a desktop expects:
# programs, desktop entry, icons at each size, AppStream metadata, manual pages, udev
# rule and completion, and that the files name each other consistently.
# Usage: check_install.sh BUILD_DIR SCRATCH_DIR WITH_GUI(ON|OFF)
set -uo pipefail
build=$1 prefix=$2 gui=$3
failures=0
fail() { echo "FAIL: $*" >&2; ((failures++)); }

rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: install failed" >&2; exit 1; }

# The man page may be compressed or not, depending on gzip at configure time.
man_page() { ls "$prefix/share/man/man1/$1.1.gz" "$prefix/share/man/man1/$1.1" 2>/dev/null | head -n1; }

expected=(bin/velquor-cli bin/velquor-meter-sim lib/udev/rules.d/70-velquor.rules
          share/bash-completion/completions/velquor-cli share/doc/velquor/MQTT.md)
for f in "${expected[@]}"; do
    [[ -f $prefix/$f ]] || fail "$f not installed"
done
for f in bin/velquor-cli bin/velquor-meter-sim; do
    [[ -x $prefix/$f ]] || fail "$f is not executable"
done

# The web page's files, and the installed program finding them beside itself.
if [[ -f $build/src/remote/libvelquor_remote_http.a ]]; then
    for f in index.html style.css app.js; do
        [[ -f $prefix/share/velquor/web/$f ]] || fail "share/velquor/web/$f not installed"
    done
    [[ -f $prefix/share/doc/velquor/NETWORK.md ]] || fail "share/doc/velquor/NETWORK.md not installed"
    out=$(mktemp)
    env -u VELQUOR_WEB_DIR "$prefix/bin/velquor-cli" serve --simulate 1 --no-scpi --http 127.0.0.1:0 \
        >"$out" 2>&1 &
    served=$!
    port=
    for _ in $(seq 100); do
        port=$(sed -n 's|^Web page on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$out")
        [[ -n $port ]] && break
        sleep 0.1
    done
    page=$(python3 -c "import urllib.request,sys; print(urllib.request.urlopen(sys.argv[1], timeout=5).read().decode())" \
        "http://127.0.0.1:$port/" 2>&1)
    grep -q '<title>Velquor' <<<"$page" || fail "the installed program does not serve its page: $page $(cat "$out")"
    kill -INT "$served"
    wait "$served" || fail "serve --http did not end cleanly on SIGINT"
    rm -f "$out"
fi
programs=(velquor-cli velquor-meter-sim)

if [[ $gui == ON ]]; then
    programs+=(velquor)
    desktop=$prefix/share/applications/velquor.desktop
    metainfo=$prefix/share/metainfo/io.velquor.Velquor.metainfo.xml
    [[ -x $prefix/bin/velquor ]] || fail "bin/velquor not installed"
    [[ -f $desktop ]] || fail "desktop entry not installed"
    [[ -f $metainfo ]] || fail "AppStream metadata not installed"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    [[ -x $prefix/bin/$exec ]] || fail "the desktop entry runs '$exec', which is not installed"
    grep -q "<launchable type=\"desktop-id\">velquor.desktop</launchable>" "$metainfo" ||
        fail "the AppStream metadata does not launch velquor.desktop"
    grep -q "<icon type=\"stock\">$icon</icon>" "$metainfo" ||
        fail "the AppStream metadata does not name the icon '$icon'"
    for size in 16 32 48 64 128 256; do
        png=$prefix/share/icons/hicolor/${size}x${size}/apps/$icon.png
        if [[ ! -f $png ]]; then
            fail "no $size px icon"
            continue
        fi
        # Width and height are the big-endian words at bytes 16 and 20 of a PNG.
        read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
            awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
        [[ $w == "$size" && $h == "$size" ]] || fail "$png is ${w}x$h, not ${size}x$size"
    done
else
    [[ ! -e $prefix/share/applications/velquor.desktop ]] ||
        fail "desktop entry installed without the GUI"
fi
for p in "${programs[@]}"; do
    [[ -n $(man_page "$p") ]] || fail "no manual page for $p"
done

echo "install layout checked in $prefix"
((failures == 0))
