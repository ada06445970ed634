#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the program into a temporary prefix and checks the installed copy: exactly our files
# (nothing of the tests), its run path, that the running program binds libmixtrel.so from its
# own library folder (the dynamic loader's own report), that it keeps its settings in a
# temporary per-user configuration folder and reads them back on the next start, and that the
# desktop entry and the AppStream metadata pass their validators.
# Usage: installed_program.sh BUILD_DIR PRIVATE_LIBDIR   (e.g. lib/x86_64-linux-gnu/phonoscale)
set -euo pipefail
build=$1
libdir=${2:-lib/phonoscale}
work=$(mktemp -d "${TMPDIR:-/tmp}/phonoscale-installed.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log"

icons=""
for size in 16 32 48 64 128 256; do
    icons+="share/icons/hicolor/${size}x${size}/apps/phonoscale.png"$'\n'
done
expected=$(sort <<EOT
bin/phonoscale
bin/phonoscale-measure
$libdir/libmixtrel.so
share/applications/org.phonoscale.Phonoscale.desktop
share/doc-base/phonoscale.phonoscale-guide
share/doc/phonoscale/changelog.gz
share/doc/phonoscale/copyright
share/doc/phonoscale/guide/index.html
share/doc/phonoscale/guide/measure.png
share/doc/phonoscale/guide/settings.png
share/doc/phonoscale/guide/spectrum.png
share/man/man1/phonoscale-measure.1.gz
share/man/man1/phonoscale.1.gz
share/icons/hicolor/scalable/apps/phonoscale.svg
share/metainfo/org.phonoscale.Phonoscale.metainfo.xml
${icons%$'\n'}
EOT
)
installed() { (cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort); }
if ! diff <(echo "$expected") <(installed) >"$work/files.diff"; then
    fail "installed files differ from the expected list (< expected, > installed):"
    cat "$work/files.diff"
fi

for size in 16 32 48 64 128 256; do
    file "$prefix/share/icons/hicolor/${size}x${size}/apps/phonoscale.png" |
        grep -q "PNG image data, $size x $size" || fail "the ${size}x$size icon is not $size x $size"
done

runpath=$(readelf -d "$prefix/bin/phonoscale" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
[ "$runpath" = "\$ORIGIN/../$libdir" ] || fail "run path of bin/phonoscale is '$runpath'"

# The program binds the level library only where a sound server can be reached; a server named
# by network address passes that test without one (the library itself then finds none).
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$work/config HOME=$work/home
export PULSE_SERVER=tcp:127.0.0.1:1
unset XDG_RUNTIME_DIR
mkdir -p "$HOME"
user=$XDG_CONFIG_HOME/phonoscale
run() {
    PHONOSCALE_SCREENSHOT=$work/window.png PHONOSCALE_RUN_SECONDS=1 \
        timeout 120 "$@" "$prefix/bin/phonoscale" >>"$work/run.log" 2>&1
}

if ! run env LD_DEBUG=libs LD_DEBUG_OUTPUT="$work/loader"; then
    fail "the installed program did not start and end cleanly"
    cat "$work/run.log"
fi
bound=$(cat "$work"/loader.* 2>/dev/null | sed -n 's/.*calling init: \(.*libmixtrel\.so\)$/\1/p' |
    head -n 1)
if [ -z "$bound" ]; then
    fail "the loader never initialised libmixtrel.so"
elif [ "$(realpath "$bound")" != "$(realpath "$prefix/$libdir/libmixtrel.so")" ]; then
    fail "libmixtrel.so was bound from $bound"
fi
# Found by name through the program's run path, not by a path the program made up.
grep -hA1 'find library=libmixtrel.so' "$work"/loader.* 2>/dev/null |
    grep -q "search path=.*/$libdir.*(RUNPATH from file .*phonoscale)" ||
    fail "libmixtrel.so was not looked up through the program's run path"
[ -s "$work/window.png" ] || fail "the installed program saved no picture of its window"

for f in Phonoscale.ini PhonoscalePrivate.ini; do
    [ -s "$user/$f" ] || fail "no $f in the per-user folder $user"
done
if ! diff <(echo "$expected") <(installed) >/dev/null; then
    fail "the program wrote into its installed folders:"
    diff <(echo "$expected") <(installed) || true
fi

# A value changed in the per-user file between two runs comes back: read at start, written on
# close.
if [ -s "$user/Phonoscale.ini" ]; then
    top() { awk -F= '$1 == "Top" { print $2 + 0 }' "$user/Phonoscale.ini"; }
    [ "$(top)" != -37 ] || fail "Top=-37 is already the default"
    sed -i 's/^Top=[^\r]*/Top=-37/' "$user/Phonoscale.ini"
    # Memory 1 is displayed by default: its trace file is read at start and written on close.
    printf '! written by hand\n# Hz S MA R 50\n1000 0.5 0\n2000 0.25 0\n' >"$user/mem1.s1p"
    before=$(stat -c %Y.%s "$user/Phonoscale.ini")
    sleep 1
    run || fail "the second start of the installed program failed"
    [ "$(stat -c %Y.%s "$user/Phonoscale.ini")" != "$before" ] || fail "the second run wrote nothing"
    [ "$(top)" = -37 ] || fail "the second run did not read the per-user settings back (Top=$(top))"
    grep -q '^! Data written by' "$user/mem1.s1p" ||
        fail "the memory trace in the per-user folder was not written back"
    awk '$1 + 0 == 2000 && $2 + 0 == 0.25 { found = 1 } END { exit !found }' "$user/mem1.s1p" ||
        fail "the memory trace lost its points"
    diff <(echo "$expected") <(installed) >/dev/null || fail "the second run wrote into its folders"
fi

"$prefix/bin/phonoscale-measure" --help >/dev/null || fail "installed phonoscale-measure fails"

if command -v desktop-file-validate >/dev/null && command -v appstreamcli >/dev/null; then
    desktop-file-validate "$prefix/share/applications/org.phonoscale.Phonoscale.desktop" ||
        fail "desktop-file-validate refuses the desktop entry"
    appstreamcli validate --no-net \
        "$prefix/share/metainfo/org.phonoscale.Phonoscale.metainfo.xml" >"$work/appstream.log" ||
        { fail "appstreamcli refuses the metadata"; cat "$work/appstream.log"; }
else
    fail "desktop-file-validate or appstreamcli missing (scripts/install-deps.sh installs them)"
fi
[ $status -eq 0 ] && echo "installed program: all checks passed"
exit $status
