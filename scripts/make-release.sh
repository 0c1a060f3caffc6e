#!/usr/bin/env bash
# Builds the release archive build/release/scenreg.zip: the stripped 32-bit
# (the one to ship) and 64-bit scenreg.exe, each checked on the sample first,
# and scenunreg.exe of both builds; the README and its pictures, a sample
# scconf.txt and the example installer with its script.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh

stage="$root/build/release/scenreg"
rm -rf "$root/build/release"
mkdir -p "$stage/win32" "$stage/win64" "$stage/installer"
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target scenreg scenunreg scenreg_sample_run \
    sample_addon_installer >/dev/null
  cp "build/$preset/scenreg.exe" "build/$preset/scenunreg.exe" "$stage/$preset/"
done

# Each program as it goes into the archive registers the bundled sample once,
# silently, the 32-bit one in the emulator where the kernel runs no 32-bit
# programs; one that does not makes no release.
source scripts/wine-loader.sh
for preset in win32 win64; do
  check="$root/build/release/check-$preset"
  mkdir -p "$check"
  cp sample/simulator/* "$check/"
  run=(bash scripts/sample-run.sh "$preset" "$stage/$preset/scenreg.exe" "$check" answer)
  [ "$preset" = win64 ] || run=(scenreg_where_32bit_runs "${run[@]}")
  if ! "${run[@]}" >"$check.log" 2>&1 ||
     ! cmp -s -n "$(stat -c %s sample/simulator/scenery.cfg)" sample/simulator/scenery.cfg \
       "$check/scenery.cfg" ||
     ! grep -q "^Title=Sample Field"$'\r'"\$" "$check/scenery.cfg"; then
    cat "$check.log"
    echo "make-release.sh: the $preset scenreg.exe did not register the sample; no release" >&2
    exit 1
  fi
  echo "The $preset scenreg.exe registered the sample."
done
cp README.md "$stage/"
mkdir -p "$stage/docs" && cp docs/*.png "$stage/docs/"
cp installer/addon/scconf.txt "$stage/scconf.txt"
cp -r installer/sample-addon.nsi installer/addon "$stage/installer/"
cp build/win32/sample-addon-setup.exe "$stage/installer/"
(cd "$root/build/release" && zip -qr scenreg.zip scenreg)
echo "build/release/scenreg.zip:"
unzip -l "$root/build/release/scenreg.zip"
