#!/usr/bin/env bash
# Runs the CTest suite inside a throw-away PostgreSQL cluster with orafce.
# -t keeps the cluster in a temporary folder, so that several runs can go on at once.
# pg_virtualenv exports PGHOST, PGPORT, PGUSER, PGPASSWORD and PGDATABASE for the tests.
set -euo pipefail
build_dir=${1:?build directory}
shift
export QT_QPA_PLATFORM=offscreen
exec pg_virtualenv -t -v 15 bash -c '
    set -euo pipefail
    psql -q -v ON_ERROR_STOP=1 -c "CREATE EXTENSION IF NOT EXISTS orafce"
    cd "$0"
    ctest --output-on-failure "$@"
' "$build_dir" "$@"
