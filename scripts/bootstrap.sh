#!/usr/bin/env bash
# Installs whatever the build and the tests need and is missing. Safe to run
# any number of times; does nothing when everything is present.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

need_pkgs=()
have() { command -v "$1" >/dev/null 2>&1; }
have x86_64-w64-mingw32-g++-posix || need_pkgs+=(g++-mingw-w64-x86-64)
have x86_64-w64-mingw32-widl      || need_pkgs+=(mingw-w64-tools)
[ -d /usr/include/wine/wine/windows ] || need_pkgs+=(libwine-dev)
[ -x /usr/lib/wine/wine64 ]       || need_pkgs+=(wine64)
[ -f /usr/src/googletest/CMakeLists.txt ] || need_pkgs+=(googletest)
have cmake                        || need_pkgs+=(cmake)
have ninja                        || need_pkgs+=(ninja-build)
have node                         || need_pkgs+=(nodejs)
have npm                          || need_pkgs+=(npm)
# The native fuzzing of the pure parts (fuzz/): clang with libFuzzer and the
# address and undefined-behaviour sanitizers' runtimes.
[ -x /usr/bin/clang++ ]           || need_pkgs+=(clang)
compgen -G '/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a' >/dev/null \
                                  || need_pkgs+=(libclang-rt-14-dev)
# The settings page's screenshots (scripts/screenshots.sh): a virtual X
# display, a way to find a window on it and one to save it as PNG.
have Xvfb                         || need_pkgs+=(xvfb)
have xdotool                      || need_pkgs+=(xdotool)
[ -x /usr/bin/import ]            || need_pkgs+=(imagemagick)
# The release installer (scripts/release.sh): CPack's NSIS generator.
have makensis                     || need_pkgs+=(nsis)
# The JSON benchmark measures the document model side by side with a
# header-only library from Debian; no deliverable includes it.
[ -f /usr/include/nlohmann/json.hpp ] || need_pkgs+=(nlohmann-json3-dev)

if [ ${#need_pkgs[@]} -gt 0 ]; then
  echo "bootstrap: installing ${need_pkgs[*]}"
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
fi

# The interoperability test drives the program with the official MCP client SDK.
if [ ! -d "$here/tests/interop/node_modules/@modelcontextprotocol/sdk" ]; then
  echo "bootstrap: installing the MCP client SDK for the interoperability test"
  (cd "$here/tests/interop" && npm ci --no-audit --no-fund --loglevel=error)
fi
