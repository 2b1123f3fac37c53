#!/usr/bin/env bash
# Builds the program and starts it from its own folder (build/default/bin).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake --preset default -S "$root" >/dev/null
cmake --build "$root/build/default" --target fatura_program -j"$(nproc)"
cd "$root/build/default/bin"
exec ./fatura "$@"
