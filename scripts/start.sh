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

# A menu entry with its own icon, so QuoteDesk appears in the desktop's menu and task bar.
apps="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
mkdir -p "$apps"
cat > "$apps/quotedesk.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=QuoteDesk
Name[ja]=QuoteDesk 見積書
Comment=Write, store and print estimates
Comment[ja]=見積書の作成・保存・印刷
Exec="$prefix/quotedesk"
Icon=$prefix/quotedesk.svg
Terminal=false
Categories=Office;Finance;
StartupWMClass=quotedesk
EOF
command -v update-desktop-database >/dev/null && update-desktop-database "$apps" >/dev/null 2>&1 || true

exec "$prefix/quotedesk"
