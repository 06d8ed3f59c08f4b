#!/bin/sh
# wine.sh: the Wine environment of the tests and the demo: a prefix of its
# own under out/ (created on first use), no debug output, and, on a kernel
# that cannot run 32-bit x86 Linux programs itself (Wine's 32-bit side is
# one), those programs run through qemu in a private binfmt_misc of a user
# namespace, so nothing changes for the rest of the machine.
#
# Usage: wine.sh deps       install what is missing (Debian packages)
#        wine.sh check      exit 0 when Wine can run here, 77 when it cannot
#        wine.sh run CMD..  run CMD in the environment (77 when Wine cannot run)
#        wine.sh start      make the prefix; start one wineserver for a test run
#        wine.sh stop       end that wineserver and every Wine program left
# Environment: QOX_WINEPREFIX (default: out/wine beside this checkout).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
self="$here/$(basename "$0")"
export WINEPREFIX="${QOX_WINEPREFIX:-$root/out/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64

sudo=""
[ "$(id -u)" = 0 ] || sudo="sudo"

# Runs a 32-bit x86 program in a fresh, empty binfmt_misc: succeeds only
# when the kernel runs such programs itself.
native_i386() {
    [ -x /lib/ld-linux.so.2 ] || return 1
    if unshare --user --map-root-user --mount true 2>/dev/null; then
        unshare --user --map-root-user --mount sh -c \
            'mount -t binfmt_misc none /proc/sys/fs/binfmt_misc 2>/dev/null; /lib/ld-linux.so.2 --version' \
            >/dev/null 2>&1
    else
        /lib/ld-linux.so.2 --version >/dev/null 2>&1
    fi
}

# qemu before 8 keeps its guest memory map page by page: Wine then needs
# minutes for every process. A later one is taken from the release's
# backports when the release itself has none.
qemu_ok() {
    command -v qemu-i386 >/dev/null 2>&1 || return 1
    v=$(qemu-i386 --version | sed -n 's/.*version \([0-9]*\).*/\1/p;q')
    [ "${v:-0}" -ge 8 ]
}

install_qemu() {
    qemu_ok && return 0
    cand=$(apt-cache policy qemu-user 2>/dev/null | sed -n 's/ *Candidate: [0-9]*:\{0,1\}\([0-9]*\).*/\1/p')
    if [ "${cand:-0}" -ge 8 ] 2>/dev/null; then
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends qemu-user
        return
    fi
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    list=/etc/apt/sources.list.d/qox-backports.list
    if [ ! -f "$list" ]; then
        # The backports suite of the archive the machine already uses.
        uri=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
        [ -n "$uri" ] || uri=$(sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) .*/\2/p' /etc/apt/sources.list 2>/dev/null | head -n 1)
        echo "deb $uri $codename-backports main" | $sudo tee "$list" >/dev/null
        $sudo apt-get update -qq
    fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        -t "$codename-backports" qemu-user
}

deps() {
    "$root/cmake/deps.sh" $(sed -n 's/^WINE_PACKAGES := //p' "$root/Makefile")
    native_i386 || install_qemu
}

usable() {
    command -v wine >/dev/null 2>&1 && command -v Xvfb >/dev/null 2>&1 &&
        command -v xdotool >/dev/null 2>&1 && command -v import >/dev/null 2>&1 || return 1
    native_i386 || qemu_ok
}

# The prefix is made once, under a lock, with the installers for .NET and
# HTML support turned off (they would wait for a download).
prefix() {
    [ -f "$WINEPREFIX/.qox-ready" ] && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.qox-ready" ]; then
            rm -rf "$WINEPREFIX"
            WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot -i >/dev/null 2>&1 || true
            wineserver -w
            [ -f "$WINEPREFIX/system.reg" ] || { echo "wine.sh: wineboot made no prefix" >&2; exit 1; }
            touch "$WINEPREFIX/.qox-ready"
        fi
    ) 9>"$WINEPREFIX.lock"
}

run() {
    prefix
    exec "$@"
}

check() {
    usable || { echo "wine.sh: Wine cannot run here" >&2; exit 77; }
}

case "${1:-}" in
deps) deps ;;
check) check ;;
start)
    check
    # The server and the services it starts outlive this command: they must
    # not hold its output open (a test runner waits for that to close).
    "$self" run sh -c 'wineserver -k 2>/dev/null; wineserver -p; wine cmd /c exit 0' \
        </dev/null >/dev/null 2>&1
    ;;
stop)
    check
    WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true
    ;;
run)
    shift
    check
    if native_i386; then
        run "$@"
    fi
    qemu=$(command -v qemu-i386)
    # In a user namespace of our own, binfmt_misc starts empty: register
    # qemu for 32-bit x86 programs there ("F": the interpreter is opened now).
    exec unshare --user --map-root-user --mount sh -c '
        mount -t binfmt_misc none /proc/sys/fs/binfmt_misc || exit 90
        printf ":qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:%s:OCF" "$1" \
            > /proc/sys/fs/binfmt_misc/register || exit 91
        shift
        exec "$0" run-inner "$@"' "$self" "$qemu" "$@"
    ;;
run-inner) shift; run "$@" ;;
*) sed -n '9,14p' "$self" >&2; exit 2 ;;
esac
