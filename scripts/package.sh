#!/usr/bin/env bash
# Builds the Debian package from the normal build and checks it:
# scripts/package.sh [--install-check]
#
# Writes build/default/lk58_<version>_amd64.deb with cpack and fails on any
# lintian error or warning (informational tags are shown too). With
# --install-check it then installs the package with apt-get, runs the
# installed programs against each other, and removes the package again.
set -euo pipefail
cd "$(dirname "$0")/.."
check=no
case ${1:-} in
"") ;;
--install-check) check=yes ;;
*) echo "usage: scripts/package.sh [--install-check]" >&2; exit 2 ;;
esac
scripts/deps.sh package
cmake --preset default >/dev/null
cmake --build --preset default
(cd build/default && rm -f lk58_*.deb && cpack -G DEB)
deb=$(ls build/default/lk58_*_amd64.deb)
echo "=== lintian $deb"
lintian --fail-on error,warning --display-info --pedantic "$deb" 2>&1 | { grep -v 'running with root privileges' || true; }
echo "lintian: no errors or warnings"
[ "$check" = yes ] || exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
work=$(mktemp -d "${TMPDIR:-/tmp}/lk58-package.XXXXXX")
sim=
cleanup() {
    [ -z "$sim" ] || { kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; }
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq lk58 >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

echo "=== apt-get install ./$deb"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb"
programs=(lk58 tq36-sim)
[ ! -d src/ctl ] || programs+=(tq36ctl)
for program in "${programs[@]}"; do
    [ "$(command -v "$program")" = "/usr/bin/$program" ] || { echo "$program is not installed in /usr/bin" >&2; exit 1; }
    man -w "$program" >/dev/null
done

# The installed simulator on a pseudo-terminal, without pacing.
/usr/bin/tq36-sim --link "$work/tq36" --no-pacing >"$work/sim.out" 2>"$work/sim.log" &
sim=$!
for _ in $(seq 50); do [ -e "$work/tq36" ] && break; sleep 0.1; done
[ -e "$work/tq36" ] || { echo "the installed tq36-sim did not start:" >&2; cat "$work/sim.log" >&2; exit 1; }

# A ping by hand: FF and its checksum; the reply is FF "TQ36" and its checksum.
stty -F "$work/tq36" raw -echo
exec 3<>"$work/tq36"
printf '\xff\xbf\xbf' >&3
reply=$(timeout 5 head -c 7 <&3 | od -An -tx1 | tr -d ' \n')
exec 3<&-
[ "$reply" = ff545133363eec ] || { echo "ping reply from the installed tq36-sim: '$reply'" >&2; exit 1; }
echo "installed tq36-sim answers a ping"

if [ -d src/ctl ]; then
    /usr/bin/tq36ctl ping "$work/tq36"
    /usr/bin/tq36ctl read "$work/tq36" -o "$work/read.json"
    grep -q '"serial": "36012345"' "$work/read.json" \
        || { echo "tq36ctl read gave no factory serial number:" >&2; cat "$work/read.json" >&2; exit 1; }
    echo "installed tq36ctl pings and reads the installed tq36-sim"
    # The report draws with Qt Gui's offscreen platform: no display needed.
    env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/tq36ctl report "$work/tq36" -o "$work/report.pdf" --lang en
    if command -v pdftotext >/dev/null; then
        pdftotext "$work/report.pdf" - | grep -q 36012345 \
            || { echo "the installed tq36ctl's report lacks the serial number" >&2; exit 1; }
    fi
    echo "installed tq36ctl reports the installed tq36-sim without a display"
fi

# The installed window starts (offscreen) and keeps running until stopped.
status=0
QT_QPA_PLATFORM=offscreen timeout 3 /usr/bin/lk58 >"$work/lk58.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || { echo "the installed lk58 ended by itself ($status):" >&2; cat "$work/lk58.log" >&2; exit 1; }
echo "installed lk58 starts"
echo "package checked: $deb"
