#!/usr/bin/env bash
# Checks the desktop files and the Debian package with the ecosystem's own
# tools. Each check skips, with exit status 77 and the reason, when a tool it
# needs is not installed (scripts/setup.sh installs them all).
#
#   packaging_test.sh stage    <build dir> <stage dir>
#   packaging_test.sh desktop  <stage dir> <app id>
#   packaging_test.sh metainfo <stage dir> <app id>
#   packaging_test.sh deb      <build dir> <scratch dir> <app id> <version> <icon sizes>
#   packaging_test.sh lintian  <scratch dir>
set -euo pipefail

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/setup.sh installs it)"
  done
}

# The files a package or an install must hold, under its prefix.
expected_files() {
  local id=$1 sizes=$2
  echo bin/tidwen
  echo bin/tidwen-cli
  echo share/applications/$id.desktop
  echo share/metainfo/$id.metainfo.xml
  for s in ${sizes//;/ }; do echo share/icons/hicolor/${s}x${s}/apps/$id.png; done
  echo share/icons/hicolor/scalable/apps/$id.svg
  echo share/man/man1/tidwen.1.gz
  echo share/man/man1/tidwen-cli.1.gz
  echo share/doc/tidwen/README.md
  echo share/doc/tidwen/changelog.gz
  echo share/doc/tidwen/copyright
}

mode=$1
shift
case "$mode" in
  stage)
    build=$1 stage=$2
    rm -rf "$stage"
    cmake --install "$build" --prefix "$stage" >/dev/null
    ;;

  desktop)
    need desktop-file-validate
    stage=$1 id=$2
    file=$stage/share/applications/$id.desktop
    # The validator's exit status only counts errors; a warning fails too.
    out=$(desktop-file-validate "$file" 2>&1) || fail "$out"
    [[ -z "$out" ]] || fail "$out"
    for key in Name 'Name\[zh_CN\]' Comment 'Comment\[zh_CN\]' Keywords 'Keywords\[zh_CN\]'; do
      grep -q "^$key=." "$file" || fail "$file has no ${key//\\/}"
    done
    echo "$file: valid"
    ;;

  metainfo)
    need appstreamcli
    stage=$1 id=$2
    file=$stage/share/metainfo/$id.metainfo.xml
    appstreamcli validate --no-net --no-color "$file"
    # What the software centre shows Chinese users, and the rest it needs.
    for part in '<summary xml:lang="zh_CN">' '<p xml:lang="zh_CN">' '<content_rating ' \
                '<project_license>' '/docs/form1.png<' '/docs/form1-results.png<' \
                '/docs/form2.png<' "<launchable type=\"desktop-id\">$id.desktop<"; do
      grep -qF "$part" "$file" || fail "$file lacks $part"
    done
    # What a Chinese user's software centre shows: the installed metainfo
    # read back by AppStream itself under a Chinese locale, which matches
    # xml:lang="zh_CN" but not "zh-CN". The metainfo folder and AppStream's
    # cache are swapped for the stage's and a scratch one in a mount
    # namespace of the check's own.
    [[ $(id -u) -eq 0 ]] && command -v unshare >/dev/null ||
      skip "reading the metainfo back needs root and unshare for a private mount namespace"
    locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$' ||
      skip "no zh_CN.UTF-8 locale (scripts/setup.sh makes it)"
    shown=$(unshare -m bash -c '
      set -e
      mount --bind "$1" /usr/share/metainfo
      mkdir -p /var/cache/swcatalog && mount -t tmpfs tidwen-test /var/cache/swcatalog
      export XDG_CACHE_HOME=$(mktemp -d)
      appstreamcli refresh-cache --force >/dev/null 2>&1
      LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 appstreamcli get --details "$2"' _ \
      "$stage/share/metainfo" "$id" 2>&1) || fail "appstreamcli could not read it back: $shown"
    for line in '名称: Tidwen 垃圾清理' '摘要: 扫描驱动器上的垃圾文件并删除选中的文件'; do
      grep -qxF "$line" <<<"$shown" || fail "a Chinese locale is not shown \"$line\": $shown"
    done
    ;;

  deb)
    need cpack dpkg-deb dpkg-shlibdeps file
    build=$1 scratch=$2 id=$3 version=$4 sizes=$5
    rm -rf "$scratch"
    if grep -q '^TIDWEN_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
      skip "a sanitizer build is not packaged"
    fi
    mkdir -p "$scratch"
    (cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) ||
      { cat "$scratch/cpack.log"; fail "cpack could not build the package"; }
    deb=$scratch/out/tidwen_${version}_$(dpkg --print-architecture).deb
    [[ -f "$deb" ]] || fail "no $deb"
    ln -sf "$deb" "$scratch/tidwen.deb"

    # The control fields: the libraries from dpkg-shlibdeps, and the fonts.
    depends=$(dpkg-deb -f "$deb" Depends)
    for p in fonts-arphic-uming fonts-arphic-ukai libc6 libqt6widgets6; do
      [[ ", $depends," == *", $p"[\ ,]* ]] || fail "Depends lacks $p: $depends"
    done
    [[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "wrong version"

    # Every file lands in its place, and nothing else is in the package.
    root=$scratch/root
    dpkg -x "$deb" "$root"
    diff -u <(expected_files "$id" "$sizes" | sort) \
            <(cd "$root/usr" && find . -type f -o -type l | sed 's|^\./||' | sort) ||
      fail "the package's files differ from the expected ones (- expected, + packaged)"
    # Every README section the manual page points to is there.
    zcat "$root"/usr/share/man/man1/tidwen{,-cli}.1.gz | sed -n '/^\.SH SEE ALSO/,/^\.TH/p' |
      grep -o '\\(lq[^\\]*\\(rq' | sed 's/^\\(lq//; s/\\(rq$//' | while read -r section; do
        grep -qE "^#+ $section\$" "$root/usr/share/doc/tidwen/README.md" ||
          fail "the manual page names a README section \"$section\" that does not exist"
      done
    for gz in "$root"/usr/share/man/man1/tidwen{,-cli}.1.gz "$root"/usr/share/doc/tidwen/changelog.gz; do
      gzip -t "$gz" || fail "$gz is not a sound gzip file"
    done

    # The menu entry starts the installed program and shows an installed icon.
    entry=$root/usr/share/applications/$id.desktop
    grep -qx "Exec=tidwen" "$entry" || fail "the menu entry does not run tidwen"
    grep -qx "Icon=$id" "$entry" || fail "the menu entry's icon is not $id"

    # This release is the one the changelog and the metainfo describe.
    changelog_version=$(zcat "$root/usr/share/doc/tidwen/changelog.gz" | sed -n '1s/^tidwen (\([^)]*\)).*/\1/p')
    [[ "$changelog_version" == "$version" ]] ||
      fail "the changelog's latest entry is $changelog_version, the package $version"
    grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$id.metainfo.xml" ||
      fail "the metainfo has no release $version"

    # The program finds its libraries on the system, not in the build tree.
    bin=$root/usr/bin/tidwen
    if readelf -d "$bin" | grep -Eq 'RPATH|RUNPATH'; then fail "$bin carries a library path"; fi
    missing=$(env -u LD_LIBRARY_PATH ldd "$bin" | grep 'not found' || true)
    [[ -z "$missing" ]] || fail "$missing"

    # It starts from the installed path and stays up.
    env -u LD_LIBRARY_PATH QT_QPA_PLATFORM=offscreen "$bin" >"$scratch/run.log" 2>&1 &
    pid=$!
    sleep 2
    if ! kill -0 "$pid" 2>/dev/null; then
      status=0
      wait "$pid" || status=$?
      cat "$scratch/run.log"
      fail "the installed tidwen ended within two seconds, status $status"
    fi
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    # So does the command line, and it scans.
    cli=$root/usr/bin/tidwen-cli
    [[ $(env -u LD_LIBRARY_PATH "$cli" --version) == "tidwen-cli $version" ]] ||
      fail "the installed tidwen-cli does not give its version"
    mkdir -p "$scratch/cli" && : >"$scratch/cli/junk.tmp"
    [[ $(env -u LD_LIBRARY_PATH LC_ALL=C "$cli" scan "$scratch/cli") == *'\cli\junk.tmp' ]] ||
      fail "the installed tidwen-cli does not find a junk file"
    echo "$deb: $(stat -c %s "$deb") bytes, every file in place, starts"
    ;;

  lintian)
    need lintian
    scratch=$1
    [[ -e "$scratch/tidwen.deb" ]] || skip "no package was built"
    # Errors fail; warnings and notes are shown.
    lintian --allow-root --fail-on error -I -E --pedantic "$scratch/tidwen.deb"
    ;;

  *)
    fail "unknown check $mode"
    ;;
esac
