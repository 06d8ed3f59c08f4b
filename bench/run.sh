#!/bin/bash
# run.sh: the SZDD codec's benchmarks (`make bench`): lz/ beside libmspack,
# msexpand, mscompress and, where Wine is installed, Windows' LZ32, on the
# same synthetic setup archives, printed side by side. Figures, not tests.
# Environment: QOX_BUILD (host build tree, default out/host), RUNS (best of
# how many, default 5).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${QOX_BUILD:-$root/out/host}
runs=${RUNS:-5}
work=$root/out/bench
lzbench=$build/bench/lzbench
lzx=$build/bench/lzx
mkdir -p "$work"
for p in "$lzbench" "$lzx"; do
    [ -x "$p" ] || { echo "bench: $p is missing; run make build" >&2; exit 1; }
done
for p in msexpand mscompress; do
    command -v $p >/dev/null || { echo "bench: $p is missing (Debian: mscompress)" >&2; exit 1; }
done

# Best wall time in seconds of RUNS runs of a command.
best_of() {
    local n=$1; shift
    local best="" t0 t1 t
    for ((i = 0; i < n; i++)); do
        t0=$EPOCHREALTIME
        "$@"
        t1=$EPOCHREALTIME
        t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.5f", b - a }')
        if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best=$t
        fi
    done
    echo "$best"
}

field() { awk -v k="$1" '$1 == k { print $2 }'; }
mbs() {
    awk -v n="$1" -v s="$2" 'BEGIN { v = n / s / 1048576; printf(v < 10 ? "%.2f" : "%.0f", v) }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1fx", a / b }'; }
same() { cmp -s "$1" "$2" || { echo "bench: $3 does not reproduce the input" >&2; exit 1; }; }

# Wine, when present, runs Windows' LZ32 and a Windows build of lz/'s
# expander on the same files, in one program start (QOX_BENCH_WINE=0 skips
# it). Its prefix lives in out/bench/wineprefix.
wine_ok=""
if [ "${QOX_BENCH_WINE:-1}" != 0 ] && command -v wine >/dev/null &&
    command -v i686-w64-mingw32-g++ >/dev/null; then
    wine_ok=1
    mkdir -p "$work/wine"
    i686-w64-mingw32-g++ -std=c++17 -O2 -s -static -I"$root/lz" -o "$work/wine/lz32bench.exe" \
        "$root/bench/lz32bench.cpp" "$root/lz/expand.cpp" -llz32
    wine_note=""
    if grep -qs qemu-i386 /proc/sys/fs/binfmt_misc/* 2>/dev/null; then
        wine_note=" (32-bit code runs under qemu emulation on this host: both columns emulated)"
    fi
fi

inputs=("mix-3.4m 3398457 1" "mix-32m 33554432 2")
declare -A R
for input in "${inputs[@]}"; do
    read -r name size seed <<<"$input"
    in=$work/$name.bin
    echo "bench: $name: generating, compressing, expanding..." >&2
    "$lzbench" gen "$size" "$seed" "$in" >/dev/null
    len=$(stat -c %s "$in")
    R[$name.len]=$len

    # compression: lz/ in process, mscompress as a program
    out=$("$lzbench" compress "$in" "$work/$name.szdd" "$runs")
    R[$name.lz_ct]=$(field seconds <<<"$out")
    R[$name.lz_size]=$(field size <<<"$out")
    # mscompress and msexpand take a minute or two for 32 MiB: one run there
    msruns=$runs
    [ "$len" -lt 8000000 ] || msruns=1
    cp "$in" "$work/$name.ms"
    rm -f "$work/$name.ms_"
    R[$name.ms_ct]=$(best_of "$msruns" bash -c "rm -f '$work/$name.ms_'; mscompress '$work/$name.ms' >/dev/null")
    R[$name.ms_runs]=$msruns
    R[$name.ms_size]=$(stat -c %s "$work/$name.ms_")
    "$lzx" "$work/$name.ms_" "$work/$name.out" 1 >/dev/null
    same "$in" "$work/$name.out" "lz/ on mscompress's stream"

    # expansion, memory to memory: lz/ and libmspack (outputs compared inside)
    out=$("$lzbench" expand "$work/$name.szdd" "$runs")
    R[$name.lz_mem]=$(field lz_seconds <<<"$out")
    R[$name.mspack_mem]=$(field mspack_seconds <<<"$out")

    # expansion, file to file: lz/ and msexpand
    R[$name.lz_file]=$("$lzx" "$work/$name.szdd" "$work/$name.out" "$runs" | field seconds)
    same "$in" "$work/$name.out" "lz/"
    R[$name.msx_file]=$(best_of "$msruns" bash -c "msexpand < '$work/$name.szdd' > '$work/$name.out'")
    same "$in" "$work/$name.out" "msexpand"
done

if [ -n "$wine_ok" ]; then
    echo "bench: Windows' LZ32 under Wine (slow to start where 32-bit code is emulated)..." >&2
    names=()
    for input in "${inputs[@]}"; do
        read -r name _ <<<"$input"
        names+=("$name.szdd")
    done
    # Wine under emulation may crash on its way out after the work is done,
    # so the figures and the outputs decide, not the exit status.
    (cd "$work" && WINEPREFIX=$work/wineprefix WINEDEBUG=-all timeout 3600 \
        wine wine/lz32bench.exe "$runs" "${names[@]}" </dev/null) 2>&1 | tr -d '\r' >"$work/wine.log" || true
    for input in "${inputs[@]}"; do
        read -r name _ <<<"$input"
        R[$name.lz32]=$(awk -v f="$name.szdd" '$1 == f { print $3 }' "$work/wine.log")
        R[$name.lzw]=$(awk -v f="$name.szdd" '$1 == f { print $5 }' "$work/wine.log")
        if [ -z "${R[$name.lz32]}" ] || [ -z "${R[$name.lzw]}" ]; then
            echo "bench: the Wine run failed:" >&2
            cat "$work/wine.log" >&2
            wine_ok=""
            break
        fi
        same "$work/$name.bin" "$work/$name.szdd.lz32.out" "Wine's LZ32"
        same "$work/$name.bin" "$work/$name.szdd.lz.out" "lz/ under Wine"
    done
fi
rm -f "$work"/*.out "$work"/*.ms "$work"/*.ms_ "$work"/*.szdd.*.out

echo
echo "Expansion (MB/s of output, best of $runs, msexpand as for mscompress below; 1 MB = 2^20 bytes)"
printf "%-10s %10s | %8s %10s %7s | %9s %9s %7s\n" input bytes "lz/ mem" "libmspack" "ratio" \
    "lz/ file" "msexpand" "ratio"
for input in "${inputs[@]}"; do
    read -r name _ <<<"$input"
    len=${R[$name.len]}
    printf "%-10s %10s | %8s %10s %7s | %9s %9s %7s\n" "$name" "$len" \
        "$(mbs "$len" "${R[$name.lz_mem]}")" "$(mbs "$len" "${R[$name.mspack_mem]}")" \
        "$(ratio "${R[$name.mspack_mem]}" "${R[$name.lz_mem]}")" \
        "$(mbs "$len" "${R[$name.lz_file]}")" "$(mbs "$len" "${R[$name.msx_file]}")" \
        "$(ratio "${R[$name.msx_file]}" "${R[$name.lz_file]}")"
done
if [ -n "$wine_ok" ]; then
    echo
    echo "Expansion under Wine, file to file (MB/s)$wine_note"
    printf "%-10s %10s | %12s %12s %7s\n" input bytes "LZ32" "lz/ (win32)" "ratio"
    for input in "${inputs[@]}"; do
        read -r name _ <<<"$input"
        len=${R[$name.len]}
        printf "%-10s %10s | %12s %12s %7s\n" "$name" "$len" "$(mbs "$len" "${R[$name.lz32]}")" \
            "$(mbs "$len" "${R[$name.lzw]}")" "$(ratio "${R[$name.lz32]}" "${R[$name.lzw]}")"
    done
else
    echo "(Wine not installed, skipped or failed: Windows' LZ32 is not measured)"
fi

echo
echo "Compression (lz/ best of $runs; mscompress best of the runs shown)"
printf "%-10s %10s | %10s %10s %8s | %8s %12s %7s\n" input bytes "lz/ size" "mscompress" \
    "smaller" "lz/ s" "mscompress s" "faster"
for input in "${inputs[@]}"; do
    read -r name _ <<<"$input"
    printf "%-10s %10s | %10s %10s %7s%% | %8s %12s %7s\n" "$name" "${R[$name.len]}" \
        "${R[$name.lz_size]}" "${R[$name.ms_size]}" \
        "$(awk -v a="${R[$name.lz_size]}" -v b="${R[$name.ms_size]}" 'BEGIN { printf "%.2f", 100 * (1 - a / b) }')" \
        "${R[$name.lz_ct]}" "${R[$name.ms_ct]} (${R[$name.ms_runs]})" \
        "$(ratio "${R[$name.ms_ct]}" "${R[$name.lz_ct]}")"
done

# Whole installations: the stubs beside the self-extractors people use and cp -r.
"$root/bench/install/run.sh"
