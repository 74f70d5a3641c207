#!/usr/bin/env bash
# Checks an installed Tagquill under PREFIX (default /usr): the commands on the
# PATH are links that still find the reader libraries beside the real programs,
# a notice goes onto a virtual card and comes back, and the man pages are there.
# Usage: scripts/check-installed.sh [PREFIX]
set -euo pipefail
prefix=${1:-/usr}
bin=$prefix/bin

state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
export TAGQUILL_VREADER_DIR=$state/vreader

for command in tagquill tagquill-notice tagquill-vreader; do
  [ -L "$bin/$command" ] || { echo "check-installed: $bin/$command is not a link" >&2; exit 1; }
  [ -f "$prefix/share/man/man1/$command.1.gz" ] || { echo "check-installed: no man page for $command" >&2; exit 1; }
done

"$bin/tagquill-vreader" init >/dev/null
"$bin/tagquill-vreader" new-card 1k --reader COM1 --uid 0A:0B:0C:0D >/dev/null
printf 'Installed\nand working\n' | "$bin/tagquill-notice" write --reader COM1
read_back=$("$bin/tagquill-notice" read --reader COM1)
if [ "$read_back" != $'Installed\nand working' ]; then
  echo "check-installed: read back '$read_back'" >&2
  exit 1
fi
"$bin/tagquill-notice" info --reader COM1 --json
echo "check-installed: $prefix works"
