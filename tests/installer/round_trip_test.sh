#!/usr/bin/env bash
# QuellixSetup.exe under Wine, in a new prefix of its own, as a user meets it:
#   1. a silent install for all users: the files, the control registered for the machine,
#      the Start-menu shortcut, the Add/Remove Programs entry;
#   2. norvane.exe started from where it was put, and quit by its Exit command; then its
#      allow list through several runs: an address with a comma, a file held by another
#      program at start and at quit, a hand edit, a second copy started by mistake;
#   3. with the program running again, the toolbar button on and an allow list in both of
#      its places, a silent uninstall as a script starts it (cmd /c), which returns when
#      the work is done: the program is quit, and nothing of ours is left but the allow
#      list, which silent mode keeps;
#   4. the same for one user (/CurrentUser): files in the local application data, the entry
#      under HKCU, nothing registered, the list kept through the program's runs, and
#      nothing left after the uninstall but the list;
#   5. the zip: one folder, Quellix-<version>, whose files run as they are: nothing
#      registered;
#   6. the Windows Installer package: an older build installed with msiexec /qn, registering
#      the control as regsvr32 does, the program started from there; with the toolbar button
#      and start-up on, a newer package over the running program, which it quits and starts
#      again, keeping the user's list and settings; and msiexec /x while it runs, which quits
#      it and leaves nothing of the package or the program but the list with its entries.
#
#   round_trip_test.sh QuellixSetup.exe VERSION window_probe.exe BIN_DIR PREFIX ZIP MSI OLDER_MSI
set -euo pipefail

tools=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../tools" && pwd)
if [ -z "${DISPLAY:-}" ]; then
  QUELLIX_PRIVATE_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
setup=$(realpath "$1")
version=$2
probe=$(realpath "$3")
bin=$(realpath "$4")
zip=$(realpath "$6")
msi=$(realpath "$7")
older_msi=$(realpath "$8")
# Every wine and wineserver call below is for this prefix alone: never another's server.
WINEPREFIX=$(realpath -m "$5")
export WINEPREFIX
wine() { "$tools/wine-run" "$@"; }

failures=0
fail() {
  echo "FAULT: $*" >&2
  failures=$((failures + 1))
}
stop() {
  fail "$*"
  echo "$failures fault(s); the prefix is left for a look: $WINEPREFIX" >&2
  exit 1
}
step() { echo "--- $*"; }

# value KEY NAME: a registry value's data ('' for the default value); fails when missing.
value() {
  local out
  if [ -z "$2" ]; then out=$(wine reg query "$1" /ve 2>/dev/null); else out=$(wine reg query "$1" /v "$2" 2>/dev/null); fi
  out=$(tr -d '\r' <<<"$out" | sed -n 's/^    .*    REG_[A-Z_]*    //p' | head -n 1)
  [ -n "$out" ] && printf '%s' "$out"
}
expect_value() {  # expect_value KEY NAME WANTED
  local got
  got=$(value "$1" "$2") || { fail "$1${2:+ /v $2}: missing"; return; }
  [ "${got,,}" = "${3,,}" ] || fail "$1${2:+ /v $2}: '$got', not '$3'"
}
key_gone() { ! wine reg query "$1" >/dev/null 2>&1 || fail "$1 is still there"; }
key_kept() { wine reg query "$1" >/dev/null 2>&1 || fail "$1 is gone"; }
unix_path() { realpath -m "$(wine winepath -u "$1" 2>/dev/null | tr -d '\r')"; }
# wait_for_prefix: every process of the prefix ended (a setup's children, the uninstaller's
# copy of itself in the temporary folder, the program it quit).
wait_for_prefix() { timeout 180 wineserver -w || stop "processes of the prefix still running after 180 s"; }

clsid='{FC63E66E-7C55-4B1C-B8E7-8F9CDC03469F}'
libid='{010324C7-33E5-4680-9C89-BFA48BF26881}'
interfaces=('{55017665-047A-428F-A9EA-F60F680B736C}' '{BCCE5F82-6CAC-44F4-8814-ECB2202E183E}'
  '{07A425B7-5C85-4AE3-93D0-3BC3A71E139D}')
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Quellix'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
toolbar_key='HKLM\Software\Microsoft\Internet Explorer\Extensions\{6D3C5B1E-8A47-4F2C-B9E0-3F1A7C52D4E8}'
kill_bit_key="HKLM\\Software\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\$clsid"
files=(norvane.exe tessaly.ocx 1.ico 4.ico quellix.html)
# The build's Windows, win32 or win64 (set for the 64-bit build, whose programs 64-bit Wine
# runs): also the name of the key under which the type library registers itself.
platform=${QUELLIX_WINE_ARCH:-win32}

# registration: the control's registration for the machine, one sorted line a key and a
# "key|value" line a value. Wine's RegisterTypeLib counts the library's image on disk (8)
# among the flags it writes, which Windows does not write; Windows Installer's tables write no
# empty default text, and a key alone stands for one: these aside, regsvr32's and the
# package's are the same.
registration() {
  local key
  for key in "CLSID\\$clsid" tessaly.IEEvents "TypeLib\\$libid" "${interfaces[@]/#/Interface\\}"; do
    wine reg query "HKLM\\Software\\Classes\\$key" /s 2>/dev/null
  done | tr -d '\r' | awk '/^HKEY/ {key = tolower($0); print key; next}
    /^ +\(Default\) +REG_SZ *$/ {next}
    NF {if (key ~ /\\flags$/ && int($NF / 8) % 2) sub(/[0-9]+$/, $NF - 8); print key "|" $0}' | sort
}

# nothing_of_ours: no registration, entry, setting, log-on value, toolbar key or shortcut.
nothing_of_ours() {
  local root id
  for root in HKLM HKCU; do
    key_gone "$root\\Software\\Classes\\CLSID\\$clsid"
    key_gone "$root\\Software\\Classes\\tessaly.IEEvents"
    key_gone "$root\\Software\\Classes\\TypeLib\\$libid"
    for id in "${interfaces[@]}"; do key_gone "$root\\Software\\Classes\\Interface\\$id"; done
    key_gone "$root\\$uninstall_key"
  done
  key_gone 'HKCU\Software\Quellix'
  key_gone "$toolbar_key"
  key_gone "$kill_bit_key"
  ! value "$run_key" Quellix >/dev/null || fail "the run-at-log-on value Quellix is still there"
  [ -z "$(find "$WINEPREFIX/drive_c" -iname 'quellix*.lnk')" ] || fail "a shortcut is left: $(find "$WINEPREFIX/drive_c" -iname 'quellix*.lnk')"
}

# installed_in WINDOWS_FOLDER ROOT START_MENU: the files, the shortcut and the entry.
installed_in() {
  local folder=$1 root=$2 menu=$3 unix file link size
  unix=$(unix_path "$folder")
  for file in "${files[@]}"; do
    cmp -s "$bin/$file" "$unix/$file" || fail "$folder\\$file is missing or not the one built"
  done
  [ -f "$unix/uninstall.exe" ] || fail "no $folder\\uninstall.exe"
  link=$(find "$WINEPREFIX/drive_c" -iname 'quellix*.lnk')
  if [ "$(dirname "$link")" != "$menu" ]; then
    fail "the shortcut is '${link:-missing}', not in $menu"
  elif ! grep -aqi "norvane.exe" "$link"; then
    fail "the shortcut does not start norvane.exe"
  fi
  expect_value "$root\\$uninstall_key" DisplayName Quellix
  expect_value "$root\\$uninstall_key" DisplayVersion "$version"
  expect_value "$root\\$uninstall_key" Publisher Quellix
  expect_value "$root\\$uninstall_key" DisplayIcon "$folder\\norvane.exe,0"
  expect_value "$root\\$uninstall_key" UninstallString "\"$folder\\uninstall.exe\" _?=$folder"
  expect_value "$root\\$uninstall_key" QuietUninstallString "\"$folder\\uninstall.exe\" /S _?=$folder"
  expect_value "$root\\$uninstall_key" InstallLocation "$folder"
  expect_value "$root\\$uninstall_key" NoModify 0x1
  expect_value "$root\\$uninstall_key" NoRepair 0x1
  size=$(value "$root\\$uninstall_key" EstimatedSize) || size=0
  [ $((size)) -ge $(($(du -c --apparent-size -k "${files[@]/#/$bin/}" | tail -n 1 | cut -f 1) - 8)) ] ||
    fail "EstimatedSize $size KB is less than the files"
}

# The program from FOLDER, shown; $program is its wine process.
start_program() {
  wine "$1\\norvane.exe" &
  program=$!
  wine "$probe" wait 60 >/dev/null || stop "norvane.exe from $1 did not show its window"
}
quit_program() {
  wine "$probe" quit 30 >/dev/null || fail "norvane.exe did not quit cleanly"
  wait "$program" || fail "wine norvane.exe ended with $?"
}
# quit_by WHAT: the program ($program) has ended, cleanly, once WHAT returned: it was asked to
# quit (nothing else ends it).
quit_by() {
  if kill -0 "$program" 2>/dev/null; then
    fail "norvane.exe still runs after $1"
    kill "$program"
  fi
  wait "$program" || fail "norvane.exe, quit by $1, ended with $?"
}
allowed() { wine "$probe" allowed | tr -d '\r'; }
# hold FILE MS: another program holds FILE open for MS milliseconds ($holder: its process).
hold() {
  local said
  said=$(mktemp)
  wine "$probe" hold "$1" "$2" >"$said" &
  holder=$!
  for _ in $(seq 200); do grep -q held "$said" && break; sleep 0.05; done
  rm -f "$said"
}

# lists_survive FOLDER: the allow list and the allowed sites beside the program, through
# the program's runs.
lists_survive() {
  local folder=$1 file dir kept
  file="$folder\\Allow.txt"
  dir=$(unix_path "$folder")
  printf 'http://gone.example/\r\n"http://kept.example/?a=1,b=2"\r\nhttp://other.example/\r\n' >"$dir/Allow.txt"
  printf 'news.example\r\ngone.example\r\n' >"$dir/Sites.txt"
  start_program "$folder"
  [ "$(allowed)" = $'http://gone.example/\nhttp://kept.example/?a=1,b=2\nhttp://other.example/' ] ||
    fail "the list read from $file is '$(allowed)'"
  wine "$probe" remove 0 >/dev/null || fail "an allowed address could not be removed"
  wine "$probe" remove-site 1 >/dev/null || fail "an allowed site could not be removed"
  # Another program holds the file for a moment as the program saves it on its way out.
  hold "$file" 300
  quit_program
  wait "$holder" || fail "the file could not be held"
  kept=$'"http://kept.example/?a=1,b=2"\r\nhttp://other.example/\r'
  [ "$(cat "$dir/Allow.txt")" = "$kept" ] || fail "the list was saved as '$(cat "$dir/Allow.txt")'"
  [ "$(cat "$dir/Sites.txt")" = $'news.example\r' ] || fail "the sites were saved as '$(cat "$dir/Sites.txt")'"

  # Held when the program starts, for longer than it waits: nothing is lost. A second copy
  # started meanwhile ends at once, and the first goes on.
  hold "$file" 3000
  start_program "$folder"
  wine "$folder\\norvane.exe" || fail "a second copy ended with $?"
  wine "$probe" wait 10 >/dev/null || fail "the first copy's window is gone after a second start"
  wait "$holder" || fail "the file could not be held"
  quit_program
  [ "$(cat "$dir/Allow.txt")" = "$kept" ] || fail "after a start with the file held: '$(cat "$dir/Allow.txt")'"

  # A hand edit afterwards is what the next start reads.
  printf 'http://hand.example/\r\n' >>"$dir/Allow.txt"
  start_program "$folder"
  [ "$(allowed)" = $'http://kept.example/?a=1,b=2\nhttp://other.example/\nhttp://hand.example/' ] ||
    fail "after a hand edit the list is '$(allowed)'"
  quit_program
}

# uninstall ROOT: the uninstaller as Add/Remove Programs starts it silently; a script that
# starts it so can rely on its work being done when it returns (all but the removal of the
# uninstaller's own file and folder, which follows at once).
uninstall() {
  wine "$probe" uninstall "$1" >/dev/null || fail "the uninstaller ended with $?"
}
# uninstall_from_script ROOT: the same line as a script runs it, from a batch file through
# cmd /c, which keeps it as written (from a Unix shell, `wine uninstall.exe /S _?=...` would
# quote the folder again: the uninstaller, not seeing _?=, would leave the work to a copy of
# itself and return at once). When cmd returns, the program's files are gone.
uninstall_from_script() {
  local command folder
  command=$(value "$1\\$uninstall_key" QuietUninstallString) || { fail "no QuietUninstallString under $1"; return; }
  folder=$(unix_path "$(value "$1\\$uninstall_key" InstallLocation)")
  printf '@%s\r\n' "$command" >"$WINEPREFIX/drive_c/uninstall-quietly.bat"
  wine cmd /c 'C:\uninstall-quietly.bat' || fail "cmd /c $command ended with $?"
  [ ! -e "$folder/norvane.exe" ] && [ ! -e "$folder/tessaly.ocx" ] ||
    fail "cmd /c $command returned before the program's files were removed"
  rm -f "$WINEPREFIX/drive_c/uninstall-quietly.bat"
}

step "a new prefix: $WINEPREFIX"
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
trap 'wineserver -k 2>/dev/null || true' EXIT
wine cmd /c exit
managed=Y
[ -n "${QUELLIX_PRIVATE_DISPLAY:-}" ] && managed=N  # no window manager
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d $managed /f >/dev/null
program_files=$(wine cmd /c 'echo %ProgramFiles%' | tr -d '\r')
local_app_data=$(wine cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r')
common_menu=$(unix_path "$(wine cmd /c 'echo %ProgramData%' | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs")
user_menu=$(unix_path "$(wine cmd /c 'echo %APPDATA%' | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs")
wait_for_prefix

step "silent install for all users (version $version)"
folder="$program_files\\Quellix"
wine "$setup" /S || stop "the setup ended with $?"
wait_for_prefix
installed_in "$folder" HKLM "$common_menu"
key_gone "HKCU\\$uninstall_key"
expect_value "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" "" "$folder\\tessaly.ocx"
expect_value "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" ThreadingModel Apartment
expect_value "HKLM\\Software\\Classes\\TypeLib\\$libid\\7.0\\0\\$platform" "" "$folder\\tessaly.ocx"
expect_value "$kill_bit_key" "Compatibility Flags" 0x400
[ "$failures" -eq 0 ] || stop "the installation is not as it should be"
regsvr32_registration=$(registration)

step "the program runs from there and quits on Exit"
wine reg add 'HKCU\Software\Quellix\Options' /v StartUp /d 1 /f >/dev/null
wine "$folder\\norvane.exe" &
program=$!
info=$(wine "$probe" wait 60 | tr -d '\r') || stop "norvane.exe did not show its window: $info"
echo "$info"
grep -qixF "program=$folder\\norvane.exe" <<<"$info" || fail "the program did not run from $folder"
wine "$probe" quit 30 || fail "norvane.exe did not quit cleanly"
wait "$program" || fail "wine norvane.exe ended with $?"
# Quit with "Run at StartUp" on enters the installed program for log-on (quoted or not).
run=$(value "$run_key" Quellix) || run=missing
[ "${run//\"/}" = "$folder\\norvane.exe" ] || fail "the run-at-log-on value is '$run', not the installed program"

step "the allow list through the program's runs, installed for all users"
lists_survive "$folder"

step "silent uninstall while the program runs, with the toolbar button and an allow list"
instdir=$(unix_path "$folder")
# The program reads it at start; unchanged, it leaves it as it is when the uninstaller quits it.
printf 'http://kept.example/\r\n' >"$instdir/Allow.txt"
wine reg add "$toolbar_key" /v ButtonText /d Quellix /f >/dev/null
wine reg add "$toolbar_key" /v Exec /d "$folder\\norvane" /f >/dev/null
wine "$folder\\norvane.exe" &
program=$!
wine "$probe" wait 60 >/dev/null || stop "norvane.exe did not start again"
uninstall_from_script HKLM
quit_by "the uninstaller"
nothing_of_ours
wait_for_prefix
[ "$(cat "$instdir/Allow.txt" 2>/dev/null)" = $'http://kept.example/\r' ] ||
  fail "silent mode did not keep the allow list beside the program"
[ "$(cat "$instdir/Sites.txt" 2>/dev/null)" = $'news.example\r' ] ||
  fail "silent mode did not keep the allowed sites beside the program"
left=$(find "$instdir" -type f 2>/dev/null | grep -v '/Allow\.txt$\|/Sites\.txt$' || true)
[ -z "$left" ] || fail "files left: $left"
rm -rf "$instdir"

step "silent install and uninstall for the current user"
folder="$local_app_data\\Quellix"
instdir=$(unix_path "$folder")
wine "$setup" /S /CurrentUser || stop "the setup ended with $?"
wait_for_prefix
installed_in "$folder" HKCU "$user_menu"
key_gone "HKLM\\$uninstall_key"
key_gone "HKCU\\Software\\Classes\\CLSID\\$clsid"
key_gone "HKLM\\Software\\Classes\\CLSID\\$clsid"
# Here the program's folder is also where the allow list goes when no other place can be
# written: one file, which the program must never take for an older copy of itself.
lists_survive "$folder"
[ "$(ls -A "$instdir" | grep -ci allow)" = 1 ] || fail "$folder holds $(ls -A "$instdir" | grep -i allow)"
uninstall HKCU
nothing_of_ours
wait_for_prefix
[ "$(ls -A "$instdir" 2>/dev/null)" = $'Allow.txt\nSites.txt' ] ||
  fail "$folder holds '$(ls -A "$instdir" 2>/dev/null)', not the two lists alone"
[ "$(head -n 1 "$instdir/Allow.txt" 2>/dev/null)" = $'"http://kept.example/?a=1,b=2"\r' ] ||
  fail "silent mode did not keep the allow list in the local application data"
# Empty lists go, and with them the folder.
printf '\xEF\xBB\xBF' >"$instdir/Allow.txt"
: >"$instdir/Sites.txt"
wine "$setup" /S /CurrentUser || stop "the setup ended with $?"
wait_for_prefix
uninstall HKCU
wait_for_prefix
[ ! -e "$instdir" ] || fail "after an uninstall with an empty list $folder holds '$(ls -A "$instdir")'"
wait_for_prefix

step "the zip: one folder, whose files run as they are, registered nowhere"
unzipped="$WINEPREFIX/drive_c/unzipped"
rm -rf "$unzipped"
mkdir -p "$unzipped"
unzip -q "$zip" -d "$unzipped"
[ "$(ls -A "$unzipped")" = "Quellix-$version" ] || fail "the zip unpacks into '$(ls -A "$unzipped")', not Quellix-$version"
[ "$(ls -A "$unzipped/Quellix-$version" | sort)" = "$( (printf '%s\n' "${files[@]}"; echo policy) | sort)" ] ||
  fail "the zip's folder holds '$(ls -A "$unzipped/Quellix-$version")'"
start_program "C:\\unzipped\\Quellix-$version"
quit_program
rm -rf "$unzipped"
wait_for_prefix

# Anything at all in the registry that names us.
wine reg export HKLM "Z:${WINEPREFIX//\//\\}\\hklm.reg" /y >/dev/null
wine reg export HKCU "Z:${WINEPREFIX//\//\\}\\hkcu.reg" /y >/dev/null
traces=$(iconv -f UTF-16LE -t UTF-8 "$WINEPREFIX/hklm.reg" "$WINEPREFIX/hkcu.reg" | tr -d '\r' |
  grep -iE 'quellix|tessaly|norvane|FC63E66E|010324C7|6D3C5B1E' | head -n 5 || true)
[ -z "$traces" ] || fail "the registry still names us: $traces"

# After the registry's check above: Windows Installer keeps records of its own that name the
# folder the kept list holds open.
step "the Windows Installer package: install, upgrade, remove (msiexec /qn)"
folder="$program_files\\Quellix"
instdir=$(unix_path "$folder")
product_code() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }
arp='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
msiexec() { wine msiexec "$1" "$(wine winepath -w "$2" | tr -d '\r')" /qn || fail "msiexec $1 $(basename "$2") ended with $?"; }
msiexec /i "$older_msi"
wait_for_prefix
expect_value "$arp\\$(product_code "$older_msi")" DisplayName Quellix
expect_value "$arp\\$(product_code "$older_msi")" DisplayVersion 0.9.0
[ "$(registration)" = "$regsvr32_registration" ] ||
  fail "the package registers the control otherwise than regsvr32: $(diff <(echo "$regsvr32_registration") <(registration))"
expect_value "$kill_bit_key" "Compatibility Flags" 0x400
# Windows puts the shortcut of a package for all users in the common Start menu; Wine's
# Windows Installer (8.0) always takes the user's menu folder, whatever ALLUSERS says.
[ -n "$(find "$common_menu" "$user_menu" -iname 'quellix.lnk')" ] || fail "no shortcut in $common_menu"
start_program "$folder"
quit_program
printf 'http://kept.example/\r\n' >"$instdir/Allow.txt"

# The user turns the toolbar button and start-up on (the options dialog writes the button's
# key; the run-at-log-on value is written as the program quits). The user's own button was
# written by another copy, from elsewhere: it stays.
wine reg add 'HKCU\Software\Quellix\Options' /v StartUp /d 1 /f >/dev/null
wine reg add 'HKCU\Software\Quellix\Options' /v IEicon /d 1 /f >/dev/null
wine reg add "$toolbar_key" /v Exec /d "$folder\\norvane" /f >/dev/null
user_toolbar_key="HKCU${toolbar_key#HKLM}"
wine reg add "$user_toolbar_key" /v Exec /d 'C:\unzipped\Quellix\norvane' /f >/dev/null
start_program "$folder"
msiexec /i "$msi"
quit_by "the upgrade"
info=$(wine "$probe" wait 60 | tr -d '\r') || fail "the upgrade did not start norvane.exe again"
grep -qixF "program=$folder\\norvane.exe" <<<"$info" || fail "after the upgrade: $info"
wine "$probe" quit 30 >/dev/null || fail "norvane.exe, started by the upgrade, did not quit cleanly"
wait_for_prefix
key_kept 'HKCU\Software\Quellix\Options'
key_kept "$toolbar_key"
value "$run_key" Quellix >/dev/null || fail "the upgrade took the run-at-log-on value"
key_gone "$arp\\$(product_code "$older_msi")"
expect_value "$arp\\$(product_code "$msi")" DisplayVersion "$version"
for file in "${files[@]}"; do
  cmp -s "$bin/$file" "$instdir/$file" || fail "after the upgrade $folder\\$file is missing or not the one built"
done
[ "$(cat "$instdir/Allow.txt" 2>/dev/null)" = $'http://kept.example/\r' ] || fail "the upgrade lost the allow list"

# Removed while the program runs, which leaves the per-user copies, empty, as they are.
start_program "$folder"
user_lists=$(unix_path "$local_app_data\\Quellix")
mkdir -p "$user_lists"
printf '\xFF\xFE' >"$user_lists/Allow.txt"
: >"$user_lists/Sites.txt"
msiexec /x "$msi"
quit_by "msiexec /x"
wait_for_prefix
key_gone "$toolbar_key"
key_kept "$user_toolbar_key"
wine reg delete "$user_toolbar_key" /f >/dev/null 2>&1 || true
# Written by the program as it quit: asked first, it quit before the package's removal.
! value "$run_key" Quellix >/dev/null || fail "the run-at-log-on value Quellix is still there"
key_gone 'HKCU\Software\Quellix'
[ ! -e "$user_lists" ] || fail "$user_lists holds '$(ls -A "$user_lists")' after msiexec /x"
key_gone "$arp\\$(product_code "$msi")"
key_gone "HKLM\\Software\\Classes\\CLSID\\$clsid"
key_gone "HKLM\\Software\\Classes\\TypeLib\\$libid"
for id in "${interfaces[@]}"; do key_gone "HKLM\\Software\\Classes\\Interface\\$id"; done
key_gone 'HKLM\Software\Classes\tessaly.IEEvents'
key_gone "$kill_bit_key"
[ -z "$(find "$WINEPREFIX/drive_c" -iname 'quellix*.lnk')" ] || fail "the package left its shortcut"
# A list with entries is the user's work: it stays, and its folder; Sites.txt, which the
# program made empty, goes.
[ "$(ls -A "$instdir" 2>/dev/null)" = Allow.txt ] || fail "$folder holds '$(ls -A "$instdir" 2>/dev/null)', not the allow list alone"
[ "$(cat "$instdir/Allow.txt" 2>/dev/null)" = $'http://kept.example/\r' ] || fail "the removal took the allow list"

if [ "$failures" -gt 0 ]; then
  echo "$failures fault(s); the prefix is left for a look: $WINEPREFIX" >&2
  exit 1
fi
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
echo "install, run, quit and uninstall as they should be"
