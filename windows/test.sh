#!/usr/bin/env bash
# Builds corvella.dll and tests it under Wine, unattended and headless:
#   windows/test.sh
# 1. builds the DLL for x86_64 (windows/build.sh; set CORVELLA_WIN_ARCHS="x86_64 i686" to also
#    build the 32-bit DLL, which is tested only where Wine can run 32-bit programs);
# 2. builds the Linux reference program of the parity check;
# 3. makes a fresh Wine prefix, registers the DLL with regsvr32 and checks the registry entries;
# 4. checks the embedded type library against the member table (com_server_test.exe);
# 5. runs the scripts of windows/tests with Wine's cscript: each must print its "DONE" line and
#    no "FAIL" line (Wine's cscript exits with 0 even when a script stops on an error);
# 6. compares the images written under Wine with the Linux build's, byte for byte;
# 7. runs the acceptance scripts of tests/acceptance with Wine's cscript and compares what they
#    print with their .expected files (or, where a Wine limitation makes a line impossible, with
#    windows/tests/acceptance-wine/<name>.expected; see windows/README.md);
# 8. unregisters the DLL and checks that the entries are gone and CreateObject fails.
#
# Exit status: 0 when everything passed, 1 when a check failed or our code did not build, and 77
# (after a line starting "SKIPPED:") when the machine cannot run the tests: the toolchain or Wine
# cannot be installed or does not run, the libraries' sources cannot be fetched, or no Wine prefix
# can be made.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$(date +%s)
step() { echo "== [$(($(date +%s) - started))s] $*"; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
skip() {
  echo "SKIPPED: $*"
  exit 77
}

read -r -a archs <<<"${CORVELLA_WIN_ARCHS:-x86_64}"
step "checking the toolchain and Wine"
if ! installed=$(windows/install-deps.sh 2>&1); then
  tail -n 20 <<<"$installed"
  skip "the MinGW-w64 toolchain and Wine could not be installed"
fi
for tool in cmake nasm wine wineboot wineserver winepath; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
for arch in "${archs[@]}"; do
  for tool in "$arch-w64-mingw32-g++-posix" "$arch-w64-mingw32-widl"; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
  done
done
wine --version >/dev/null 2>&1 || skip "wine does not run"
for arch in "${archs[@]}"; do
  status=0
  windows/deps.sh "$arch" >/dev/null || status=$?
  [ "$status" -eq 77 ] && skip "the libraries for $arch could not be fetched from Debian's source archive"
  [ "$status" -eq 0 ] || { echo "FAIL: the libraries for $arch did not build"; exit 1; }
done

step "building corvella.dll (${archs[*]})"
windows/build.sh "${archs[@]}" >/dev/null || { echo "FAIL: corvella.dll did not build"; exit 1; }

step "building the Linux reference of the parity check"
cmake -S windows/reference -B build/windows-reference -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/windows-reference -j "${CORVELLA_JOBS:-2}" --target parity_reference >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/corvella-wine.XXXXXX")
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEARCH=win64
# No display: Wine runs its console programs without one. Gecko and Mono are not wanted.
unset DISPLAY
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

winpath() { winepath -w "$1" 2>/dev/null; }

step "creating a fresh Wine prefix in $WINEPREFIX"
wineboot -i >/dev/null 2>&1 || skip "wineboot could not create a Wine prefix"
wineserver -w
[ -f "$WINEPREFIX/system.reg" ] || skip "wineboot left no Wine prefix"
# Wine's script host must run a script at all before anything is blamed on the component.
printf 'WScript.Echo "cscript runs"\r\n' >"$work/probe.vbs"
wine cscript.exe //nologo "$(winpath "$work/probe.vbs")" 2>/dev/null | tr -d '\r' | grep -qx 'cscript runs' ||
  skip "Wine's cscript.exe does not run a script"
# "Arial" is drawn with its metric-compatible Liberation face, as fontconfig does on Linux.
for face in "Arial:Liberation Sans" "Times New Roman:Liberation Serif" "Courier New:Liberation Mono"; do
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v "${face%%:*}" /d "${face#*:}" /f >/dev/null 2>&1
done

arch=x86_64
build="$root/build/windows-$arch"
dll=$(winpath "$build/corvella.dll")
images="$(winpath "$root/tests/data/images")\\"
mkdir -p "$work/out-wine" "$work/out-linux"
output="$(winpath "$work/out-wine")\\"

step "regsvr32 $dll"
wine regsvr32 /s "$dll" || fail "regsvr32 failed"
registry=$(wine reg query 'HKCR\CLSID\{0B6FC927-BB67-480B-8FD3-0416192BB9D1}' /s 2>/dev/null | tr -d '\r')
grep -qF "$dll" <<<"$registry" || fail "InprocServer32 does not name the DLL"
grep -q 'ThreadingModel.*Apartment' <<<"$registry" || fail "ThreadingModel is not Apartment"
wine reg query 'HKCR\Corvella.Pictron\CLSID' 2>/dev/null | grep -q '{0B6FC927-BB67-480B-8FD3-0416192BB9D1}' ||
  fail "the ProgID does not point at the class"
wine reg query 'HKCR\Interface\{AE480A26-5A34-4B57-B89A-C4B78A84C89A}\ProxyStubClsid32' 2>/dev/null |
  grep -q '{00020424-0000-0000-C000-000000000046}' || fail "_Pictron is not marshalled by the type library"
wine reg query 'HKCR\TypeLib\{5D9B9480-07FE-4BDD-AE44-2AF40117B562}\1.0' >/dev/null 2>&1 ||
  fail "the type library is not registered"

# Runs one program or script and requires its "DONE" line and no "FAIL" line.
run_checked() {
  local name=$1 marker=$2
  shift 2
  local log="$work/$name.log"
  "$@" >"$log" 2>&1 || true
  tr -d '\r' <"$log" >"$log.txt"
  if grep -q '^FAIL' "$log.txt" || ! grep -qx "$marker" "$log.txt"; then
    cat "$log.txt"
    fail "$name did not pass"
  else
    echo "   $name: $(grep -c '^ok' "$log.txt" || true) checks passed"
  fi
}

step "type library against the member table"
run_checked com_server_test "DONE com_server_test" wine "$build/com_server_test.exe" "$dll" "$images"

for script in members.vbs page_class.vbs page_jscript.js parity.vbs; do
  step "cscript $script"
  run_checked "$script" "DONE $script" wine cscript.exe //nologo "$(winpath "$root/windows/tests/$script")" \
    "$images" "$output"
done

step "comparing the images with the Linux build's"
build/windows-reference/parity_reference tests/data/images "$work/out-linux" >/dev/null
for file in egret_text.jpg snake_rotated.jpg coffee_overlay.jpg; do
  if cmp -s "$work/out-wine/$file" "$work/out-linux/$file"; then
    echo "   $file: identical ($(stat -c %s "$work/out-linux/$file") bytes)"
  else
    fail "$file differs between Wine and Linux"
  fi
done
for file in page_class_body.jpg page_jscript_body.jpg; do
  cmp -s "$work/out-wine/$file" tests/data/images/egret_600x450.jpg ||
    fail "$file is not the file that was opened"
done

if ls "$work/out-wine" | grep -q '\.tmp$'; then fail "a temporary file was left behind"; fi

# The acceptance scripts that `corvella run` passes on Linux, each in an empty scratch folder
# (also its working directory), must print their .expected file; Wine's cscript ends lines with
# CR LF. Where Wine's VBScript cannot produce some lines, windows/tests/acceptance-wine/ holds the
# output expected under Wine instead (each difference is explained in windows/README.md).
step "acceptance scripts under Wine's cscript"
mkdir -p "$work/acceptance"
for script in tests/acceptance/*.vbs; do
  name=$(basename "$script" .vbs)
  scratch="$work/acceptance/$name"
  mkdir -p "$scratch"
  actual="$work/acceptance/$name.out"
  (cd "$scratch" && timeout 300 wine cscript.exe //nologo "$(winpath "$root/$script")" "$images" \
    "$(winpath "$scratch")\\" 2>"$work/acceptance/$name.err" | tr -d '\r' >"$actual") || true
  linux="tests/acceptance/$name.expected"
  wine_only="windows/tests/acceptance-wine/$name.expected"
  if cmp -s "$linux" "$actual"; then
    if [ -f "$wine_only" ]; then
      echo "   $name: as on Linux (the Wine expectation $wine_only is no longer needed)"
    else
      echo "   $name: as on Linux"
    fi
  elif [ -f "$wine_only" ] && cmp -s "$wine_only" "$actual"; then
    echo "   $name: as expected under Wine ($(diff "$linux" "$wine_only" | grep -c '^<' || true) Linux lines impossible here)"
  else
    expected=$linux
    [ -f "$wine_only" ] && expected=$wine_only
    diff -u "$expected" "$actual" || true
    cat "$work/acceptance/$name.err"
    fail "acceptance script $name printed something else"
  fi
done

step "regsvr32 /u"
wine regsvr32 /s /u "$dll" || fail "regsvr32 /u failed"
for key in 'HKCR\CLSID\{0B6FC927-BB67-480B-8FD3-0416192BB9D1}' 'HKCR\Corvella.Pictron' \
  'HKCR\TypeLib\{5D9B9480-07FE-4BDD-AE44-2AF40117B562}' \
  'HKCR\Interface\{AE480A26-5A34-4B57-B89A-C4B78A84C89A}'; do
  if wine reg query "$key" >/dev/null 2>&1; then fail "$key is still registered"; fi
done
run_checked unregistered.vbs "DONE unregistered.vbs" wine cscript.exe //nologo \
  "$(winpath "$root/windows/tests/unregistered.vbs")"

for other in "${archs[@]}"; do
  [ "$other" = x86_64 ] && continue
  if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "   note: $other built; its tests are not wired up yet"
  else
    echo "   note: $other built, not tested: this machine cannot run 32-bit Wine"
  fi
done

step "finished"
if [ "$failures" -ne 0 ]; then
  echo "windows tests: $failures failed"
  exit 1
fi
echo "windows tests: all passed"
