#!/usr/bin/env bash
# The resources of the built binaries, read back with icoutils' wrestool as they lie in the
# files: norvane.exe's manifest, icons and version block; tessaly.ocx's version block, type
# library, identifier resources, toolbox bitmap and banner icon; the setup program's
# version block and manifest.
#
#   resources_test.sh BIN_DIR app/version.h [QuellixSetup.exe]
set -euo pipefail

bin=$1 version_h=$2 setup=${3:-}
for tool in wrestool xmllint; do
  command -v $tool >/dev/null || { echo "resources_test: needs $tool (tools/bootstrap installs it)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAULT: $*" >&2
  failures=$((failures + 1))
}

# resource FILE TYPE NAME: one resource's bytes, into $work/res; false when it is missing.
resource() {
  wrestool -x --raw --type="$2" --name="$3" "$1" >"$work/res" 2>/dev/null && [ -s "$work/res" ]
}

hex() { od -An -v -tx1 "$@" | tr -d ' \n'; }

# u16 FILE BYTE_OFFSET, u32 FILE BYTE_OFFSET: little-endian numbers.
u16() { od -An --endian=little -tu2 -j "$2" -N 2 "$1" | tr -d ' '; }
u32() { od -An --endian=little -tu4 -j "$2" -N 4 "$1" | tr -d ' '; }

# --- version blocks ----------------------------------------------------------------------
# A VS_VERSIONINFO block is a tree of nodes: a length in bytes, the value's length, its
# type (1 text), a NUL-terminated UTF-16 key, then the value and the children, each 32-bit
# aligned. version_info prints what matters of it, one a line:
#   fixed FILEVERSION PRODUCTVERSION FILEOS FILETYPE
#   table LANGCODEPAGE
#   string KEY=VALUE
#   translation LANG CODEPAGE
declare -a words

text_at() {  # text_at WORD [MAX]: the UTF-16 text there, up to its NUL; sets $next
  local at=$1 max=${2:-100000} out="" w
  while [ "$max" -gt 0 ] && [ "$at" -lt ${#words[@]} ] && [ "${words[at]}" != 0 ]; do
    w=${words[at]}
    if [ "$w" -ge 32 ] && [ "$w" -lt 127 ]; then out+=$(printf '%b' "\\$(printf %03o "$w")"); else out+="?"; fi
    at=$((at + 1)) max=$((max - 1))
  done
  next=$((at + 1))
  printf '%s' "$out"
}

dotted() {  # dotted WORD: the two DWORDs there as a.b.c.d
  local v=$1
  echo "${words[v + 1]}.${words[v]}.${words[v + 3]}.${words[v + 2]}"
}

walk() {  # walk WORD DEPTH
  local at=$1 depth=$2 end key value_at value_length child
  end=$((at + words[at] / 2))
  value_length=${words[at + 1]}
  key=$(text_at $((at + 3)))
  text_at $((at + 3)) >/dev/null
  value_at=$(((next + 1) / 2 * 2))
  child=$value_at
  case $depth:$key in
    0:VS_VERSION_INFO)
      if [ "${words[value_at]}" != 1213 ] || [ "${words[value_at + 1]}" != 65263 ]; then
        echo "fixed none"
        return
      fi
      echo "fixed $(dotted $((value_at + 4))) $(dotted $((value_at + 8))) ${words[value_at + 16]} ${words[value_at + 18]}"
      child=$((value_at + ((value_length + 3) & ~3) / 2))
      ;;
    1:*) ;;
    2:Translation) echo "translation $(printf '%04x %04x' "${words[value_at]}" "${words[value_at + 1]}")" ;;
    2:*) echo "table $key" ;;
    3:*)
      echo "string $key=$(text_at "$value_at" "$value_length")"
      return
      ;;
  esac
  [ "$key" = Translation ] && return
  while [ "$child" -lt "$end" ] && [ "${words[child]}" -gt 0 ]; do
    walk "$child" $((depth + 1))
    child=$((child + ((words[child] + 3) & ~3) / 2))
  done
}

version_info() {
  if ! resource "$1" 16 1; then
    echo "fixed none"
    return
  fi
  mapfile -t words < <(od -An -v --endian=little -tu2 -w2 "$work/res" | tr -d ' ')
  walk 0 0
}

# check_version FILE FILEVERSION PRODUCTVERSION FILETYPE CODEPAGE KEY=VALUE...: the fixed
# part, the US English string table in that code page and its strings are as given; a value
# of * only needs the key to be there.
check_version() {
  local file=$1 name info want pair
  name=$(basename "$file")
  info=$(version_info "$file")
  want="fixed $2 $3 4 $4"  # 4: VOS__WINDOWS32
  grep -qxF "$want" <<<"$info" || fail "$name: $(grep '^fixed' <<<"$info") instead of $want"
  grep -qix "table 0409$5" <<<"$info" || fail "$name: no string table 0409$5"
  grep -qix "translation 0409 $5" <<<"$info" || fail "$name: no translation 0409, $5"
  shift 5
  for pair; do
    if [ "${pair#*=}" = "*" ]; then
      grep -q "^string ${pair%%=*}=" <<<"$info" || fail "$name: no ${pair%%=*} string"
    else
      if ! grep -q "^string ${pair%%=*}=" <<<"$info"; then
        fail "$name: no ${pair%%=*} string"
      elif ! grep -qxF "string $pair" <<<"$info"; then
        fail "$name: ${pair%%=*} is '$(sed -n "s/^string ${pair%%=*}=//p" <<<"$info")', not '${pair#*=}'"
      fi
    fi
  done
}

# --- other resources ---------------------------------------------------------------------

# icon_group FILE NAME "WxHxBITS..." : the icon group holds exactly these pictures.
icon_group() {
  local got="" count i entry
  if ! resource "$1" 14 "$2"; then
    fail "$(basename "$1"): no icon group $2"
    return
  fi
  count=$(u16 "$work/res" 4)
  for ((i = 0; i < count; i++)); do
    entry=$((6 + 14 * i))
    got+="$(od -An -tu1 -j $entry -N 1 "$work/res" | tr -d ' ' | sed 's/^0$/256/')x"
    got+="$(od -An -tu1 -j $((entry + 1)) -N 1 "$work/res" | tr -d ' ' | sed 's/^0$/256/')x"
    got+="$(u16 "$work/res" $((entry + 6))) "
  done
  got=$(tr ' ' '\n' <<<"$got" | sed '/^$/d' | sort -n | xargs)
  [ "$got" = "$3" ] || fail "$(basename "$1"): icon $2 holds ${got:-nothing} instead of $3"
}

# guid_bytes {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: the binary layout, in hex: the first
# three fields little-endian, the last eight bytes as they stand.
guid_bytes() {
  local a b c d e
  IFS=- read -r a b c d e <<<"${1//[\{\}]/}"
  swap() { local h=$1 out="" i; for ((i = ${#h} - 2; i >= 0; i -= 2)); do out+=${h:i:2}; done; echo "$out"; }
  echo "$(swap "$a")$(swap "$b")$(swap "$c")$d$e" | tr 'A-F' 'a-f'
}

# manifest FILE XPATH DESCRIPTION...: the manifest (RT_MANIFEST 1) answers each XPath with
# true. Elements are matched by local name: the manifest mixes five namespaces.
manifest() {
  local file=$1 name
  name=$(basename "$file")
  shift
  if ! resource "$file" 24 1; then
    fail "$name: no manifest (RT_MANIFEST, 1)"
    return
  fi
  cp "$work/res" "$work/manifest.xml"
  if ! xmllint --noout "$work/manifest.xml" 2>"$work/xmllint"; then
    fail "$name: the manifest is not well-formed XML (Windows would refuse to start the program): $(head -n 1 "$work/xmllint")"
    return
  fi
  while [ $# -gt 1 ]; do
    [ "$(xmllint --xpath "$1" "$work/manifest.xml" 2>/dev/null)" = true ] || fail "$name: manifest: $2"
    shift 2
  done
}
e() { echo "*[local-name()='$1']"; }

# --- norvane.exe ---------------------------------------------------------------------------

read -r major minor revision text < <(
  sed -n 's/^#define QUELLIX_VERSION_\(MAJOR\|MINOR\|REVISION\|STRING\) "\{0,1\}\([^"]*\)"\{0,1\}$/\2/p' "$version_h" | xargs)
[ "$text" = "$(printf '%d.%02d.%04d' "$major" "$minor" "$revision")" ] ||
  fail "version.h: QUELLIX_VERSION_STRING is $text; $major.$minor.$revision is written $(printf '%d.%02d.%04d' "$major" "$minor" "$revision")"

norvane=$bin/norvane.exe
# The processor the program is built for, from its PE header (x86 or amd64, as manifests name
# it): the common controls it asks for must be built for the same, or none are found.
case $(u16 "$norvane" $(($(u32 "$norvane" 60) + 4))) in
  332) arch=x86 ;;
  34404) arch=amd64 ;;
  *) arch=unknown ;;
esac
check_version "$norvane" "$major.$minor.0.$revision" "$major.$minor.0.$revision" 1 04b0 \
  "FileVersion=$text" "ProductVersion=$text" "ProductName=Quellix" "InternalName=norvane" \
  "OriginalFilename=norvane.exe" "CompanyName=*" "FileDescription=*"
manifest "$norvane" \
  "/$(e assembly)/$(e assemblyIdentity)/@version = '$major.$minor.0.$revision'" "its version is not the program's" \
  "/$(e assembly)/$(e assemblyIdentity)/@processorArchitecture = '$arch'" "it does not name the program's processor, $arch" \
  "count(//$(e dependentAssembly)/$(e assemblyIdentity)[@name='Microsoft.Windows.Common-Controls' and @version='6.0.0.0' and @publicKeyToken='6595b64144ccf1df' and (@processorArchitecture='$arch' or @processorArchitecture='*')]) = 1" \
  "no dependency on common controls 6 (visual styles) for the program's processor, $arch" \
  "normalize-space(//$(e dpiAware)) = 'true'" "not dpiAware" \
  "//$(e requestedExecutionLevel)/@level = 'asInvoker' and //$(e requestedExecutionLevel)/@uiAccess = 'false'" \
  "execution level not asInvoker" \
  "count(//$(e supportedOS)[@Id='{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}']) = 1" \
  "Windows 10 and 11 not among the supported systems"
icon_group "$norvane" 1 "16x16x32 32x32x32 48x48x32"
for tray in 101 102 103; do
  icon_group "$norvane" $tray "16x16x32 32x32x32"
done

# --- tessaly.ocx ---------------------------------------------------------------------------

tessaly=$bin/tessaly.ocx
check_version "$tessaly" 1.1.0.2 1.1.0.2 2 04b0 \
  "FileVersion=1.01.0002" "ProductVersion=1.01.0002" "ProductName=tessaly" "InternalName=tessaly" \
  "OriginalFilename=tessaly.ocx" "CompanyName=*" "OLESelfRegister="

if resource "$tessaly" TYPELIB 1; then
  [ "$(head -c 4 "$work/res")" = MSFT ] || fail "tessaly.ocx: TYPELIB 1 is not a binary type library"
  hex "$work/res" | grep -q "$(guid_bytes '{010324C7-33E5-4680-9C89-BFA48BF26881}')" ||
    fail "tessaly.ocx: TYPELIB 1 does not hold the library's identifier"
else
  fail "tessaly.ocx: no TYPELIB 1"
fi

for pair in '_IID_IEEVENTS:{55017665-047A-428F-A9EA-F60F680B736C}' \
  '_SRCIID_IEEVENTS:{BCCE5F82-6CAC-44F4-8814-ECB2202E183E}' \
  '_IID_CBROWSERS:{07A425B7-5C85-4AE3-93D0-3BC3A71E139D}'; do
  type=${pair%%:*}
  want=10000000$(guid_bytes "${pair#*:}")
  if ! resource "$tessaly" "$type" 1; then
    fail "tessaly.ocx: no $type 1"
  elif [ "$(hex "$work/res")" != "$want" ]; then
    fail "tessaly.ocx: $type 1 is $(hex "$work/res"), not $want"
  fi
done

# The toolbox bitmap: a DIB without file header, 16 x 15, 24 bits, uncompressed, bottom-up.
if resource "$tessaly" 2 30000; then
  got="$(u32 "$work/res" 0) $(u32 "$work/res" 4) $(u32 "$work/res" 8) $(u16 "$work/res" 12) $(u16 "$work/res" 14) $(u32 "$work/res" 16)"
  [ "$got" = "40 16 15 1 24 0" ] ||
    fail "tessaly.ocx: bitmap 30000 has header, width, height, planes, bits, compression $got; wanted 40 16 15 1 24 0"
  [ "$(stat -c %s "$work/res")" -ge $((40 + 15 * 48)) ] || fail "tessaly.ocx: bitmap 30000 is cut short"
else
  fail "tessaly.ocx: no bitmap 30000"
fi
icon_group "$tessaly" 101 "16x16x4 32x32x4"

# --- QuellixSetup.exe ----------------------------------------------------------------------

if [ -n "$setup" ]; then
  # NSIS writes its strings in the Windows code page 1252.
  check_version "$setup" "$major.$minor.$revision.0" "$major.$minor.$revision.0" 1 04e4 \
    "FileVersion=$text" "ProductVersion=$text" "ProductName=Quellix" "OriginalFilename=QuellixSetup.exe" \
    "CompanyName=*" "FileDescription=*"
  # Administrators are asked to elevate, other users install for themselves; sharp at 150 %.
  manifest "$setup" \
    "//$(e requestedExecutionLevel)/@level = 'highestAvailable'" "execution level not highestAvailable" \
    "normalize-space(//$(e dpiAware)) = 'true'" "not dpiAware"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures fault(s)" >&2
  exit 1
fi
echo "resources as they should be"
