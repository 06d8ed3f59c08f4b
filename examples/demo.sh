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

if [ -f "$bin/qox32.exe" ]; then
    echo
    echo "== qoxpack create: the same installer for Windows around $bin/qox32.exe"
    "$bin/qoxpack" create -o "$demo/sample-setup.exe" --run setup.sh --auto examples/sample
    "$bin/qoxpack" verify "$demo/sample-setup.exe"
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
