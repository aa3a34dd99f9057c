#!/usr/bin/env bash
# The release packages as users get them (scripts/release made them in dist/):
# - the 32-bit library's exports, read from the zip with objdump;
# - under Wine, in a fresh prefix, from the unpacked zip: the 32-bit library
#   registered for the user by the zip's script, then the 64-bit and 32-bit
#   ones for the machine side by side; the 64-bit one embedded by ATL's host,
#   the 32-bit one created by the 32-bit cscript running the zip's example;
#   every registration removed again by the zip's scripts, nothing left;
# - the .deb unpacked into a temporary root: its vant's version, and its vant
#   analysing the demo volume and recovering the deleted files byte-exact.
# Usage: release_test.sh   (from the source tree, after scripts/test's builds and scripts/release)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
dist=$root/dist
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-release/CMakeCache.txt)
zip=$dist/vant-$version-windows.zip
deb=$dist/vant_${version}_amd64.deb
work=$(mktemp -d)
failures=0
trap 'echo "FAIL  stopped at line $LINENO: $BASH_COMMAND" >&2' ERR
check() {  # check WHAT EXPECTED ACTUAL
  if [[ "$2" == "$3" ]]; then echo "ok    $1"; else
    echo "FAIL  $1"; echo "      expected: $2" | head -20; echo "      got:      $3" | head -20; failures=$((failures + 1))
  fi
}

echo "== the packages' sums"
check "SHA256SUMS" "ok" "$(cd "$dist" && sha256sum --quiet -c SHA256SUMS >/dev/null 2>&1 && echo ok)"

echo "== the zip"
unzip -q "$zip" -d "$work/zip"
exports=$(i686-w64-mingw32-objdump -p "$work/zip/x86/VANTProj1.ocx" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\]/ && NR > 1 {print $3}' | tr '\n' ' ')
check "the 32-bit library's exports, undecorated" \
  "DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer " "$exports"
for arch in x86:i386:x86 x64:x86-64:amd64; do
  IFS=: read -r folder format manifest <<<"$arch"
  check "$folder: both files built for $format" "pei-$format pei-$format" \
    "$(objdump -f "$work/zip/$folder/VANTProj1.ocx" "$work/zip/$folder/vant-form.exe" 2>/dev/null |
       sed -n 's/.*file format //p' | tr '\n' ' ' | sed 's/ $//')"
  check "$folder: vant-form.exe's manifest names $manifest" "processorArchitecture=\"$manifest\"" \
    "$(strings "$work/zip/$folder/vant-form.exe" | grep -o 'processorArchitecture="[^"]*"' | sort -u | tr '\n' ' ' | sed 's/ $//')"
done

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
unset DISPLAY
wine wineboot --init >/dev/null 2>&1
wineserver -w
# Windows without a display: Wine's null driver, taken up once every
# process of the prefix's start has ended.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w
wineserver -p 2>/dev/null || true
clsid='{B4BDF183-5E81-4659-A1DE-6F05CAD755CE}'
win() { winepath -w "$1"; }
script() {  # the zip's registration script FOLDER NAME: its exit code
  local code=0
  wine cmd /c "$(win "$work/zip/$1/$2.cmd")" >/dev/null 2>&1 || code=$?
  echo "$code"
}
value() {  # the default value of a key in one view (32 or 64), or nothing
  wine reg query "$1" /ve "/reg:$2" 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p'
}
exists() { wine reg query "$1" "/reg:$2" >/dev/null 2>&1 && echo yes || echo no; }
# Every trace of the class in both hives and both views.
traces() {
  local out="" hive view
  for hive in 'HKCU\Software\Classes' 'HKLM\Software\Classes'; do
    for view in 32 64; do
      for key in "CLSID\\$clsid" VANTProj1.VANT1; do
        [[ $(exists "$hive\\$key" $view) == yes ]] && out+="$hive\\$key (view $view) "
      done
    done
  done
  echo "${out:-none}"
}
x86=$(win "$work/zip/x86/VANTProj1.ocx")
expected_script='Caption: VANT NTFS v 1.0
Caption written back: 12 letters
Color: 336699
Enabled: 0
Enabled: 1
Visible: 0
Visible: 1
AboutBox: done
Font: 8 points
Wrong property: error 438'
x64=$(win "$work/zip/x64/VANTProj1.ocx")

echo "-- x86 for the user"
check "x86\\register-user.cmd" 0 "$(script x86 register-user)"
wine reg query "HKCU\\Software\\Classes\\CLSID\\$clsid" /s /reg:32 | tr -d '\r' || true
wine reg query 'HKCU\Software\Classes\VANTProj1.VANT1' /s /reg:32 | tr -d '\r' || true
check "the user's InprocServer32 (32-bit view)" "$x86" "$(value "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" 32)"
check "the user's ProgID" "$clsid" "$(value 'HKCU\Software\Classes\VANTProj1.VANT1\CLSID' 32)"
check "nothing for the machine" no "$(exists "HKLM\\Software\\Classes\\CLSID\\$clsid" 32)"
# Windows' COM reads the user's classes before the machine's; Wine 8's reads
# only the machine's. So the user's rows, exactly as written, are copied
# into the machine's 32-bit view for as long as the 32-bit cscript runs the
# zip's example: that they suffice to create the control is what is tested.
for key in "CLSID\\$clsid" VANTProj1.VANT1; do
  wine reg export "HKCU\\Software\\Classes\\$key" "$(win "$work")\\user.reg" /y >/dev/null 2>&1
  iconv -f UTF-16 -t UTF-8 "$work/user.reg" | sed 's/^\[HKEY_CURRENT_USER\\Software\\Classes/[HKEY_LOCAL_MACHINE\\Software\\Classes/' \
    >"$work/merged.reg"
  wine 'C:\windows\syswow64\reg.exe' import "$(win "$work/merged.reg")" >/dev/null 2>&1 || true
done
check "x86 registered for the user, created by the 32-bit cscript running control.vbs" "$expected_script" \
  "$(wine 'C:\windows\syswow64\cscript.exe' //nologo "$(win "$work/zip/control.vbs")" 2>/dev/null | tr -d '\r')"
for key in "CLSID\\$clsid" VANTProj1.VANT1; do
  wine reg delete "HKLM\\Software\\Classes\\$key" /f /reg:32 >/dev/null 2>&1 || true
done
check "x86\\unregister-user.cmd" 0 "$(script x86 unregister-user)"
check "nothing left after the user's removal" none "$(traces)"

echo "-- x64 and x86 for the machine, side by side"
check "x64\\register-machine.cmd" 0 "$(script x64 register-machine)"
check "x86\\register-machine.cmd" 0 "$(script x86 register-machine)"
wine reg query "HKLM\\Software\\Classes\\CLSID\\$clsid" /s /reg:32 | tr -d '\r' || true
wine reg query 'HKLM\Software\Classes\VANTProj1.VANT1' /s /reg:32 | tr -d '\r' || true
check "InprocServer32, 64-bit view" "$x64" "$(value "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" 64)"
check "InprocServer32, 32-bit view" "$x86" "$(value "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" 32)"
status=0
VANT_INSTALLED_CONTROL=$x64 wine "$root/build-win/tests/vant_host_tests.exe" \
  --gtest_filter=Installed.EmbeddedByAtlHostFromItsRegistration >"$work/atl.log" 2>&1 || status=$?
check "x64 embedded by ATL's host from its registration" "0 1" \
  "$status $(grep -c '^\[       OK \] Installed' "$work/atl.log")"
[[ $status == 0 ]] || grep -v "^wine: Read access" "$work/atl.log" | sed "s/^/      /"
check "x86 registered for the machine, created by the 32-bit cscript running control.vbs" "$expected_script" \
  "$(wine 'C:\windows\syswow64\cscript.exe' //nologo "$(win "$work/zip/control.vbs")" 2>/dev/null | tr -d '\r')"
check "x64\\unregister-machine.cmd" 0 "$(script x64 unregister-machine)"
check "x86\\unregister-machine.cmd" 0 "$(script x86 unregister-machine)"
check "nothing left after the machine's removal" none "$(traces)"
wineserver -k 2>/dev/null || true

echo "== the .deb"
dpkg-deb -I "$deb"
check "Depends computed from the libraries vant links" yes \
  "$(dpkg-deb -f "$deb" Depends | grep -q 'libc6 (>= ' && echo yes)"
dpkg-deb -x "$deb" "$work/root"
vant=$work/root/usr/bin/vant
check "vant --version" "vant $version" "$("$vant" --version)"
check "the manual page" yes "$([[ -s $work/root/usr/share/man/man1/vant.1.gz ]] && echo yes)"
image=$work/demo.img
build/tests/fixtures/vant_mkfixture --image "$image" --size-mib 64 --cluster 4096 --sector 512 --seed 1 \
  --profile standard --manifest "$work/demo.tsv" >/dev/null
before=$(sha256sum "$image")
"$vant" tree "$image" >"$work/tree.txt"
check "the tree shows the deleted folder" yes "$(grep -q 'Borrada' "$work/tree.txt" && echo yes)"
"$vant" recover "$image" --all-deleted -o "$work/recovered" >/dev/null
exact=0 wrong=0
while IFS=$'\t' read -r record parent kind state size sha runs resident reused path; do
  [[ $kind == file && $state == deleted && $size != 0 && $reused != 1 && -f $work/recovered/$path ]] || continue
  if [[ $(sha256sum "$work/recovered/$path" | cut -c1-64) == "$sha" ]]; then exact=$((exact + 1)); else
    wrong=$((wrong + 1)); echo "      differs: $path"; fi
done < <(tail -n +2 "$work/demo.tsv")
check "deleted files recovered byte-exact (none differ, some checked)" "0 yes" "$wrong $([[ $exact -gt 0 ]] && echo yes)"
echo "      $exact files compared"
check "the volume unchanged" "$before" "$(sha256sum "$image")"

rm -rf "$work"
echo "$failures failed"
[[ $failures == 0 ]]
