#!/usr/bin/env bash
# Installs what is needed, builds, and runs keldar on the demo carrier in
# demo/carrier, made on first use with two sample objects for this computer
# (their folders in demo/computer). --window opens the window on it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh >/dev/null
root=$PWD
bin=$root/${BUILD_DIR:-build}
carrier=$root/demo/carrier
if [ ! -d "$root/demo/computer" ]; then
  echo "Making the demo carrier in $carrier"
  mkdir -p "$carrier"
  (cd "$carrier" && "$bin/programs/keldar" --batch --name "$(hostname | cut -c1-15)" >/dev/null) || true
  "$bin/tools/democarrier/democarrier" "$carrier" "$root/demo/computer"
fi
cd "$carrier"
# Without arguments: compare the demo objects with their lists. Any other
# keldar options (--sync, --batch ...) may be given instead.
[ $# -gt 0 ] || set -- --compare
[ "$1" != --window ] || set --
exec "$bin/programs/keldar" "$@"
