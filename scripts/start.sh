#!/usr/bin/env bash
# Builds QuoteDesk, installs it into ~/QuoteDesk (or $QUOTEDESK_HOME) and starts it.
# The data files there are created once and kept by every later build and install.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
prefix="${QUOTEDESK_HOME:-$HOME/QuoteDesk}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build build --target quotedesk quotedesk_mkdata
cmake --install build >/dev/null
exec "$prefix/quotedesk"
