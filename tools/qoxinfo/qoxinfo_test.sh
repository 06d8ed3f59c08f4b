#!/bin/bash
# qoxinfo_test.sh QOXINFO MSCOMPRESS: builds a self-expanding file (zeros for
# the stub, a record, an archive compressed by the independent mscompress)
# and checks what qoxinfo prints of it.
set -euo pipefail
qoxinfo=$1 mscompress=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16 & 65535)); }
# entry NAME TIME DATE SIZE DATA
entry() { printf '%s\0' "$1"; le16 "$2"; le16 "$3"; le32 "$4"; printf '%s' "$5"; }

{
  # 2021-07-15 13:45:30 and 1999-12-31 23:59:58
  entry SETUP.EXE $((13 << 11 | 45 << 5 | 15)) $((41 << 9 | 7 << 5 | 15)) 11 "hello world"
  entry 'DISK1\README.TXT' $((23 << 11 | 59 << 5 | 29)) $((19 << 9 | 12 << 5 | 31)) 0 ""
} > archive
"$mscompress" archive
head -c 32768 /dev/zero > sfx
printf 'setup.exe,auto,self\0' >> sfx
cat archive_ >> sfx

"$qoxinfo" sfx > got
cat > want <<'OUT'
run_program: "setup.exe"
chained_program: "auto"
stub_option: "self"
stream_offset: 32788
archive: 54 bytes expanded
  SETUP.EXE                    11  2021-07-15 13:45:30
  DISK1\README.TXT              0  1999-12-31 23:59:58
2 entries
OUT
diff -u want got

# A file with nothing after the stub is no self-expanding file.
head -c 32768 /dev/zero > bare
if "$qoxinfo" bare > /dev/null; then
  echo "qoxinfo accepted a bare stub" >&2
  exit 1
fi
echo "qoxinfo: ok"
