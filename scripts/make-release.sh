#!/usr/bin/env bash
# Builds the release archive build/release/scenreg-<version>.zip: the stripped
# 32-bit (the one to ship) and 64-bit scenreg.exe, each checked on the sample
# first, and scenunreg.exe of both builds; the README and its pictures, a
# sample scconf.txt, the example installer with its script, and SHA256SUMS
# over all of them. Prints the programs' sums and the archive's own.
#
# One commit gives the same bytes in any folder, at any time: the programs
# carry no build time and no build path (see CMakeLists.txt), and every entry
# of the archive carries the commit's time (SOURCE_DATE_EPOCH), a fixed mode
# and no extra field, in sorted order.
#
# usage: make-release.sh [--check-reproducible]
#   --check-reproducible  builds the release of the checked-out commit twice,
#       in two clones under build/reproducible/, the second with the clock 55
#       hours on and in another time zone, and compares the archives
# SCENREG_RELEASE_SAMPLE_RUN=0 leaves out the run of each program on the
# sample, which changes no byte of the release; the check leaves it out
# unless SCENREG_RELEASE_SAMPLE_RUN=1.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

check_reproducible() {
  local commit base first second
  commit=$(git rev-parse HEAD)
  # A clone holds what is committed, nothing else.
  [ -z "$(git status --porcelain)" ] ||
    echo "make-release.sh: uncommitted changes are not checked; the clones hold $commit" >&2
  command -v faketime >/dev/null || bash scripts/install-deps.sh
  base="$root/build/reproducible"
  rm -rf "$base"
  # Folders of different names and lengths.
  first="$base/one"
  second="$base/the-second-clone"
  for dir in "$first" "$second"; do
    git clone -q --no-checkout "$root" "$dir"
    git -C "$dir" checkout -q --detach "$commit"
  done
  export SCENREG_RELEASE_SAMPLE_RUN=${SCENREG_RELEASE_SAMPLE_RUN:-0}
  echo "Building $commit in $first"
  (cd "$first" && TZ=UTC bash scripts/make-release.sh)
  # DONT_FAKE_MONOTONIC: the build's waits keep the real clock.
  echo "Building $commit in $second, 55 hours later and across the date line"
  (cd "$second" && TZ=Pacific/Kiritimati DONT_FAKE_MONOTONIC=1 faketime -f +55h \
    bash scripts/make-release.sh)
  local zips=("$first"/build/release/scenreg-*.zip "$second"/build/release/scenreg-*.zip)
  echo "The two archives:"
  sha256sum "${zips[@]}"
  if [ "${#zips[@]}" -eq 2 ] && [ "${zips[0]##*/}" = "${zips[1]##*/}" ] &&
     cmp -s "${zips[0]}" "${zips[1]}"; then
    echo "Identical: the release of $commit is reproducible."
    return 0
  fi
  mkdir -p "$base/unpacked/one" "$base/unpacked/two"
  unzip -q "${zips[0]}" -d "$base/unpacked/one"
  unzip -q "${zips[1]}" -d "$base/unpacked/two"
  diff -r --brief "$base/unpacked/one" "$base/unpacked/two" || true
  echo "make-release.sh: the two builds of $commit differ" >&2
  return 1
}
if [ "${1:-}" = --check-reproducible ]; then
  check_reproducible
  exit
fi

bash scripts/install-deps.sh
# Every time in the release is the commit's.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH
[ -z "$(git status --porcelain)" ] ||
  echo "make-release.sh: uncommitted changes: this release is not the commit's" >&2

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
  [ "${SCENREG_RELEASE_SAMPLE_RUN:-1}" != 0 ] || continue
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
# The sums of every other file, for checking a program against them
# (sha256sum -c SHA256SUMS in the unpacked folder).
(cd "$stage" && find . -type f ! -path ./SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort |
  xargs -d '\n' sha256sum >SHA256SUMS)
# Fixed modes, the commit's time and sorted entries with no extra field (-X:
# no owner, no second time): the archive depends on the files' bytes alone.
find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
find "$stage" -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt)
archive="scenreg-$version.zip"
# Zip keeps each entry's time as local time: UTC, whatever the machine's zone.
(cd "$root/build/release" && find scenreg | LC_ALL=C sort | TZ=UTC zip -q -X -@ "$archive")
echo "build/release/$archive:"
unzip -l "$root/build/release/$archive"
echo "SHA-256 of the programs (scenreg/SHA256SUMS in the archive has every file's):"
grep -E '  win(32|64)/' "$stage/SHA256SUMS"
echo "SHA-256 of the archive:"
(cd "$root/build/release" && sha256sum "$archive")
