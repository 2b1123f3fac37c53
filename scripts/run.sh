#!/usr/bin/env bash
# Builds the program and starts it from its own folder (build/default/bin).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake --preset default -S "$root" >/dev/null
cmake --build "$root/build/default" --target fatura_program empty_archive -j"$(nproc)"
cd "$root/build/default/bin"
exec ./fatura "$@"
