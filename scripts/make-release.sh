#!/usr/bin/env bash
# Builds the release archive build/release/scenreg.zip: the stripped 32-bit
# (the one to ship) and 64-bit scenreg.exe, the README and its pictures, a
# sample scconf.txt and the example installer with its script.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh

stage="$root/build/release/scenreg"
rm -rf "$root/build/release"
mkdir -p "$stage/win32" "$stage/win64" "$stage/installer"
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target scenreg sample_addon_installer >/dev/null
  cp "build/$preset/scenreg.exe" "$stage/$preset/"
done
cp README.md "$stage/"
mkdir -p "$stage/docs" && cp docs/*.png "$stage/docs/"
cp installer/addon/scconf.txt "$stage/scconf.txt"
cp -r installer/sample-addon.nsi installer/addon "$stage/installer/"
cp build/win32/sample-addon-setup.exe "$stage/installer/"
(cd "$root/build/release" && zip -qr scenreg.zip scenreg)
echo "build/release/scenreg.zip:"
unzip -l "$root/build/release/scenreg.zip"
