#!/bin/sh
# deps.sh: installs the Debian packages the build and the tests need, when
# they are missing. Runs apt-get update once, only when something is missing.
# Usage: deps.sh PACKAGE...
set -e
missing=""
for p in "$@"; do
    case "$p" in *:i386) need_i386=1 ;; esac
    st=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$st" = "install ok installed" ] || missing="$missing $p"
done
[ -n "$missing" ] || exit 0
echo "deps: installing$missing"
sudo=""
[ "$(id -u)" = 0 ] || sudo="sudo"
if [ -n "${need_i386:-}" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
