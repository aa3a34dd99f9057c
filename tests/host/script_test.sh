#!/usr/bin/env bash
# A real automation client nobody here wrote: Wine's cscript runs a VBScript
# that creates the control by its ProgID after the system's regsvr32 has
# registered it. Usage: script_test.sh PATH/TO/VANTProj1.ocx [system32|syswow64]
# (syswow64: the 32-bit tools of a 64-bit prefix, for the 32-bit library)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
ocx=$(winepath -w "$1")
tools="C:\\windows\\${2:-system32}"
wine "$tools\\regsvr32.exe" /s "$ocx"
output=$(wine "$tools\\cscript.exe" //nologo "$(winepath -w "$here/control.vbs")" 2>/dev/null | tr -d '\r')
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
