#!/usr/bin/env bash
# A real automation client nobody here wrote: Wine's cscript runs a VBScript
# that creates the control by its ProgID after the system's regsvr32 has
# registered it. Usage: script_test.sh PATH/TO/VANTProj1.ocx [system32|syswow64]
# (syswow64: the 32-bit tools of a 64-bit prefix, for the 32-bit library)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
ocx=$(winepath -w "$1")
tools="C:\\windows\\${2:-system32}"
# With 32-bit Wine installed, `wine` is the 32-bit loader, which runs the
# 32-bit tools even when asked for system32's: the 64-bit ones need wine64.
loader=wine
[[ ${2:-system32} == system32 ]] && loader=/usr/lib/wine/wine64
$loader "$tools\\regsvr32.exe" /s "$ocx"
output=$($loader "$tools\\cscript.exe" //nologo "$(winepath -w "$here/control.vbs")" 2>/dev/null | tr -d '\r')
echo "$output"
expected='Caption: VANT NTFS v 1.0
Caption written back: 12 letters
Color: 336699
Enabled: 0
Enabled: 1
Visible: 0
Visible: 1
AboutBox: done
Font: 8 points
Wrong property: error 438'
if [[ "$output" != "$expected" ]]; then
  echo "--- expected:"; echo "$expected"
  exit 1
fi
