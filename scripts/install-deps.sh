#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and `make run` need, when any is missing.
set -euo pipefail
packages=(cmake ninja-build g++ make qt6-base-dev qt6-base-dev-tools libqt6printsupport6
          libqscintilla2-qt6-dev libqscintilla2-qt6-15
          libpq-dev postgresql-15 postgresql-15-orafce postgresql-common postgresql-client-15
          xvfb xauth poppler-utils fonts-dejavu-core)
# `make package` (dpkg-shlibdeps computes the .deb's dependencies) and the validators that
# `make test` runs on the installed files.
packages+=(dpkg-dev desktop-file-utils appstream groff-base)
# The grammar check of the Oracle texts runs on Node.js; a machine without it gets Debian's.
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    # sudo resets the environment: the non-interactive front end is passed on the command line.
    as_root=(env DEBIAN_FRONTEND=noninteractive)
    if [ "$(id -u)" -ne 0 ]; then
        # A Debian installed with a root password has no sudo: say what to run instead of
        # failing on "sudo: command not found".
        if ! command -v sudo >/dev/null; then
            echo "sudo is not installed; as root, run:" >&2
            echo "    apt-get install --no-install-recommends ${missing[*]}" >&2
            echo "or install sudo and add yourself to the group sudo, then run make again." >&2
            exit 1
        fi
        as_root=(sudo "${as_root[@]}")
    fi
    "${as_root[@]}" apt-get update -q
    "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The public PL/SQL grammar (grammars-v4's PlSqlLexer and PlSqlParser, generated for the
# antlr4ts runtime) that the test suite parses every Oracle text of the program with, from the
# npm registry into var/ of this checkout. Exact versions: the runtime the generated parser
# was made for, not the newer one its range would allow.
grammar_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/var/plsql-grammar"
grammar_packages=(antlr4ts-sql@1.1.0 antlr4ts@0.5.0-alpha.4)
installed() { # package@version
    grep -qs "\"version\": \"${1##*@}\"" "$grammar_dir/node_modules/${1%@*}/package.json"
}
for p in "${grammar_packages[@]}"; do
    if ! installed "$p"; then
        echo "Installing the PL/SQL grammar into $grammar_dir"
        mkdir -p "$grammar_dir"
        npm install --prefix "$grammar_dir" --no-save --no-package-lock --no-audit --no-fund \
            --ignore-scripts --loglevel=error "${grammar_packages[@]}" >/dev/null
        break
    fi
done
