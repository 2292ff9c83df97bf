#!/bin/sh
# The Windows binaries' suites under Wine, in a fresh prefix: the import and export tables, the
# black-box suite, the DLL's answers against the Linux module's, the host, then the editor in a
# real window under Xvfb.
# usage: run-wine.sh WINDOWS_BUILD LINUX_BUILD SOURCE
set -u
win=$(realpath "$1")
linux=$(realpath "$2")
source=$(realpath "$3")
vst3=Zornbeck.vst3/Contents/x86_64-win/Zornbeck.vst3
for f in Zornbeck.dll zornbeck.exe blackbox_tests.exe editor_window_tests.exe platform_services_tests.exe \
  scale_window_tests.exe module_dump.exe "$vst3" vst3_tests.exe vst3_editor_window_tests.exe; do
  if [ ! -f "$win/$f" ]; then
    echo "no $win/$f: build the Windows binaries first (make windows)"
    exit 77
  fi
done

work=$(mktemp -d /tmp/zornbeck-wine.XXXXXX)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
step() {
  name=$1
  shift
  echo "== $name"
  start=$(date +%s)
  if "$@"; then
    echo "-- ok ($(($(date +%s) - start)) s): $name"
  else
    echo "-- FAILED: $name"
    failures=$((failures + 1))
  fi
}
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# Only Windows system DLLs may be imported; only the two entry points exported.
allowed='^(kernel32|user32|gdi32|gdiplus|comdlg32|shell32|ole32|msvcrt|advapi32|comctl32)\.dll$'
imports() {
  x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'
}
check_tables() {
  ok=0
  for binary in Zornbeck.dll zornbeck.exe "$vst3"; do
    bad=$(imports "$win/$binary" | grep -vE "$allowed")
    if [ -n "$bad" ]; then
      echo "$binary imports non-system DLLs: $bad"
      ok=1
    fi
    [ -n "$(imports "$win/$binary")" ] || { echo "$binary: no import table read"; ok=1; }
  done
  exports=$(x86_64-w64-mingw32-objdump -p "$win/Zornbeck.dll" |
    sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | LC_ALL=C sort | tr '\n' ' ')
  if [ "$exports" != "VSTPluginMain main " ]; then
    echo "Zornbeck.dll exports '$exports', expected 'VSTPluginMain main '"
    ok=1
  fi
  exports=$(x86_64-w64-mingw32-objdump -p "$win/$vst3" |
    sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | LC_ALL=C sort | tr '\n' ' ')
  if [ "$exports" != "ExitDll GetPluginFactory InitDll " ]; then
    echo "$vst3 exports '$exports', expected 'ExitDll GetPluginFactory InitDll '"
    ok=1
  fi
  return $ok
}
step "import and export tables" check_tables

step "fresh Wine prefix" sh -c 'wineboot -i >/dev/null 2>&1'

# Headless: no display at all.
step "black-box suite against Zornbeck.dll" wine "$win/blackbox_tests.exe" --gtest_brief=1

# The VST 3 bundle through the strict host, and bit for bit against Zornbeck.dll.
step "VST 3 suite against Zornbeck.vst3" wine "$win/vst3_tests.exe" --gtest_brief=1

mkdir -p "$work/linux" "$work/windows"
compare_answers() {
  "$linux/module_dump" write "$work/linux" "$linux/Zornbeck.so" >/dev/null &&
    wine "$win/module_dump.exe" write "$(winpath "$work/windows")" "$(winpath "$win/Zornbeck.dll")" >/dev/null &&
    "$linux/module_dump" compare "$work/linux" "$work/windows"
}
step "identity, parameters, chunks and renders equal to the Linux module's" compare_answers

host_runs() {
  exe=$win/zornbeck.exe
  in=$(winpath "$source/examples/phrase.wav")
  out=$(winpath "$work")
  wine "$exe" info >"$work/info.txt" && grep -q "Zornbeck" "$work/info.txt" || { echo "info failed"; return 1; }
  wine "$exe" render "$in" "$out\\saved.wav" --tail 0.5 --program 3 --param 3=0.3 --save-chunk "$out\\p.chunk" >/dev/null &&
    wine "$exe" render "$in" "$out\\restored.wav" --tail 0.5 --load-chunk "$out\\p.chunk" >/dev/null &&
    wine "$exe" render "$in" "$out\\plain.wav" --tail 0.5 >/dev/null || { echo "render failed"; return 1; }
  cmp -s "$work/saved.wav" "$work/restored.wav" || { echo "a restored chunk renders differently"; return 1; }
  if cmp -s "$work/saved.wav" "$work/plain.wav"; then echo "the saved state made no difference"; return 1; fi
  wine "$exe" render "$in" "$out\\bundle.wav" --tail 0.5 --module "$(winpath "$win/Zornbeck.vst3")" >/dev/null &&
    cmp -s "$work/plain.wav" "$work/bundle.wav" || { echo "the VST 3 bundle renders differently"; return 1; }
  wine "$exe" screenshot "$out\\editor.png" --program 0 >/dev/null && [ -s "$work/editor.png" ] ||
    { echo "screenshot failed"; return 1; }
  "$linux/zornbeck" screenshot "$work/linux-editor.png" --program 0 >/dev/null &&
    "$linux/zornbeck" screenshot "$work/linux-editor-2x.png" --program 0 --scale 2 >/dev/null &&
    "$linux/zornbeck" screenshot "$work/linux-editor-15x.png" --program 0 --scale 1.5 >/dev/null
}
step "zornbeck.exe info, render with chunks and through the VST 3 bundle, screenshot" host_runs

# The server started without a display must be gone before Wine meets Xvfb.
wineserver -w

editor_suite() {
  ZB_LINUX_PICTURE=$(winpath "$work/linux-editor.png") \
    xvfb-run -a -s "-screen 0 1024x768x24" sh -c \
      "wine '$win/editor_window_tests.exe' --gtest_brief=1 && wine '$win/platform_services_tests.exe' --gtest_brief=1 &&
        wine '$win/vst3_editor_window_tests.exe' --gtest_brief=1 &&
        wine '$win/zornbeck.exe' edit --seconds 1 --program 3 >/dev/null"
}
step "editor in a Win32 window (VST 2.4 and VST 3), the message box and zornbeck.exe edit, under Xvfb" editor_suite
wineserver -w

# The host's scale factor first; then Wine's DPI raised to 192, which a per-monitor aware host's
# window takes.
scale_suite() {
  ZB_LINUX_PICTURE_2X=$(winpath "$work/linux-editor-2x.png") ZB_LINUX_PICTURE_15X=$(winpath "$work/linux-editor-15x.png") \
    xvfb-run -a -s "-screen 0 2000x1400x24" sh -c \
    "wine '$win/scale_window_tests.exe' --gtest_brief=1 --gtest_filter=-*PerMonitor*" || return 1
  wineserver -w
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1 || return 1
  wineserver -w
  xvfb-run -a -s "-screen 0 2000x1400x24" sh -c \
    "wine '$win/scale_window_tests.exe' --gtest_brief=1 --gtest_filter=*PerMonitor*"
}
step "editor at 1.5x to 3x in a Win32 window, and at a window's 192 dpi, under Xvfb" scale_suite
wineserver -w

if [ "$failures" -ne 0 ]; then
  echo "$failures Wine step(s) failed"
  exit 1
fi
echo "all Wine steps passed"
