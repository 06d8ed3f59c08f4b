#!/bin/bash
# run.sh: the installation benchmark (called at the end of bench/run.sh): the
# POSIX stub, makeself, 7-Zip's self-extractor, unzip and cp -r installing the
# same payloads, and the Windows stub under Wine; a table, and the figures in
# out/bench/results.json. Figures, not tests.
# Environment: QOX_BUILD (host tree, default out/host), RUNS (best of how
# many, default 3; the 200 MiB payload runs once), QOX_BENCH_WINE=0 skips
# Wine, QOX_BENCH_SIZES (name:bytes:seed,... default the three mixes),
# QOX_BENCH_BEFORE (another POSIX stub, measured beside out/bin/qox),
# QOX_BENCH_WINE_ONLY=1 (measure Wine again, keep the last POSIX figures).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${QOX_BUILD:-$root/out/host}
work=$root/out/bench/install
mkdir -p "$work"
for p in "$build/bench/lzbench" "$root/out/bin/qox" "$root/out/bin/qoxpack"; do
    [ -x "$p" ] || { echo "bench: $p is missing; run make build" >&2; exit 1; }
done
# The peers are needed by this benchmark alone, not by the build or tests.
"$root/cmake/deps.sh" makeself p7zip-full zip unzip xz-utils gzip g++-mingw-w64-i686-win32

# The Windows setup program that ends at once; both stubs' payloads carry it.
i686-w64-mingw32-gcc -O2 -s -nostdlib -mwindows -Wl,-e,_quick_entry -Wl,--no-insert-timestamp \
    -o "$work/quick.exe" "$root/bench/install/quick.c" -lkernel32

cc -O2 -static -o "$work/peak" "$root/bench/install/peak.c" 2>/dev/null ||
    cc -O2 -o "$work/peak" "$root/bench/install/peak.c"

args=(--work "$work" --lzbench "$build/bench/lzbench" --qoxpack "$root/out/bin/qoxpack"
      --stub "$root/out/bin/qox" --quick "$work/quick.exe" --peak "$work/peak" --runs "${RUNS:-3}"
      --json "$root/out/bench/results.json")
[ -z "${QOX_BENCH_SIZES:-}" ] || args+=(--sizes "$QOX_BENCH_SIZES")
# Wine again, keeping the POSIX figures of the last run.
[ "${QOX_BENCH_WINE_ONLY:-0}" = 0 ] || args+=(--wine-only)
# Another build of the POSIX stub measured beside it, for before and after.
[ -z "${QOX_BENCH_BEFORE:-}" ] || args+=(--stub-before "$QOX_BENCH_BEFORE")
wine_sh=$root/tests/e2e-wine/wine.sh
if [ "${QOX_BENCH_WINE:-1}" != 0 ] && [ -f "$root/out/bin/qox32.exe" ] &&
    sh "$wine_sh" check 2>/dev/null; then
    # A prefix of its own: the tests' wineserver is never disturbed.
    export QOX_WINEPREFIX=$work/wineprefix
    args+=(--stub32 "$root/out/bin/qox32.exe" --wine "sh $wine_sh run")
fi
exec python3 "$root/bench/install/bench.py" posix "${args[@]}"
