#!/bin/sh
# The Windows Zornbeck.clap under Wine, in a fresh prefix: its export and import tables, then the
# strict-host suite (which also holds it against Zornbeck.dll bit for bit), then its editor.
# usage: run-wine.sh WINDOWS_BUILD
set -u
win=$(realpath "$1")
for f in Zornbeck.clap Zornbeck.dll clap_tests.exe clap_editor_tests.exe; do
  if [ ! -f "$win/$f" ]; then
    echo "no $win/$f: build the Windows binaries first (make windows)"
    exit 77
  fi
done
work=$(mktemp -d /tmp/zornbeck-clap-wine.XXXXXX)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

exports=$(x86_64-w64-mingw32-objdump -p "$win/Zornbeck.clap" |
  sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | tr '\n' ' ')
if [ "$exports" != "clap_entry " ]; then
  echo "Zornbeck.clap exports '$exports', expected only clap_entry"
  exit 1
fi
allowed='^(kernel32|user32|gdi32|gdiplus|comdlg32|shell32|ole32|msvcrt|advapi32|comctl32)\.dll$'
bad=$(x86_64-w64-mingw32-objdump -p "$win/Zornbeck.clap" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' |
  grep -vE "$allowed")
if [ -n "$bad" ]; then
  echo "Zornbeck.clap imports non-system DLLs: $bad"
  exit 1
fi
wineboot -i >/dev/null 2>&1
# Headless first, then the editor in a Win32 window under a private X server.
wine "$win/clap_tests.exe" --gtest_brief=1 || exit 1
wineserver -w
xvfb-run -a -s "-screen 0 1024x768x24" wine "$win/clap_editor_tests.exe" --gtest_brief=1
