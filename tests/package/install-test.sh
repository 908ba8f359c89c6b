#!/usr/bin/env bash
# Install -> call -> uninstall, as a user with a script would do it, under
# Wine:
#   1. a folder without the calendar's program is refused, and nothing is
#      written to it;
#   2. the installer, silent, into a fresh folder that holds a copy of the
#      stand-in calendar under the real calendar's program name: it puts
#      exactly the ZIP's files there, byte for byte, and registers its
#      uninstaller; the installed binaries carry the version;
#   3. the calendar started from that folder loads the installed plug-in;
#      with AI access switched on, the installed tessary-mcp.exe (the path
#      the calendar's client configuration names) serves one tools/call;
#   4. installing while the calendar runs is refused and changes nothing;
#   5. the uninstaller, silent, leaves the folder exactly as it was before
#      the install (the calendar's files hashed before and after) and
#      removes its registration;
#   6. without /D, the installer goes to C:\Program Files\Tessary.
#
#   install-test.sh RELEASE_DIR PACKAGE_NAME BUILD_DIR
# RELEASE_DIR holds PACKAGE_NAME.zip and PACKAGE_NAME.exe; BUILD_DIR is the
# test build, whose bin/ holds the stand-in calendar and version_tests.exe
# and whose Wine prefix is used (warmed by scripts/test.sh).
set -euo pipefail
release=$(cd "$1" && pwd)
name=$2
BUILD_DIR=$(cd "$3" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-env.sh"
bin="$BUILD_DIR/bin"
installer="$release/$name.exe"
zip="$release/$name.zip"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TessaryAiBridge'

fail() { echo "install-test: $*" >&2; exit 1; }
step() { echo "install-test: $*"; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
# Path and SHA-256 of every file under a folder, sorted by path.
hashes() { (cd "$1" && find . -type f | LC_ALL=C sort | xargs -r sha256sum); }
registered() { "$WINE64" reg query "$uninstall_key" /v UninstallString >/dev/null 2>&1; }

for f in "$installer" "$zip" "$bin/tessary-devhost.exe" "$bin/tsycore.dll" "$bin/tsyui.dll" "$bin/version_tests.exe"; do
  [ -f "$f" ] || fail "$f is missing"
done

work="$BUILD_DIR/package-test"
rm -rf "$work"
mkdir -p "$work/zip" "$work/other" "$work/data"
(cd "$work/zip" && cmake -E tar xf "$zip")
expected=$(hashes "$work/zip")
[ "$(echo "$expected" | wc -l)" -ge 5 ] || fail "the ZIP holds too few files: $expected"

# The calendar's folder: the stand-in program under the name the real
# calendar's program has, and its host libraries.
app="$work/Tessary"
mkdir -p "$app"
cp "$bin/tessary-devhost.exe" "$app/Tessary.exe"
cp "$bin/tsycore.dll" "$bin/tsyui.dll" "$app/"
calendar_files=$(hashes "$app")

calendar=""
cleanup() {
  if [ -n "$calendar" ]; then
    "$WINE64" "$app/Tessary.exe" --send quit >/dev/null 2>&1 || true
    wait "$calendar" 2>/dev/null || true
  fi
}
trap cleanup EXIT
"$WINE64" reg delete "$uninstall_key" /f >/dev/null 2>&1 || true

step "1. a folder without Tessary.exe is refused"
cp "$bin/tessary-devhost.exe" "$bin/tsycore.dll" "$work/other/"
other_files=$(hashes "$work/other")
rc=0; "$WINE64" "$installer" /S "/D=$(winpath "$work/other")" || rc=$?
[ "$rc" -eq 2 ] || fail "installing into a folder without Tessary.exe ended with $rc, not 2 (refused)"
[ "$(hashes "$work/other")" = "$other_files" ] || fail "the refused install changed the folder: $(ls -R "$work/other")"
! registered || fail "the refused install registered an uninstaller"

step "2. silent install into $app"
"$WINE64" "$installer" /S "/D=$(winpath "$app")" || fail "the installer ended with $?"
[ -f "$app/tsyappaimcp/uninstall.exe" ] || fail "no uninstaller in $app/tsyappaimcp"
# What is there now: the calendar's files, the ZIP's files, the uninstaller.
installed=$(hashes "$app" | grep -v '  \./tsyappaimcp/uninstall\.exe$')
diff <(echo "$installed") <(printf '%s\n%s\n' "$calendar_files" "$expected" | LC_ALL=C sort -k2) \
  || fail "the installed files differ from the calendar's files and the ZIP's"
registered || fail "no uninstaller is registered under $uninstall_key"
"$WINE64" reg query "$uninstall_key" /v UninstallString | grep -qF "$(winpath "$app")\\tsyappaimcp\\uninstall.exe" \
  || fail "the registered uninstaller is not the installed one: $("$WINE64" reg query "$uninstall_key" 2>&1)"
TESSARY_PACKAGE_DIR=$(winpath "$app") "$WINE64" "$bin/version_tests.exe" --gtest_brief=1 \
  || fail "the installed binaries do not carry the project's version"

step "3. the calendar from $app, AI access on, one tools/call through the installed tessary-mcp.exe"
"$WINE64" "$app/Tessary.exe" --data "$(winpath "$work/data")" --sample >"$work/calendar.log" 2>&1 &
calendar=$!
send() { "$WINE64" "$app/Tessary.exe" --send "$@"; }
up=""
for _ in $(seq 1 100); do
  if status=$(send status 2>/dev/null); then up=1; break; fi
  sleep 0.2
done
[ -n "$up" ] || fail "the calendar did not come up: $(cat "$work/calendar.log")"
echo "$status" | grep -q '^plug-in: attached' || fail "the calendar did not load the installed plug-in: $status"
config=$(send ai on | tr -d '\r') || fail "ai on failed: $config"
program=$(echo "$config" | sed -n 's/^ *"command": "\(.*\)",$/\1/p' | sed 's/\\\\/\\/g')
token=$(echo "$config" | sed -n 's/^ *"TESSARY_AIMCP_TOKEN": "\(.*\)"$/\1/p')
[ "$program" = "$(winpath "$app")\\tsyappaimcp\\tessary-mcp.exe" ] \
  || fail "the client configuration names '$program', not the installed tessary-mcp.exe"
[ ${#token} -eq 64 ] || fail "no token in the client configuration: $config"
reply=$(printf '%s\n' \
  '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2024-11-05","capabilities":{},"clientInfo":{"name":"install-test","version":"1"}}}' \
  '{"jsonrpc":"2.0","method":"notifications/initialized"}' \
  '{"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"calendar_list","arguments":{}}}' \
  | TESSARY_AIMCP_TOKEN=$token timeout 60 "$WINE64" "$program" 2>"$work/mcp.err" | tr -d '\r') \
  || fail "tessary-mcp.exe failed: $(cat "$work/mcp.err")"
call=$(echo "$reply" | grep '"id":2') || fail "no answer to the tools/call: $reply"
echo "$call" | grep -q '"isError":false' || fail "the tools/call failed: $call"
echo "$call" | grep -q 'Personal' || fail "the tools/call did not list the calendar's calendars: $call"

step "4. installing while the calendar runs is refused"
rc=0; "$WINE64" "$installer" /S "/D=$(winpath "$app")" || rc=$?
[ "$rc" -eq 2 ] || fail "installing while the calendar runs ended with $rc, not 2 (refused)"
[ "$(hashes "$app" | grep -v '  \./tsyappaimcp/uninstall\.exe$')" = "$installed" ] \
  || fail "the refused install changed the folder"
send quit >/dev/null || fail "the calendar did not take quit"
wait "$calendar" || fail "the calendar ended with $?"
calendar=""

step "5. silent uninstall"
# The uninstaller runs from a copy of itself (so that it can delete itself)
# and returns at once: wait until its registration and its files are gone.
"$WINE64" "$app/tsyappaimcp/uninstall.exe" /S || fail "the uninstaller ended with $?"
for _ in $(seq 1 300); do
  if ! registered && [ ! -e "$app/tsyappaimcp" ] && [ ! -e "$app/tsyappaimcp.dll" ]; then break; fi
  sleep 0.2
done
! registered || fail "the uninstaller left its registration"
diff <(hashes "$app") <(echo "$calendar_files") || fail "the calendar's folder is not as it was before the install"
[ -z "$(find "$app" -mindepth 1 -type d)" ] || fail "folders are left: $(find "$app" -mindepth 1 -type d)"
step "6. without /D the installer uses Tessary's usual folder, C:\\Program Files\\Tessary"
usual="$WINEPREFIX/drive_c/Program Files/Tessary"
# The test build's own prefix: nothing but this test puts a calendar there.
rm -rf "$usual" && mkdir -p "$usual"
trap 'rm -rf "$usual"; cleanup' EXIT
cp "$bin/tessary-devhost.exe" "$usual/Tessary.exe"
"$WINE64" "$installer" /S || fail "the installer ended with $?"
[ -f "$usual/tsyappaimcp.dll" ] && [ -f "$usual/tsyappaimcp/tessary-mcp.exe" ] \
  || fail "nothing was installed into $usual: $(find "$usual")"
"$WINE64" "$usual/tsyappaimcp/uninstall.exe" /S || fail "the uninstaller ended with $?"
for _ in $(seq 1 300); do
  if ! registered && [ ! -e "$usual/tsyappaimcp" ]; then break; fi
  sleep 0.2
done
[ "$(find "$usual" -mindepth 1)" = "$usual/Tessary.exe" ] || fail "the uninstall left $(find "$usual" -mindepth 1)"

step "passed: $(echo "$expected" | wc -l) files installed, served one tools/call, removed; the calendar's $(echo "$calendar_files" | wc -l) files untouched"
