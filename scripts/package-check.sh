#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Proves the Debian package on a fresh Debian 12: builds it from a build tree with cpack (or takes
# the .deb given), makes a minimal bookworm root with debootstrap in a temporary folder, installs
# the package there with apt (which must fetch every dependency by itself; with the
# recommended ALSA plugins, whose devices the program needs to start: with no sound device it
# says "No sound card found!" and ends), starts the installed program under Qt's
# offscreen platform until it saves a picture of its window and closes, and checks that its
# settings went to the per-user folder (~/.config/phonoscale) and that phonoscale-measure runs.
# Removes the root whatever happens. Needs root and the Debian archive. Not part of CI (a second
# root would double the fresh check's time); run it by hand after changing what is installed.
#
# Usage: scripts/package-check.sh [BUILD_DIR | PACKAGE.deb]   (default build/release)
# Environment: FRESH_MIRROR overrides the mirror (default: this machine's bookworm mirror).
set -euo pipefail
cd "$(dirname "$0")/.."
me=package-check

if [ "$(id -u)" -ne 0 ]; then
    echo "$me: must run as root (debootstrap, chroot and mounts)" >&2
    exit 1
fi
arg=${1:-build/release}

mirror=${FRESH_MIRROR:-$(apt-get indextargets --format '$(REPO_URI)' 'Release: bookworm' \
    'Target-Of: deb' 2>/dev/null | head -n 1 || true)}
mirror=${mirror:-http://deb.debian.org/debian}
mirror=${mirror%/}

work=$(mktemp -d "${TMPDIR:-/tmp}/$me.XXXXXX")
root=$work/root
mkdir -p "$root"
cleanup() {
    local status=$? pid m left
    set +e
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
        [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$root" ] && kill -9 "$pid" 2>/dev/null
    done
    for m in $(awk -v r="$root" '$5 == r || index($5, r "/") == 1 { print $5 }' \
        /proc/self/mountinfo | sort -r); do
        umount -l "$m" 2>/dev/null
    done
    left=$(awk -v r="$root" '$5 == r || index($5, r "/") == 1' /proc/self/mountinfo)
    if [ -n "$left" ]; then
        echo "$me: mounts left under $root, not removing it:" >&2
        echo "$left" >&2
        [ "$status" -eq 0 ] && status=1
    else
        rm -rf --one-file-system "$work"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

if [ -f "$arg" ]; then
    deb=$arg
else
    echo "$me: cpack -G DEB in $arg"
    cpack -G DEB --config "$arg/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log" >&2; echo "$me: cpack failed" >&2; exit 1; }
    deb=$(ls "$work"/out/phonoscale_*.deb)
fi
echo "$me: package $(basename "$deb")"

if ! /usr/lib/apt/apt-helper download-file "$mirror/dists/bookworm/InRelease" \
    "$work/InRelease" >/dev/null 2>&1; then
    echo "$me: the Debian archive $mirror cannot be reached" >&2
    exit 1
fi
t0=$(date +%s)
echo "$me: debootstrap bookworm from $mirror"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 30 "$work/debootstrap.log" >&2; echo "$me: debootstrap failed" >&2; exit 1; }
echo "$me: debootstrap took $(($(date +%s) - t0)) s"

printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
cp "$deb" "$root/root/"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --bind /dev "$root/dev"
mount -t tmpfs -o mode=1777 tmp "$root/tmp"

inside() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        DEBIAN_FRONTEND=noninteractive /bin/bash -c 'cd /root && "$@"' _ "$@"
}

t0=$(date +%s)
inside apt-get update -qq
inside apt-get install -y -qq "./$(basename "$deb")" >"$work/apt.log" 2>&1 ||
    { tail -n 30 "$work/apt.log" >&2; echo "$me: apt install failed" >&2; exit 1; }
echo "$me: apt install took $(($(date +%s) - t0)) s, $(inside dpkg-query -W | wc -l) packages"

library=$(inside dpkg -L phonoscale | grep '/libmixtrel\.so$')
for f in /usr/bin/phonoscale /usr/bin/phonoscale-measure "$library"; do
    if inside ldd "$f" | grep "not found"; then
        echo "$me: $f lacks libraries" >&2
        exit 1
    fi
done
inside phonoscale-measure --help >/dev/null || { echo "$me: phonoscale-measure failed" >&2; exit 1; }
inside env QT_QPA_PLATFORM=offscreen PHONOSCALE_SCREENSHOT=/tmp/window.png \
    PHONOSCALE_RUN_SECONDS=2 timeout 120 phonoscale ||
    { echo "$me: the installed program failed" >&2; exit 1; }
inside test -s /tmp/window.png || { echo "$me: no picture of the window" >&2; exit 1; }
inside ls -l /root/.config/phonoscale/Phonoscale.ini /root/.config/phonoscale/PhonoscalePrivate.ini ||
    { echo "$me: no settings in /root/.config/phonoscale" >&2; exit 1; }
if inside ls /usr/bin | grep -E '\.ini$|\.s1p$'; then
    echo "$me: the program wrote into /usr/bin" >&2
    exit 1
fi
# Removal leaves none of the package's files behind.
inside dpkg-query -L phonoscale >"$work/files"
inside apt-get remove -y -qq phonoscale >"$work/remove.log" 2>&1 ||
    { tail -n 30 "$work/remove.log" >&2; echo "$me: apt remove failed" >&2; exit 1; }
left=$(while read -r f; do
    [ -e "$root$f" ] && [ ! -d "$root$f" ] && echo "$f"
done <"$work/files" || true)
if [ -n "$left" ]; then
    echo "$me: apt remove left files behind:" >&2
    echo "$left" >&2
    exit 1
fi
echo "$me: apt remove left nothing behind"
echo "$me: passed"
