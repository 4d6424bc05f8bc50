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
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
# sudo resets the environment: the non-interactive front end is passed on the command line.
as_root=(env DEBIAN_FRONTEND=noninteractive)
[ "$(id -u)" -eq 0 ] || as_root=(sudo "${as_root[@]}")
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
