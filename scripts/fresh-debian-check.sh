#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Proves the README's two commands on a fresh Debian 12: makes a minimal bookworm root with
# debootstrap in a temporary folder, copies the tracked files in, and runs scripts/test.sh and
# scripts/run.sh there as root with a clean environment (run.sh takes its no-display path and
# must leave a non-empty screenshot). Prints the wall time of each step and removes the root
# whatever happens. Needs root.
#
# Exit status: 0 when both commands pass, or when the Debian archive cannot be reached (one line
# says so: the check is skipped); non-zero for any failure inside the root.
#
# Environment: FRESH_MIRROR overrides the mirror (default: the first bookworm mirror of this
# machine's apt sources); FRESH_SKIP_STATUS is the exit status of a skipped check (default 0;
# CI sets another one so that it can run the test command on this machine instead).
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
me=fresh-debian-check
skip_status=${FRESH_SKIP_STATUS:-0}

if [ "$(id -u)" -ne 0 ]; then
    echo "$me: must run as root (debootstrap, chroot and mounts)" >&2
    exit 1
fi

# The mirror this machine's apt uses for bookworm: deb822 "URIs:" stanzas whose "Suites:" name
# bookworm itself, or one-line "deb URI bookworm ..." entries.
apt_mirror() {
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk 'BEGIN { RS = ""; FS = "\n" }
             { uri = ""; ok = 0; deb = 0
               for (i = 1; i <= NF; i++) {
                   if ($i ~ /^URIs:/) { split($i, a, /[ \t]+/); uri = a[2] }
                   if ($i ~ /^Suites:/ && $i ~ /[ \t]bookworm([ \t]|$)/) ok = 1
                   if ($i ~ /^Types:/ && $i ~ /[ \t]deb([ \t]|$)/) deb = 1
               }
               if (uri != "" && ok && deb) { print uri; exit } }' "$f"
    done
    { cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } |
        awk '$1 == "deb" { i = 2; if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
                           if ($(i + 1) == "bookworm") print $i }'
}
mirror="${FRESH_MIRROR:-$(apt_mirror | head -n 1 || true)}"
mirror="${mirror:-http://deb.debian.org/debian}"
mirror="${mirror%/}"

now() { date +%s; }
t_start=$(now)

if ! command -v debootstrap >/dev/null 2>&1; then
    if ! { apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends debootstrap; } >/dev/null 2>&1; then
        echo "$me: skipped: cannot install debootstrap (Debian archive not reachable?)"
        exit "$skip_status"
    fi
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/$me.XXXXXX")
root="$work/root"
mkdir -p "$root"

# Processes still running inside the root (a sound server, a virtual display) are ended first,
# then every mount under the root is detached lazily, deepest first, and only then the folder is
# removed, never crossing into another file system.
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

# The archive must answer before a failed download can count as a fault.
if ! /usr/lib/apt/apt-helper download-file "$mirror/dists/bookworm/InRelease" \
    "$work/InRelease" >/dev/null 2>&1; then
    echo "$me: skipped: the Debian archive $mirror cannot be reached"
    exit "$skip_status"
fi

echo "$me: debootstrap bookworm from $mirror into $root"
t0=$(now)
if ! debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1; then
    if grep -qE "Couldn't download|Failed getting release|Temporary failure resolving" \
        "$work/debootstrap.log"; then
        echo "$me: skipped: debootstrap cannot download from $mirror"
        exit "$skip_status"
    fi
    tail -n 30 "$work/debootstrap.log" >&2
    echo "$me: debootstrap failed" >&2
    exit 1
fi
t_debootstrap=$(($(now) - t0))
echo "$me: debootstrap took ${t_debootstrap} s"

# Services that packages would start belong to the machine, not to this root.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

mkdir -p "$root/root/phonoscale"
git -C "$src" ls-files -z | (cd "$src" && tar --null -T - -cf -) | tar -xf - -C "$root/root/phonoscale"

mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount -t tmpfs -o mode=1777 shm "$root/dev/shm"
mount -t tmpfs -o mode=1777 tmp "$root/tmp"

# Runs a command inside the root in /root/phonoscale as root with a clean environment.
inside() {
    chroot "$root" /usr/bin/env -i \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root TERM="${TERM:-dumb}" CI="${CI:-true}" \
        /bin/bash -c 'cd /root/phonoscale && "$@"' _ "$@"
}

step() {
    local name=$1 t
    shift
    echo "$me: --- $name"
    t=$(now)
    # In the background and waited for, so that a signal ends the check (and cleans up) at once.
    inside "$@" &
    if ! wait $!; then
        echo "$me: $name failed inside the fresh root after $(($(now) - t)) s" >&2
        exit 1
    fi
    eval "t_${name//[^a-z]/_}=$(($(now) - t))"
    echo "$me: $name took $(($(now) - t)) s"
}

# The packages first (test.sh and run.sh both begin with this; then it finds nothing missing).
step install-deps scripts/install-deps.sh
step test.sh scripts/test.sh
step run.sh scripts/run.sh
if ! inside test -s build/phonoscale-spectrum.png; then
    echo "$me: run.sh left no screenshot (build/phonoscale-spectrum.png)" >&2
    exit 1
fi
inside ls -l build/phonoscale-spectrum.png

echo "$me: passed. Wall times: debootstrap ${t_debootstrap} s, apt ${t_install_deps} s," \
    "test.sh ${t_test_sh} s, run.sh ${t_run_sh} s, total $(($(now) - t_start)) s"
