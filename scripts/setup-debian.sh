#!/usr/bin/env bash
# Installs the Debian 12 packages QuoteDesk needs to build and run (and, with --tests, to test:
# a PostgreSQL server for the throwaway test server); installs nothing that is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libgl1-mesa-dev
  fonts-ipafont-gothic fonts-ipafont-mincho
  qt6-translations-l10n
  libpoppler-qt6-dev pkg-config libpq-dev
  poppler-utils strace
)
# A desktop only talks to a server; the tests start one of their own, and check the digital
# invoices against the official rules (a schema check and two XSLT rule sets).
[ "${1:-}" = --tests ] && packages+=(postgresql-15 libxml2-utils libsaxonhe-java default-jre-headless)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
