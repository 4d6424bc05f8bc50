#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR with the packages' prefix and checks the result.
#   check_install.sh files <build> <version> <hardened>
#       the file list, the icons' sizes, what the menu entry names, the version and its release
#       date in the documents; when <hardened> is 1, the program's hardening (readelf)
#   check_install.sh validate <build> <version>  desktop-file-validate, appstreamcli, groff
set -euo pipefail
mode=$1 build=$2 version=$3 hardened=${4:-0}
id=com.example.tidemark
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
cd "$root/usr"
fail() { echo "FAIL: $*" >&2; exit 1; }

case $mode in
files)
    expected=(bin/tidemark bin/tidemark-tail share/applications/$id.desktop
              share/metainfo/$id.metainfo.xml share/man/man1/tidemark.1.gz
              share/man/man1/tidemark-tail.1.gz share/doc/tidemark/LICENSE share/doc/tidemark/copyright
              share/doc/tidemark/changelog.gz)
    for size in 16 22 24 32 48 64 128 256; do
        expected+=(share/icons/hicolor/${size}x$size/apps/$id.png)
    done
    diff -u <(printf '%s\n' "${expected[@]}" | sort) <(find . -type f -o -type l | sed 's|^\./||' | sort) ||
        fail "the installed files differ from the list (- expected, + installed)"
    for program in bin/tidemark bin/tidemark-tail; do
        [ -x $program ] || fail "$program is not executable"
    done
    # Every program has its manual page.
    for program in bin/*; do
        [ -f share/man/man1/${program#bin/}.1.gz ] || fail "$program has no manual page"
    done

    # The terminal program runs where there is no desktop: no Qt GUI library.
    needed=$(readelf -dW bin/tidemark-tail)
    if grep -Eq 'NEEDED.*libQt6(Widgets|Gui|PrintSupport)|qscintilla' <<<"$needed"; then
        fail "bin/tidemark-tail needs a Qt GUI library"
    fi

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

    # The changelog's latest entry is the version that was built; the manual page and the
    # metainfo name that version and the day of its entry.
    zcat share/doc/tidemark/changelog.gz >"$root/changelog"
    [ "$(dpkg-parsechangelog -l "$root/changelog" -S Version)" = "$version" ] ||
        fail "the changelog's latest entry is not version $version"
    released=$(date -u -d "$(dpkg-parsechangelog -l "$root/changelog" -S Date)" +%F)
    for page in tidemark tidemark-tail; do
        zcat share/man/man1/$page.1.gz |
            grep -q "^\.TH ${page^^} 1 \"$released\" \"Tidemark $version\"" ||
            fail "the manual page $page.1 does not name version $version of $released"
    done
    grep -q "<release version=\"$version\" date=\"$released\"" share/metainfo/$id.metainfo.xml ||
        fail "the metainfo does not name release $version of $released"

    # Hardened builds: every relocation resolved at start (then made read-only) and a stack
    # protector compiled in.
    # (readelf's whole output first: grep -q ending early would fail the pipe.)
    if [ "$hardened" = 1 ]; then
        for program in bin/tidemark bin/tidemark-tail; do
            dynamic=$(readelf -dW $program) segments=$(readelf -lW $program)
            symbols=$(readelf -sW --dyn-syms $program)
            grep -Eq '\((FLAGS|FLAGS_1)\).*\b(BIND_NOW|NOW)\b' <<<"$dynamic" ||
                fail "$program is not linked with BIND_NOW"
            grep -q GNU_RELRO <<<"$segments" || fail "$program has no RELRO segment"
            grep -q '__stack_chk_fail' <<<"$symbols" || fail "$program has no stack protector"
        done
    fi
    ;;
validate)
    desktop-file-validate share/applications/$id.desktop
    appstreamcli validate --no-net share/metainfo/$id.metainfo.xml
    # The tree as a whole: the metainfo's launchable names an installed desktop entry.
    appstreamcli validate-tree --no-net "$root"
    for page in share/man/man1/*.1.gz; do
        warnings=$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1)
        [ -z "$warnings" ] || fail "$page: $warnings"
    done
    ;;
*)
    fail "unknown check $mode"
    ;;
esac
echo "PASS: $mode"
