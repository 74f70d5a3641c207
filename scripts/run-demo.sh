#!/usr/bin/env bash
# Installs what is missing, builds the release program, makes sure the virtual
# readers exist with a blank 1K demo card in COM1's field, and starts Tagquill.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run

cmake --preset release
cmake --build --preset release -j "$(nproc)"

bin="$PWD/build/release/bin"
vreader="$bin/tagquill-vreader"
state="${TAGQUILL_VREADER_DIR:-${XDG_STATE_HOME:-$HOME/.local/state}/tagquill/vreader}"

# Readers that exist keep their cards; only what is missing is created.
"$vreader" init >/dev/null
has_card=no
for image in "$state"/COM1/*.mfd "$state"/COM1/*.bin "$state"/COM1/*.dump; do
  [ -f "$image" ] && has_card=yes
done
if [ "$has_card" = no ]; then
  "$vreader" new-card 1k --reader COM1 --name demo.mfd
fi
echo "Virtual readers and cards (state folder $state):"
"$vreader" list

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat <<MSG

Tagquill is built, but this session has no display to show its window on.
Run it under a virtual X server instead, for example:

    xvfb-run -a -s '-screen 0 1280x800x24' $bin/tagquill

or start the whole demo that way:  xvfb-run -a scripts/run-demo.sh
MSG
  exit 0
fi

echo "Starting $bin/tagquill"
exec "$bin/tagquill"
