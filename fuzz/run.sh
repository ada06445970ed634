#!/bin/sh
# Builds the expression fuzz target with clang from the src/expr sources and runs it.
#   fuzz/run.sh replay        replay fuzz/corpus once (-runs=0); exit status 0 when clean
#   fuzz/run.sh [SECONDS]     fuzz for SECONDS (default 60) into a work corpus seeded from
#                             fuzz/corpus; crash files land in $FUZZ_BUILD_DIR
# Environment: CXX (default clang++), FUZZ_BUILD_DIR (default /tmp/fuzz-expr-build).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
src="$here/../src"
out=${FUZZ_BUILD_DIR:-/tmp/fuzz-expr-build}
cxx=${CXX:-clang++}
mkdir -p "$out"
"$cxx" -std=c++20 -O1 -g -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$src" "$here/fuzz_expr.cpp" "$src/expr/ComplexMath.cpp" "$src/expr/ComplexParser.cpp" \
    -o "$out/fuzz_expr"

if [ "${1:-}" = replay ]; then
    exec "$out/fuzz_expr" -runs=0 "$here/corpus"
fi
seconds=${1:-60}
mkdir -p "$out/corpus"
cp -n "$here"/corpus/* "$out/corpus/" 2>/dev/null || true
cd "$out"
exec "$out/fuzz_expr" -max_total_time="$seconds" -max_len=512 -dict="$here/expr.dict" \
    -print_final_stats=1 "$out/corpus" "$here/corpus"
