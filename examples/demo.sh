#!/bin/bash
# demo.sh: the main job, end to end. Builds a sample installer from
# examples/sample with qoxpack, lists and verifies it, then runs it in this
# terminal in automatic mode: expansion, the setup program, the wait and the
# clean-up.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=out/bin
demo=out/demo
rm -rf "$demo"
mkdir -p "$demo"

echo "== qoxpack create: a POSIX installer around $bin/qox"
"$bin/qoxpack" create -o "$demo/sample-setup.run" --stub "$bin/qox" \
    --run setup.sh --auto examples/sample
echo
echo "== qoxpack list"
"$bin/qoxpack" list "$demo/sample-setup.run"
echo
echo "== qoxpack verify"
"$bin/qoxpack" verify "$demo/sample-setup.run"

# The Windows installer: the same sample, with a small Windows setup program
# (the one the Wine tests build) in place of setup.sh. It stands in a folder
# of its own, so that its target folder is its own too.
windemo=$demo/win32
winsetup=out/win32/tests/e2e-wine/setup.exe
if [ -f "$bin/qox32.exe" ] && [ -f "$winsetup" ]; then
    echo
    echo "== qoxpack create: the installer for Windows around $bin/qox32.exe"
    mkdir -p "$windemo"
    cp -r examples/sample "$windemo/payload"
    rm -f "$windemo/payload/setup.sh"
    cp "$winsetup" "$windemo/payload/SETUP.EXE"
    "$bin/qoxpack" create -o "$windemo/sample-setup.exe" --stub "$bin/qox32.exe" \
        --run setup.exe --auto "$windemo/payload"
    "$bin/qoxpack" verify "$windemo/sample-setup.exe"
fi

echo
echo "== running $demo/sample-setup.run"
if [ -t 0 ]; then
    "$demo/sample-setup.run"
else
    # Without a terminal, hold the installer's input open (its end would be
    # the close box) until it has finished.
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    sleep 3600 > "$fifo" &
    keeper=$!
    "$demo/sample-setup.run" < "$fifo" || true
    kill "$keeper" 2>/dev/null || true
    rm -f "$fifo"
fi
echo
# The installer removes every file it expanded; folders that entries created
# (examples/sample has data/images) stay, and with them the target folder.
left=$(find "$demo/~tempAA.AAA" -type f 2>/dev/null || true)
if [ -n "$left" ]; then
    echo "demo: files were left in the target folder:" >&2
    echo "$left" >&2
    exit 1
fi
if [ -e "$demo/~tempAA.AAA" ]; then
    echo "demo: installed, setup ran, and every expanded file is gone (the folders"
    echo "      that entries created stay, empty, in $demo/~tempAA.AAA)."
else
    echo "demo: installed, setup ran, and the temporary folder is gone."
fi

# The Windows installer under Wine, in automatic mode, when Wine can run
# here: on this display, or in a headless X server when there is none.
wine=tests/e2e-wine/wine.sh
if [ -f "$windemo/sample-setup.exe" ] && "$wine" check 2>/dev/null; then
    echo
    echo "== running $windemo/sample-setup.exe under Wine"
    export QOXLOG="Z:$(cd "$windemo" && pwd | tr / '\\')\\setup.log"
    x=()
    if [ -z "${DISPLAY:-}" ]; then
        x=(xvfb-run -a -s "-screen 0 800x600x24")
    fi
    timeout 600 "${x[@]}" "$wine" run wine explorer /desktop=qoxdemo,800x600 \
        "$windemo/sample-setup.exe" || true
    echo "setup.exe's log:"
    sed 's/^/  /' "$windemo/setup.log" 2>/dev/null || true
    if ! grep -q 'SETUP.EXE end' "$windemo/setup.log" 2>/dev/null; then
        echo "demo: the Windows setup program did not run" >&2
        exit 1
    fi
    left=$(find "$windemo/~tempAA.AAA" -type f 2>/dev/null || true)
    if [ -n "$left" ]; then
        echo "demo: files were left in the Windows target folder:" >&2
        echo "$left" >&2
        exit 1
    fi
    echo "demo: under Wine too: installed, setup.exe ran, and every expanded file is gone."
elif [ -f "$windemo/sample-setup.exe" ]; then
    echo
    echo "demo: Wine cannot run here (make wine-deps installs it): $windemo/sample-setup.exe was not run."
fi
