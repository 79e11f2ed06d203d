#!/usr/bin/env bash
# Runs the official JP PINT validator (../shared/validators/jp-pint-1.1.3/validate.sh) on FILE.xml...
# from a copy in which the UBL main schema finds its common schemas: its imports name
# ./xsd/common/, while the copy we are given keeps them in ../common/ and has at maindoc/xsd a
# plain file where a link once was. Exit as validate.sh exits.
set -euo pipefail
validator=${PINT_VALIDATOR:-$(cd "$(dirname "$0")/.." && pwd)/../shared/validators/jp-pint-1.1.3}
[ -x "$validator/validate.sh" ] || { echo "no validator at $validator"; exit 2; }
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
cp -r --no-preserve=mode "$validator/." "$copy/"
chmod +x "$copy/validate.sh"
if [ ! -d "$copy/ubl-2.1/maindoc/xsd/common" ]; then
  rm -f "$copy/ubl-2.1/maindoc/xsd"
  mkdir -p "$copy/ubl-2.1/maindoc/xsd"
  cp -r "$copy/ubl-2.1/common" "$copy/ubl-2.1/maindoc/xsd/common"
fi
"$copy/validate.sh" "$@"
