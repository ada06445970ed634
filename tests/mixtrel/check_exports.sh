#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that a shared library exports exactly the nine level calls (nm -D --defined-only).
set -euo pipefail
expected="balanceChannels closeCodec getMixerFormat getMuteState getVolume getVolumeRange openCodec setMuteState setVolume"
actual="$(nm -D --defined-only "$1" | awk '{print $NF}' | sort | tr '\n' ' ' | sed 's/ $//')"
if [ "$actual" != "$expected" ]; then
  echo "exports of $1:"; echo "  got:      $actual"; echo "  expected: $expected"
  exit 1
fi
nm -D --defined-only "$1" | awk '$2 != "T" { bad = 1 } END { exit bad }' || {
  echo "every export must be a function"; exit 1; }
echo "exactly the nine exports"
