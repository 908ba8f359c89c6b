#!/usr/bin/env bash
# Builds the release packages in one go: the ZIP
# tessary-ai-bridge-<version>-win64.zip and the installer
# tessary-ai-bridge-<version>-win64.exe (each with a .sha256 beside it).
# Only the two deliverables are built, from the preset "release": optimised,
# static runtime, stripped when packed, no tests, benchmarks or stand-in
# calendar. Ends by checking that both packages hold the same files, byte
# for byte.
#
#   scripts/release.sh      (packages land in build/release/)
#
# TESSARY_RELEASE_DIR=<dir> builds in another folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/bootstrap.sh"
cd "$root"
dir=$(mkdir -p "${TESSARY_RELEASE_DIR:-$root/build/release}" && cd "${TESSARY_RELEASE_DIR:-$root/build/release}" && pwd)

# Stripping writes a PE header with a time stamp: without a fixed one the
# ZIP's and the installer's copies of a binary, stripped a second apart,
# would differ. The time of the last commit (or, outside a checkout, a
# fixed one) makes both copies, and repeated releases, the same.
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 1767225600)
export SOURCE_DATE_EPOCH

cmake --preset release -B "$dir" >/dev/null
cmake --build "$dir" --target tsyappaimcp tessary-mcp
(cd "$dir" && cpack)

name=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$dir/CPackConfig.cmake")
zip="$dir/$name.zip"
installer="$dir/$name.exe"
[ -f "$zip" ] && [ -f "$installer" ] || { echo "release: $zip or $installer is missing" >&2; exit 1; }

# What the installer packed is CPack's staging tree for it; the ZIP is
# unpacked and compared with it, names and contents.
staged="$dir/_CPack_Packages/win64/NSIS/$name"
unpacked="$dir/_CPack_Packages/unpacked-zip"
rm -rf "$unpacked" && mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip")
listing() { (cd "$1" && find . -type f | LC_ALL=C sort | xargs sha256sum); }
if ! diff <(listing "$staged") <(listing "$unpacked") >"$dir/package-difference.txt"; then
  echo "release: the installer and the ZIP hold different files:" >&2
  cat "$dir/package-difference.txt" >&2
  exit 1
fi
rm -rf "$unpacked" "$dir/package-difference.txt"

echo "release: both packages hold the same $(listing "$staged" | wc -l) files:"
(cd "$staged" && find . -type f | LC_ALL=C sort | sed 's|^\./|  |')
ls -l "$zip" "$installer" | awk '{print "release: " $NF " (" $5 " bytes)"}'
