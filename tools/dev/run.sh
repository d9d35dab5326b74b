#!/usr/bin/env bash
# Builds the project and runs its most complete program. Until the launcher exists that is
# markupdump: it prints the element tree of a skin file (default: the bundled sample skin).
set -euo pipefail
cd "$(dirname "$0")/../.."
tools/dev/deps.sh

cmake -S . -B build -G Ninja -DUMBRA_WERROR=ON >/dev/null
cmake --build build --target markupdump -j "$(nproc)"
exec build/tools/markupdump/markupdump "${1:-tools/markupdump/sample/MainFrame.xml}"
