#!/usr/bin/env bash
# Proves the Debian package on a minimal Debian 12: makes a debootstrap --variant=minbase root
# (kept in /var/tmp/cablemeter-bookworm-minbase, or the folder given, for the next run), installs
# dist/cablemeter_*.deb there with apt-get and runs the installed programs: the simulator serves
# the installed demo meter, cablemeter-cli's catalogue and export read it, and the window starts
# offscreen. Needs root and the Debian mirror; build the package first (scripts/package.sh).
#   scripts/check-package-debootstrap.sh [--no-install-recommends] [base folder]
# With --no-install-recommends only the package's Depends are installed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
apt_options=()
if [ "${1:-}" = --no-install-recommends ]; then
    apt_options+=(--no-install-recommends)
    shift
fi
base=${1:-/var/tmp/cablemeter-bookworm-minbase}
mirror=${CABLEMETER_DEBIAN_MIRROR:-http://deb.debian.org/debian}
[ "$(id -u)" -eq 0 ] || { echo "check-package-debootstrap.sh needs root (debootstrap, chroot)." >&2; exit 1; }
package=$(ls -t "$top"/dist/cablemeter_*.deb 2>/dev/null | head -n 1)
[ -n "$package" ] || { echo "No package in dist/: run scripts/package.sh first." >&2; exit 1; }
command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap

if [ ! -x "$base/usr/bin/apt-get" ]; then
    echo "Making a minimal Debian 12 in $base ..."
    debootstrap --variant=minbase bookworm "$base" "$mirror" >/tmp/cablemeter-debootstrap.log
fi
# Each run installs into a fresh copy, so the base stays minimal.
root=$(mktemp -d /var/tmp/cablemeter-check.XXXXXX)
cleanup() {
    umount "$root/dev/pts" "$root/proc" 2>/dev/null || true
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT
cp -a "$base/." "$root/"
mount -t proc proc "$root/proc"
# A private pseudo-terminal instance for the simulator, not the host's.
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
rm -f "$root/dev/ptmx" && ln -s pts/ptmx "$root/dev/ptmx"
cp "$package" "$root/tmp/"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

echo "== apt-get install ${apt_options[*]} ./$(basename "$package") on a minimal Debian 12"
before=$(chroot "$root" dpkg-query -W -f='${Package}\n' | wc -l)
chroot "$root" apt-get update -qq
chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${apt_options[@]}" "/tmp/$(basename "$package")" \
    >"$root/tmp/install.log" 2>&1 || { cat "$root/tmp/install.log" >&2; exit 1; }
after=$(chroot "$root" dpkg-query -W -f='${Package}\n' | wc -l)
echo "installed cablemeter and $((after - before - 1)) packages it needs"

echo "== the installed programs"
chroot "$root" /bin/bash -euo pipefail -c '
    cablemeter --version; cablemeter-cli --version; cablemeter-sim --version
    cablemeter-sim --image /usr/share/cablemeter/demo-meter.bin --pacing unpaced --link /tmp/meter \
        >/tmp/sim.out 2>/tmp/sim.log &
    sim=$!
    for _ in $(seq 50); do [ -s /tmp/sim.out ] && break; sleep 0.1; done
    cd /tmp
    cablemeter-cli catalogue --port /tmp/meter >/tmp/catalogue.txt 2>/dev/null
    echo "catalogue: $(wc -l </tmp/catalogue.txt) records listed, MeterDat.dat $(stat -c %s MeterDat.dat) bytes"
    cablemeter-cli export --port /tmp/meter --dir /tmp/exported >/dev/null 2>/tmp/export.log
    if grep -q ZNull.ovl /tmp/export.log; then cat /tmp/export.log; exit 1; fi
    echo "export: $(ls /tmp/exported/*.png | wc -l) pictures, $(ls /tmp/exported/*.csv | wc -l) tables"
    # The window: started offscreen, it must still be running after two seconds.
    QT_QPA_PLATFORM=offscreen CABLEMETER_COM1=/tmp/meter cablemeter 2>/tmp/window.log &
    window=$!
    sleep 2
    if kill -0 "$window"; then echo "window: running offscreen"; kill "$window"; else cat /tmp/window.log; exit 1; fi
    kill "$sim"
'
echo "== the package on a minimal Debian 12: all checks passed"
