#!/usr/bin/env bash
# Checks what kps-eval installs.
#   install_check.sh install BUILD_DIR  installs the build to a staging folder (DESTDIR, prefix
#                                       /usr) and, as a user who is not root, to a prefix in
#                                       that user's home; each must hold exactly the expected
#                                       files and nothing may land outside it
#   install_check.sh validate SRC_DIR   the desktop file and the metainfo through their
#                                       validators (exit 77, skipped, when they are missing)
#   install_check.sh package DEB        the package's file list and lintian (errors fail)
set -euo pipefail

app_id=com.norvale.kps_eval
# Relative to the prefix.
expected=(
  bin/kps-eval
  bin/kps-eval-cli
  lib/udev/rules.d/60-kps-eval.rules
  share/applications/$app_id.desktop
  share/bash-completion/completions/kps-eval-cli
  share/doc/kps-eval/changelog.gz
  share/doc/kps-eval/copyright
  share/icons/hicolor/scalable/apps/$app_id.svg
  share/man/man1/kps-eval-cli.1.gz
  share/man/man1/kps-eval.1.gz
  share/metainfo/$app_id.metainfo.xml
)
for size in 16 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x$size/apps/$app_id.png")
done

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The files under $1, relative to it, against the expected list.
check_tree() {
  local prefix=$1 what=$2
  diff -u <(printf '%s\n' "${expected[@]}" | sort) \
    <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort) ||
    fail "$what: the installed files (+) differ from the expected ones (-)"
  for file in "$prefix"/share/man/man1/*.gz "$prefix"/share/doc/kps-eval/*.gz; do
    gzip -t "$file" || fail "$what: $file is not gzip"
  done
}

case "${1:-}" in
  install)
    build=$(cd "$2" && pwd)
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    chmod 755 "$work"

    DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >"$work/stage.log" ||
      fail "cmake --install to DESTDIR: $(cat "$work/stage.log")"
    [ "$(ls -A "$work/stage")" = usr ] || fail "DESTDIR install wrote outside its prefix: $(ls -A "$work/stage")"
    check_tree "$work/stage/usr" "DESTDIR install"
    grep -q "udev does not read" "$work/stage.log" && fail "DESTDIR install warned about the udev rule"

    # A user's own prefix: no root needed, and a word on the udev rule that
    # udev will not find there. As root, the user is nobody; cmake writes its
    # install manifest into the build folder, which a user installing their
    # own build owns.
    home="$work/home"
    mkdir "$home"
    as_user=()
    if [ "$(id -u)" -eq 0 ]; then
      as_user=(runuser -u nobody --)
      "${as_user[@]}" test -r "$build/cmake_install.cmake" ||
        fail "the user nobody cannot read $build: run this from a folder that other users can read"
      chown nobody "$home"
      touch "$build/install_manifest.txt"
      chown nobody "$build/install_manifest.txt"
    fi
    "${as_user[@]}" env HOME="$home" cmake --install "$build" --prefix "$home/.local" \
      >"$work/user.log" 2>&1 || fail "cmake --install to a user prefix: $(cat "$work/user.log")"
    check_tree "$home/.local" "user-prefix install"
    grep -q "udev does not read rules from $home/.local/lib/udev/rules.d" "$work/user.log" ||
      fail "the user-prefix install said nothing about the udev rule: $(cat "$work/user.log")"
    "$home/.local/bin/kps-eval-cli" --version >/dev/null ||
      fail "the installed kps-eval-cli does not run"
    echo "Installed to DESTDIR and to a user prefix: ${#expected[@]} files each"
    ;;
  validate)
    src=$2
    if ! command -v desktop-file-validate >/dev/null || ! command -v appstreamcli >/dev/null; then
      echo "desktop-file-validate (desktop-file-utils) or appstreamcli (appstream) is not installed: the desktop file and the metainfo are not checked; ./setup.sh package installs both"
      exit 77
    fi
    desktop-file-validate "$src/data/$app_id.desktop" || fail "desktop-file-validate"
    appstreamcli validate --no-net "$src/data/$app_id.metainfo.xml" || fail "appstreamcli validate"
    echo "The desktop file and the metainfo are valid"
    ;;
  package)
    deb=$2
    [ -f "$deb" ] || fail "no package $deb"
    listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./usr/||' | sort)
    diff -u <(printf '%s\n' "${expected[@]}" | sort) <(echo "$listed") ||
      fail "the package's files (+) differ from the expected ones (-)"
    # Errors fail; warnings are shown.
    lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian found errors in $deb"
    echo "$deb holds the expected files and lintian finds no error"
    ;;
  *)
    echo "usage: $0 install BUILD_DIR | validate SRC_DIR | package DEB" >&2
    exit 2
    ;;
esac
