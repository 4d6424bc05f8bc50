#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR with the packages' prefix and checks the result.
#   check_install.sh files <build> <version>     the file list, the icons' sizes, what the menu
#                                                entry names, the version in the documents
#   check_install.sh validate <build> <version>  desktop-file-validate, appstreamcli, groff
set -euo pipefail
mode=$1 build=$2 version=$3
id=com.example.tidemark
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
cd "$root/usr"
fail() { echo "FAIL: $*" >&2; exit 1; }

case $mode in
files)
    expected=(bin/tidemark share/applications/$id.desktop share/metainfo/$id.metainfo.xml
              share/man/man1/tidemark.1.gz share/doc/tidemark/LICENSE share/doc/tidemark/copyright)
    for size in 16 22 24 32 48 64 128 256; do
        expected+=(share/icons/hicolor/${size}x$size/apps/$id.png)
    done
    diff -u <(printf '%s\n' "${expected[@]}" | sort) <(find . -type f -o -type l | sed 's|^\./||' | sort) ||
        fail "the installed files differ from the list (- expected, + installed)"
    [ -x bin/tidemark ] || fail "bin/tidemark is not executable"

    # Each icon is drawn at the size of its folder (width and height from the PNG header).
    for png in share/icons/hicolor/*/apps/$id.png; do
        size=${png#share/icons/hicolor/}
        size=${size%%x*}
        read -r w1 w2 w3 w4 h1 h2 h3 h4 < <(od -An -tu1 -j16 -N8 "$png")
        w=$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4)) h=$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))
        [ "$w $h" = "$size $size" ] || fail "$png is $w by $h"
    done

    # The menu entry starts the installed program with the file to open, and shows its icon.
    entry=share/applications/$id.desktop
    grep -qx "Exec=tidemark %f" "$entry" || fail "$entry: $(grep ^Exec= "$entry")"
    grep -qx "Icon=$id" "$entry" || fail "$entry: $(grep ^Icon= "$entry")"

    # The manual page and the metainfo describe the version that was built.
    zcat share/man/man1/tidemark.1.gz | grep -q "^\.TH TIDEMARK 1 .*\"Tidemark $version\"" ||
        fail "the manual page does not name version $version"
    grep -q "<release version=\"$version\"" share/metainfo/$id.metainfo.xml ||
        fail "the metainfo does not name release $version"
    ;;
validate)
    desktop-file-validate share/applications/$id.desktop
    appstreamcli validate --no-net share/metainfo/$id.metainfo.xml
    # The tree as a whole: the metainfo's launchable names an installed desktop entry.
    appstreamcli validate-tree --no-net "$root"
    warnings=$(zcat share/man/man1/tidemark.1.gz | groff -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "tidemark.1: $warnings"
    ;;
*)
    fail "unknown check $mode"
    ;;
esac
echo "PASS: $mode"
