#!/usr/bin/env bash
# The hardened executable: its PE headers and import table, and a DLL planted beside it.
#
# An installer is downloaded into a folder full of other files and run with administrator
# rights. A DLL named like one that Windows or a system DLL loads by bare name, planted
# beside it, must never be loaded:
# - the import table names only DLLs that Windows always takes from the system folder
#   (the common controls are loaded later, by name, see RegisterCommonControls);
# - the program restricts the search for every later load to the system folder first.
# Under Wine the load order is set to prefer native DLLs, as Windows does, so that a DLL
# found in the program's folder would be taken.
source "$(dirname "$0")/lib.sh"

# DLLs that Windows always loads from the system folder (its KnownDLLs), in lower case.
known_dlls=" advapi32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll user32.dll comdlg32.dll shlwapi.dll imm32.dll rpcrt4.dll ws2_32.dll setupapi.dll "
OBJDUMP=x86_64-w64-mingw32-objdump

# check_pe <label> <exe>: ASLR and DEP flags, stack protection linked in, known imports.
check_pe() {
  local label=$1 exe=$2 flags dll
  scenario "$label: PE headers and imports"
  "$OBJDUMP" -p "$exe" > "$WORK/pe.txt"
  flags=$((16#$(awk '/^DllCharacteristics/ {print $2}' "$WORK/pe.txt")))
  echo "    DllCharacteristics 0x$(printf %x "$flags")"
  check "address-space randomisation (DYNAMIC_BASE 0x40)" test $((flags & 0x40)) -ne 0
  check "data execution prevention (NX_COMPAT 0x100)" test $((flags & 0x100)) -ne 0
  check "stack protection linked in" grep -q "stack smashing detected" "$exe"
  while read -r dll; do
    echo "    imports $dll"
    case $known_dlls in
      *" ${dll,,} "*) ;;
      *) echo "FAILED: $CURRENT: imports $dll, which Windows may look for beside the program"
         failures=$((failures + 1)) ;;
    esac
  done < <(awk '/DLL Name:/ {print $3}' "$WORK/pe.txt")
  # Texts reach Windows through the wide-character functions only, decoded as Shift-JIS
  # whatever the system code page. The C runtime's start-up and its random seed take no
  # text of ours, and the INI writer keeps Windows' own function on code page 932.
  while read -r name; do
    case " GetStartupInfoA CryptAcquireContextA WritePrivateProfileStringA " in
      *" $name "*) ;;
      *) echo "FAILED: $CURRENT: imports the byte-string function $name"
         failures=$((failures + 1)) ;;
    esac
  done < <(sed -n '/Import Tables/,/Export Tables/p' "$WORK/pe.txt" |
           awk 'NF == 3 && $3 ~ /[a-z]A$/ {print $3}')
}

check_pe "installer under test" "$FERN_WIN32_DIR/fernstall.exe"
check_pe "uninstaller under test" "$FERN_WIN32_DIR/UnInst.exe"
if [ -n "${FERN_I686_DIR:-}" ] && [ -f "$FERN_I686_DIR/fernstall.exe" ]; then
  check_pe "32-bit installer" "$FERN_I686_DIR/fernstall.exe"
  check_pe "32-bit uninstaller" "$FERN_I686_DIR/UnInst.exe"
fi

# DLLs that the installer's process loads by bare name after its start (seen with
# WINEDEBUG=+loaddll): the theme library, loaded for the first window, among them. DLLs
# that Wine's own system DLLs import at process start are left out: Windows takes those
# from the system folder as dependencies of its KnownDLLs, Wine searches the program's
# folder for them before any code of the program runs (version.dll hangs Wine's loader).
planted=(uxtheme msimg32 dwmapi)
overrides=$WINEDLLOVERRIDES
for name in "${planted[@]}"; do overrides="$overrides;$name=n,b"; done

disc=$WORK/downloads
mkdir -p "$disc"
make_game "$WORK/game" "植え込み試験"
pack_game "$WORK/game" "$disc/setup.exe"
for name in "${planted[@]}"; do cp "$FERN_WIN32_DIR/planted.dll" "$disc/$name.dll"; done
cp "$FERN_WIN32_DIR/load_probe.exe" "$disc/"
log=$WORK/planted-loads.txt
export FERN_PLANT_LOG
FERN_PLANT_LOG=$(winpath "$log")

# Every planted DLL that was loaded wrote its name into the log.
no_planted_loads() {
  if [ -s "$log" ]; then
    echo "FAILED: $CURRENT: planted DLLs were loaded:"
    sed 's/^/      /' "$log"
    failures=$((failures + 1))
  fi
}

scenario "control: a program without the restriction takes the planted DLL"
: > "$log"
WINEDLLOVERRIDES=$overrides "$FERN_WINE" "$disc/load_probe.exe" uxtheme.dll >/dev/null 2>&1 || true
check "the planted uxtheme.dll was loaded by the control" grep -qi 'uxtheme.dll' "$log"

scenario "the installer from the same folder: menu shown, nothing planted loaded"
: > "$log"
T=$'\t'
WINEDLLOVERRIDES=$overrides WINEDEBUG=+loaddll drive <<END || true
launch${T}setup${T}$(winpath "$disc/setup.exe")
wait-window${T}setup${T}#32770${T}植え込み試験 スタートアップ${T}60000
click${T}1000
wait-exit${T}setup${T}20000
END
expect "exit${T}0"
# The installer did ask for the theme library, and got the system's copy.
check "uxtheme.dll loaded from the system folder" grep -qi 'system32\\\\uxtheme.dll' "$WORK/driver.err"
no_planted_loads

scenario "a whole installation from the same folder: nothing planted loaded"
on_exit remove_new_kept_copies
# Loaded later, by name, by the system's own DLLs: the copy window's animation (video for
# windows and its sound and codec libraries) and the crypto provider.
late=(msvfw32 msacm32 winmm rsaenh)
for name in "${late[@]}"; do
  cp "$FERN_WIN32_DIR/planted.dll" "$disc/$name.dll"
  overrides="$overrides;$name=n,b"
done
: > "$log"
WINEDLLOVERRIDES=$overrides WINEDEBUG=+loaddll drive <<END || true
$(walk_to_copy "$disc/setup.exe" 植え込み試験 'C:\Games\Planted')
$(walk_from_copy 60000)
END
expect "exit${T}0"
check "msvfw32.dll (the copy animation) loaded from the system folder" \
  grep -qi 'system32\\\\msvfw32.dll' "$WORK/driver.err"
no_planted_loads
rm -f "$disc"/*.dll
finish
