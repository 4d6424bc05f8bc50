#!/usr/bin/env bash
# Runs the benchmarks and prints their figures: the append cost without a database, the
# drain throughput in a throw-away cluster with orafce.
set -euo pipefail
build_dir=${1:?build directory}
export QT_QPA_PLATFORM=offscreen
# The monitor runs with its session journal, kept in a folder of the run that goes with it.
XDG_STATE_HOME=$(mktemp -d "${TMPDIR:-/tmp}/tidemark-bench-state.XXXXXX")
export XDG_STATE_HOME
trap 'rm -rf "$XDG_STATE_HOME"' EXIT
echo "== AppendMessage cost"
"$build_dir/bench/append/bench_append"
echo "== Drain throughput"
pg_virtualenv -t -v 15 bash -c '
    set -euo pipefail
    psql -q -v ON_ERROR_STOP=1 -c "CREATE EXTENSION IF NOT EXISTS orafce"
    "$0/bench/drain/bench_drain"
' "$build_dir"
echo "== Load: many senders while the monitor polls"
pg_virtualenv -t -v 15 bash -c '
    set -euo pipefail
    psql -q -v ON_ERROR_STOP=1 -c "CREATE EXTENSION IF NOT EXISTS orafce"
    "$0/bench/load/bench_load"
' "$build_dir"
