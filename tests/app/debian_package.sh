#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of a build tree with cpack and checks it with dpkg-deb: its name and
# fields, dependencies found by dpkg-shlibdeps for the libraries the binaries link, exactly our
# files under /usr, the run path of the packaged program, manual pages that man renders, and
# lintian (-I -E --pedantic): any error or warning fails.
# Usage: debian_package.sh BUILD_DIR PRIVATE_LIBDIR   (PRIVATE_LIBDIR e.g. lib/x86_64-linux-gnu/phonoscale)
set -euo pipefail
build=$1
libdir=${2:-lib/phonoscale}
work=$(mktemp -d "${TMPDIR:-/tmp}/phonoscale-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
fail() {
    echo "FAIL: $*"
    status=1
}
for tool in cpack dpkg-deb dpkg-shlibdeps lintian man; do
    command -v $tool >/dev/null || { echo "FAIL: $tool missing (scripts/install-deps.sh)"; exit 1; }
done

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack -G DEB failed"
    exit 1
fi
debs=("$work"/out/phonoscale_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: no single package: ${debs[*]}"; exit 1; }
deb=${debs[0]}
version=$(sed -n 's/^project(Phonoscale VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
[ "$(basename "$deb")" = "phonoscale_${version}_$(dpkg --print-architecture).deb" ] ||
    fail "package file named $(basename "$deb")"

dpkg-deb --info "$deb" >"$work/info"
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = phonoscale ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = sound ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
depends=$(field Depends)
names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//')
# Each library the binaries link, and what Qt loads at run time, must be named.
for package in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 libasound2 libpulse0 \
    libsndfile1 qt6-qpa-plugins; do
    grep -qxF "$package" <<<"$names" || fail "Depends lacks $package: $depends"
done

dpkg-deb --contents "$deb" >"$work/contents"
listed=$(awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' "$work/contents" | sort)
icons=""
for size in 16 32 48 64 128 256; do
    icons+="usr/share/icons/hicolor/${size}x${size}/apps/phonoscale.png"$'\n'
done
expected=$(sort <<EOT
usr/bin/phonoscale
usr/bin/phonoscale-measure
usr/$libdir/libmixtrel.so
usr/share/applications/org.phonoscale.Phonoscale.desktop
usr/share/doc-base/phonoscale.phonoscale-guide
usr/share/doc/phonoscale/changelog.gz
usr/share/doc/phonoscale/copyright
usr/share/doc/phonoscale/guide/index.html
usr/share/doc/phonoscale/guide/measure.png
usr/share/doc/phonoscale/guide/settings.png
usr/share/doc/phonoscale/guide/spectrum.png
usr/share/man/man1/phonoscale-measure.1.gz
usr/share/man/man1/phonoscale.1.gz
usr/share/icons/hicolor/scalable/apps/phonoscale.svg
usr/share/metainfo/org.phonoscale.Phonoscale.metainfo.xml
${icons%$'\n'}
EOT
)
diff <(echo "$expected") <(echo "$listed") || fail "package files differ (< expected, > packaged)"
awk '$1 !~ /^d/ && $2 != "root/root" { bad = 1 } END { exit bad }' "$work/contents" ||
    fail "files not owned by root/root"

dpkg-deb -x "$deb" "$work/root"
runpath=$(readelf -d "$work/root/usr/bin/phonoscale" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
[ "$runpath" = "\$ORIGIN/../$libdir" ] || fail "packaged run path is '$runpath'"
file "$work/root/usr/bin/phonoscale" | grep -q ", stripped" || fail "the packaged program is not stripped"

for page in phonoscale phonoscale-measure; do
    MANWIDTH=100 man -l "$work/root/usr/share/man/man1/$page.1.gz" >"$work/$page.txt" 2>&1 ||
        fail "man -l $page.1.gz failed"
    for section in "EXIT STATUS" FILES; do
        grep -q "^$section" "$work/$page.txt" || fail "$page(1) has no $section section"
    done
done
grep -q -- "--engine=jack" "$work/phonoscale.txt" || fail "phonoscale(1) lacks --engine"
grep -q -- "--rate R" "$work/phonoscale-measure.txt" || fail "phonoscale-measure(1) lacks --rate"

# lintian prints errors (E:), warnings (W:), info (I:), pedantic notes (P:); E and W fail.
lintian -I -E --pedantic --fail-on error,warning "$deb" >"$work/lintian" 2>&1 ||
    fail "lintian reports errors or warnings"
echo "lintian -I -E --pedantic: $(grep -c . "$work/lintian" || true) lines"
cat "$work/lintian"

if [ $status -eq 0 ]; then
    cat "$work/info"
    echo "Debian package: all checks passed"
fi
exit $status
