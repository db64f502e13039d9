#!/usr/bin/env bash
# The Windows download as a user meets it (`make windows-download-test`):
#
#   files    the zip, the programs' version block and the window program's
#            icon, the README's figure for its size, the winget manifest
#   install  under Wine, msiexec /i ... /qn: the programs, the Start-menu
#            shortcut (its Chinese name, the program's icon), the entry in
#            Apps & features (publisher, version, icon, uninstall); the
#            installed program starts; msiexec /x leaves nothing behind
#   upgrade  a package of a lower version, then this one: one entry stays,
#            of this version; the lower one is then refused; uninstalling
#            leaves nothing
#   sign     `make windows` with a throwaway self-signed certificate signs
#            each program and the installer; each verifies, a changed byte
#            breaks its signature, and the signed program starts under Wine
#
#   windows_download_test.sh <windows build dir> <dist dir> <version> <program>...
#
# The first program is the window program. Wine runs in a prefix of the
# test's own, <windows build dir>/download-test/prefix, made afresh and
# removed when every check has passed.
set -euo pipefail
build=$(realpath "$1") dist=$(realpath "$2") version=$3
shift 3
programs=("$@")
source=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$build/download-test
files=$source/tests/packaging/windows_files.py
msi=$dist/tidwen-$version.msi
icon=$source/src/resources/tidwen.ico

fail() { echo "FAILED: $*"; exit 1; }
skip() { echo "SKIPPED: $*"; exit 77; }
. "$source/tests/packaging/wine_session.sh"
rm -rf "$scratch" && mkdir -p "$scratch"

msi_property() { msiinfo export "$1" Property | tr -d '\r' | sed -n "s/^$2\t//p"; }
product=$(msi_property "$msi" ProductCode)
upgrade_code=$(msi_property "$msi" UpgradeCode)
[[ -n $product && -n $upgrade_code ]] || fail "$msi has no product or upgrade code"

part_files() {
  "$files" zip "$dist/tidwen-$version-windows-x64.zip" "${programs[@]}"
  "$files" resources "$dist/${programs[0]}" "$version" window
  for p in "${programs[@]:1}"; do "$files" resources "$dist/$p" "$version"; done
  "$files" readme "$source/README.md" "${programs[@]/#/$dist/}" "$msi"
  "$files" winget "$dist/winget/manifests/o/Orvanta/Tidwen/$version" "$version" "$msi"
}

# The prefix's files and the registry's mentions of the product, to tell
# what an installation left behind. The Windows Installer's own folders,
# which every Windows has, are not the product's while they are empty.
snapshot() {
  timeout 60 wineserver -w
  (cd "$WINEPREFIX/drive_c" && find . -not \( -type d -empty \( -path ./windows/Installer -o \
     -path './users/*/AppData/Roaming/Microsoft/Installer' \) \) | sort)
  grep -ciE "tidwen|orvanta|${product//[{\}]/}|$("$files" packed "$product")" \
    "$WINEPREFIX"/*.reg || true
}

msiexec() {
  timeout 300 wine msiexec "$@" /qn /l*v "$(winpath "$scratch/msiexec.log")" ||
    fail "msiexec $* failed: $(tr -d '\0' <"$scratch/msiexec.log" | tail -5)"
}

reg_value() {  # KEY NAME: the value's data, or nothing
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}

uninstall_key() {  # the Apps & features entry of a product, per user or per machine
  local root
  for root in HKCU HKLM; do
    key="$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1"
    wine reg query "$key" >/dev/null 2>&1 && { echo "$key"; return; }
  done
}

# Everything an installation of this version must have put in place.
check_installed() {
  local home programs_dir link key packed_product product_icon shown
  home=$(echo "$WINEPREFIX"/drive_c/users/*/AppData/Local/Programs/Tidwen)
  [[ -d $home ]] || fail "nothing was installed under the user's programs folder"
  [[ $(ls "$home" | sort) == $(printf '%s\n' "${programs[@]}" | sort) ]] ||
    fail "the programs folder holds $(ls "$home")"
  for p in "${programs[@]}"; do cmp -s "$home/$p" "$dist/$p" || fail "$p is not the download's"; done

  link=$(echo "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/"Tidwen 垃圾清理.lnk")
  [[ -f $link ]] || fail "no Start-menu shortcut \"Tidwen 垃圾清理\""
  mapfile -t shown < <("$files" lnk "$link")
  [[ ${shown[0]} == "$(winpath "$home/${programs[0]}")" ]] ||
    fail "the shortcut leads to ${shown[0]}"
  cmp -s "$(winepath -u "${shown[1]}" 2>/dev/null)" "$icon" ||
    fail "the shortcut's icon ${shown[1]} is not the program's"

  key=$(uninstall_key "$product")
  [[ -n $key ]] || fail "no entry $product in Apps & features"
  [[ $(reg_value "$key" DisplayName) == Tidwen && $(reg_value "$key" Publisher) == Orvanta &&
     $(reg_value "$key" DisplayVersion) == "$version" ]] ||
    fail "the entry says $(reg_value "$key" DisplayName) $(reg_value "$key" DisplayVersion)" \
         "by $(reg_value "$key" Publisher)"
  [[ $(reg_value "$key" UninstallString) == "MsiExec.exe /X$product" ]] ||
    fail "the entry uninstalls with \"$(reg_value "$key" UninstallString)\""
  packed_product=$("$files" packed "$product")
  product_icon=$(reg_value "HKCU\\Software\\Microsoft\\Installer\\Products\\$packed_product" ProductIcon)
  cmp -s "$(winepath -u "$product_icon" 2>/dev/null)" "$icon" ||
    fail "the entry's icon \"$product_icon\" is not the program's"
  echo "installed $version: ${programs[*]}, the shortcut \"Tidwen 垃圾清理\", the entry $key"
}

part_install() {
  local before
  before=$(snapshot)
  msiexec /i "$(winpath "$msi")"
  check_installed
  start_and_close "$(echo "$WINEPREFIX"/drive_c/users/*/AppData/Local/Programs/Tidwen/"${programs[0]}")"
  msiexec /x "$product"
  diff <(echo "$before") <(snapshot) >"$scratch/left.diff" ||
    fail "uninstalling left this behind: $(cat "$scratch/left.diff")"
  echo "uninstalled: nothing left behind"
}

part_upgrade() {
  local major=${version%%.*} minor=${version#*.} older old_product before codes
  if ((10#$minor > 0)); then older=$major.$(printf "%0${#minor}d" $((10#$minor - 1)))
  else older=$((major - 1)).99; fi
  "$source/cmake/windows-msi.py" "$scratch/tidwen-$older.msi" "$older" "$icon" \
    "${programs[@]/#/$dist/}"
  old_product=$(msi_property "$scratch/tidwen-$older.msi" ProductCode)
  [[ $old_product != "$product" ]] || fail "versions $older and $version share a product code"
  before=$(snapshot)
  msiexec /i "$(winpath "$scratch/tidwen-$older.msi")"
  [[ -n $(uninstall_key "$old_product") ]] || fail "$older did not install"
  msiexec /i "$(winpath "$msi")"
  [[ -z $(uninstall_key "$old_product") ]] || fail "$older is still installed beside $version"
  codes=$(wine reg query "HKCU\\Software\\Microsoft\\Installer\\UpgradeCodes\\$("$files" packed "$upgrade_code")" 2>/dev/null |
    grep -c REG_SZ || true)
  [[ $codes -eq 1 ]] || fail "the upgrade code names $codes products, not one"
  check_installed
  # The older package is refused over the newer one.
  if timeout 300 wine msiexec /i "$(winpath "$scratch/tidwen-$older.msi")" /qn >/dev/null 2>&1; then
    fail "$older installed over $version"
  fi
  [[ -z $(uninstall_key "$old_product") ]] || fail "$older installed over $version"
  msiexec /x "$product"
  diff <(echo "$before") <(snapshot) >"$scratch/left.diff" ||
    fail "uninstalling after the upgrade left this behind: $(cat "$scratch/left.diff")"
  echo "upgraded $older to $version, refused $older over it, and uninstalled: nothing left behind"
}

part_sign() {
  local signed=$scratch/signed out signed_digest what
  command -v openssl >/dev/null || skip "no openssl for a throwaway certificate"
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tidwen test signing" \
    -addext extendedKeyUsage=codeSigning -keyout "$scratch/key.pem" -out "$scratch/cert.pem" \
    >/dev/null 2>&1 || fail "openssl could not make a certificate"
  make -s -C "$source" --no-print-directory windows WINDOWS_BUILD="$build" \
    WINDOWS_DIST="$signed" SIGN_CERT="$scratch/cert.pem" SIGN_KEY="$scratch/key.pem" \
    >"$scratch/sign.log" 2>&1 || fail "make windows with a key failed: $(tail -5 "$scratch/sign.log")"
  for f in "${programs[@]}" "tidwen-$version.msi"; do
    out=$(osslsigncode verify -CAfile "$scratch/cert.pem" -in "$signed/$f" 2>&1) ||
      fail "$f: the signature does not verify: $out"
    # The digest signed is the digest of the file as it is (of a program's
    # image; of an installer's streams, its DigitalSignature).
    what=$(grep -qE '^Current message digest' <<<"$out" && echo "message digest" || echo DigitalSignature)
    signed_digest=$(sed -n "s/^Current $what *: *//p" <<<"$out")
    [[ -n $signed_digest && $signed_digest == $(sed -n "s/^Calculated $what *: *//p" <<<"$out") ]] ||
      fail "$f: the signature does not cover the file: $out"
    cp "$signed/$f" "$scratch/changed"
    printf '\x5a' | dd of="$scratch/changed" bs=1 seek=$(( $(stat -c %s "$scratch/changed") / 2 )) \
      conv=notrunc status=none
    if ! cmp -s "$scratch/changed" "$signed/$f" &&
       osslsigncode verify -CAfile "$scratch/cert.pem" -in "$scratch/changed" >/dev/null 2>&1; then
      fail "$f: a changed byte still verifies"
    fi
  done
  (cd "$scratch" && rm -rf unzipped && mkdir unzipped && cd unzipped &&
   python3 -m zipfile -e "$signed/tidwen-$version-windows-x64.zip" .)
  for p in "${programs[@]}"; do
    cmp -s "$scratch/unzipped/$p" "$signed/$p" || fail "the zip holds an unsigned $p"
  done
  echo "signed and verified: ${programs[*]} tidwen-$version.msi"
  start_and_close "$signed/${programs[0]}"
}

run() { local start=$SECONDS; "$@"; echo "($1: $((SECONDS - start)) s)"; }
run part_files
run wine_session_start "$scratch/prefix"
run part_install
run part_upgrade
run part_sign
# The prefix is made afresh by every run: it need not take room in between.
wine_session_stop
rm -rf "$WINEPREFIX"
echo "the Windows download: files, install, upgrade and signature checked"
