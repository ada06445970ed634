#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The licence is stated alike everywhere: COPYING is the GPL version 3, every source file
# carries the SPDX line at its top (after a "#!" line), and the AppStream metadata and the Debian
# copyright file name GPL-3.0-or-later.
# Usage: licence_lines.sh SOURCE_DIR
set -euo pipefail
cd "$1"
status=0
fail() {
    echo "FAIL: $*"
    status=1
}
grep -q "GNU GENERAL PUBLIC LICENSE" COPYING && grep -q "Version 3, 29 June 2007" COPYING ||
    fail "COPYING is not the GPL version 3"
while read -r f; do
    case $f in
    tests/data/* | fuzz/corpus*) continue ;;
    *.cpp | *.h | *.inc) line='// SPDX-License-Identifier: GPL-3.0-or-later' ;;
    *CMakeLists.txt | *.cmake | *.sh | .ci/run) line='# SPDX-License-Identifier: GPL-3.0-or-later' ;;
    *) continue ;;
    esac
    [ -f "$f" ] || continue
    head -n 2 "$f" | grep -qxF "$line" || fail "$f lacks the line '$line' at its top"
done < <(find CMakeLists.txt .ci src tests bench fuzz scripts cmake -type f 2>/dev/null)
grep -q "<project_license>GPL-3.0-or-later</project_license>" \
    src/app/desktop/org.phonoscale.Phonoscale.metainfo.xml.in || fail "AppStream licence"
grep -q "^License: GPL-3.0+" src/app/debian/copyright || fail "Debian copyright licence"
[ $status -eq 0 ] && echo "licence lines: all checks passed"
exit $status
