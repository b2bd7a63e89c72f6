#!/usr/bin/env bash
# The Debian package as a user gets it: built from the default build folder
# (scripts/package, lintian included), installed with apt-get, its programs
# run from /usr, then removed again. Every package that the installation
# added is purged at the end, also when a check fails, so the machine is
# left as it was. Needs root or passwordless sudo; scripts/test runs it
# where that is given, and always in CI.
set -euo pipefail
cd "$(dirname "$0")/../.."

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo -n)
apt() { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@" >/dev/null; }
fail() { echo "installed: $*" >&2; exit 1; }

if dpkg-query -W -f='${Status}' sheaf 2>/dev/null | grep -q 'ok installed'; then
  fail "a sheaf package is installed already; remove it first (apt-get purge sheaf)"
fi

deb=$(scripts/package --quiet)
version=$(dpkg-deb -f "$deb" Version)
upstream=${version%-*}

work=$(mktemp -d)
before=$work/packages-before
dpkg-query -W -f='${Package}\n' | sort >"$before"
cleanup() {
  local status=$?
  # sheaf and whatever it pulled in; nothing that was there before.
  mapfile -t added < <(dpkg-query -W -f='${Package}\n' | sort | comm -13 "$before" -)
  if [ ${#added[@]} -gt 0 ]; then
    apt purge "${added[@]}" || status=1
  fi
  rm -rf "$work"
  [ $status -eq 0 ] && echo "installed: passed ($deb)" || echo "installed: FAILED" >&2
  exit $status
}
trap cleanup EXIT

apt install "./$deb"
[ "$(command -v sheaf-batch)" = /usr/bin/sheaf-batch ] || fail "sheaf-batch is not /usr/bin/sheaf-batch"

# Versions.
for program in sheaf sheaf-batch sheaf-arc; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "/usr/bin/$program" --version)
  [ "$out" = "$program $upstream" ] || fail "$program --version printed '$out', not '$program $upstream'"
done

# A small batch with the installed sheaf-batch, read back by 7-Zip.
mkdir -p "$work/sel/sub" "$work/out" "$work/x"
printf 'alpha\n%.0s' {1..200} >"$work/sel/first.TXT"
head -c 5000 /dev/urandom >"$work/sel/sub/second.TXT"
/usr/bin/sheaf-batch -s -q -o "$work/out" "$work/sel" >"$work/batch.log" \
  || fail "sheaf-batch failed: $(cat "$work/batch.log")"
for name in first sub/second; do
  base=${name##*/}
  7zz x -y -bso0 -bsp0 -o"$work/x/$base" "$work/out/$base.lzh" || fail "7zz cannot read $base.lzh"
  cmp "$work/sel/$name.TXT" "$work/x/$base/$base.TXT" || fail "$base.lzh holds other bytes"
done

# The manual pages are found where man looks.
[ "$(man -w sheaf-batch)" = /usr/share/man/man1/sheaf-batch.1.gz ] || fail "man -w sheaf-batch: $(man -w sheaf-batch 2>&1)"
man -w sheaf >/dev/null && man -w sheaf-arc >/dev/null || fail "a manual page is missing"
for page in sheaf sheaf-batch sheaf-arc; do
  [ "$(LC_ALL=ja_JP.UTF-8 man -w $page)" = /usr/share/man/ja/man1/$page.1.gz ] || fail "no Japanese manual page for $page"
done

# The installed window, offscreen, opened on a folder: by argument, from the
# desktop entry and the service menu (their Exec lines), and by the Files
# script. Its settings file lives in the user's configuration folder.
mkdir -m 700 "$work/runtime"
export QT_QPA_PLATFORM=offscreen SHEAF_REPORT_FOLDERS=1 XDG_CONFIG_HOME="$work/config" \
  XDG_RUNTIME_DIR="$work/runtime"
check_window() { # expected-folder command...
  local expected=$1
  shift
  local line
  line=$("$@") || fail "'$*' failed"
  IFS=$'\t' read -r selection _ settings _ <<<"$line"
  [ "$selection" = "$expected" ] || fail "'$*' opened on '$selection', not '$expected'"
  [ "$settings" = "$work/config/sheaf/kwSheaf.ini" ] || fail "settings file '$settings' is not in the configuration folder"
}
exec_of() { # file group
  awk -v group="[$2]" '/^\[/ { in_group = ($0 == group) } in_group && /^Exec=/ { sub(/^Exec=/, ""); print; exit }' "$1"
}
check_window "$work/sel" /usr/bin/sheaf "$work/sel"
for entry in "/usr/share/applications/sheaf.desktop|Desktop Entry" \
             "/usr/share/kio/servicemenus/sheaf-open.desktop|Desktop Action open"; do
  line=$(exec_of "${entry%|*}" "${entry#*|}")
  [ -n "$line" ] || fail "no Exec line in ${entry%|*}"
  line=${line//%F/$work/sel/sub}
  read -ra command <<<"${line//%f/$work/sel/sub}"
  check_window "$work/sel/sub" "${command[@]}"
done
check_window "$work/sel/sub" /usr/share/sheaf/nautilus/Sheafで開く "$work/sel/sub"

# One archive per item from Dolphin's submenu and the Files scripts, in each
# format: the progress window reports its end (SHEAF_REPORT_FOLDERS) and
# 7-Zip reads what it made.
check_each() { # format command...
  local format=$1
  shift
  rm -rf "$work/each" && mkdir -p "$work/each/folder"
  printf 'one\n' >"$work/each/first file.txt"
  printf 'two\n' >"$work/each/folder/second.txt"
  local out
  out=$("$@" "$work/each/first file.txt" "$work/each/folder") || fail "'$*' failed: $out"
  [ "$out" = "書庫を 2 件作成しました" ] || fail "'$*' reported '$out'"
  7zz x -y -bso0 -bsp0 -o"$work/each/x" "$work/each/folder.$format" || fail "7zz cannot read folder.$format"
  cmp "$work/each/folder/second.txt" "$work/each/x/folder/second.txt" || fail "folder.$format holds other bytes"
  [ -f "$work/each/first file.$format" ] || fail "'$*' made no 'first file.$format'"
}
for format in lzh zip cab; do
  line=$(exec_of /usr/share/kio/servicemenus/sheaf-compress-each.desktop "Desktop Action $format")
  read -ra command <<<"${line% %F}"
  check_each $format "${command[@]}"
  check_each $format "/usr/share/sheaf/nautilus/Sheafで個別圧縮/${format^^} で個別圧縮"
done
