#!/bin/sh
# setup.sh: the sample installer's setup program. The installer opens it in
# the folder it expanded the archive into; it shows what arrived there and
# installs nothing.
echo "sample setup: running in $(pwd)"
echo "sample setup: the archive brought these files:"
find . -type f ! -name '~un*' | sed 's|^\./|  |' | sort
echo "sample setup: readme.txt says:"
sed 's/^/  | /' readme.txt
echo "sample setup: nothing is installed; this is a demonstration. Done."
