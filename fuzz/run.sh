#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets with clang from their sources and runs them.
#   fuzz/run.sh replay                 replay every target's corpus once (-runs=0); exit status 0
#                                      when all are clean
#   fuzz/run.sh [SECONDS] [TARGET]     fuzz TARGET (expr, touchstone or levelfile; default expr) for SECONDS
#                                      (default 60) into a work corpus seeded from its corpus;
#                                      crash files land in $FUZZ_BUILD_DIR
# Targets: expr (fuzz/corpus, fuzz/expr.dict), touchstone (fuzz/corpus_touchstone,
# fuzz/touchstone.dict), levelfile (CSV and FRD files: fuzz/corpus_levelfile, fuzz/levelfile.dict).
# Environment: CXX (default clang++), FUZZ_BUILD_DIR (default /tmp/fuzz-expr-build).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
src="$here/../src"
out=${FUZZ_BUILD_DIR:-/tmp/fuzz-expr-build}
cxx=${CXX:-clang++}
mkdir -p "$out"
flags="-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -I$src"

build() {
    case "$1" in
    expr)
        # shellcheck disable=SC2086
        "$cxx" $flags "$here/fuzz_expr.cpp" "$src/expr/ComplexMath.cpp" \
            "$src/expr/ComplexParser.cpp" -o "$out/fuzz_expr" ;;
    touchstone)
        # shellcheck disable=SC2086
        "$cxx" $flags "$here/fuzz_touchstone.cpp" "$src/files/Touchstone.cpp" \
            "$src/files/TextNumbers.cpp" "$src/files/AtomicFile.cpp" \
            -o "$out/fuzz_touchstone" ;;
    levelfile)
        # shellcheck disable=SC2086
        "$cxx" $flags "$here/fuzz_levelfile.cpp" "$src/files/LevelFile.cpp" \
            "$src/files/LevelFileWriter.cpp" "$src/files/TextLineReader.cpp" \
            "$src/files/TraceFile.cpp" "$src/files/Touchstone.cpp" \
            "$src/files/TextNumbers.cpp" "$src/files/AtomicFile.cpp" \
            -o "$out/fuzz_levelfile" ;;
    *)
        echo "unknown fuzz target: $1" >&2
        exit 2 ;;
    esac
}

corpus_of() {
    if [ "$1" = expr ]; then echo "$here/corpus"; else echo "$here/corpus_$1"; fi
}

if [ "${1:-}" = replay ]; then
    for target in expr touchstone levelfile; do
        build "$target"
        "$out/fuzz_$target" -runs=0 "$(corpus_of "$target")"
    done
    exit 0
fi
seconds=${1:-60}
target=${2:-expr}
build "$target"
corpus=$(corpus_of "$target")
work="$out/corpus_$target"
[ "$target" = expr ] && work="$out/corpus"
mkdir -p "$work"
cp -n "$corpus"/* "$work/" 2>/dev/null || true
cd "$out"
maxlen=512
[ "$target" = touchstone ] && maxlen=4096
[ "$target" = levelfile ] && maxlen=4096
exec "$out/fuzz_$target" -max_total_time="$seconds" -max_len="$maxlen" \
    -dict="$here/$target.dict" -print_final_stats=1 "$work" "$corpus"
