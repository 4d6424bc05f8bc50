#!/usr/bin/env bash
# Runs the benchmarks and prints their figures: the append cost without a database, the
# drain over a delayed network, the load of many senders and the terminal receiver beside the
# window, each in a throw-away cluster with orafce; and the log probe, a generated log of
# BENCH_LOG_MB (default 1000) opened, appended to, searched and saved; BENCH_BIG=1 runs the log
# probe once more past 2 GiB (2,500 MB: about 6 GB of memory and 5 GB of disk at its peak). BENCHES picks some of them
# (default "append logopen drain load tail"); the drain and tail benchmarks take BENCH_RTT
# (round-trip times in ms), the drain benchmark also BENCH_CASES (drain,ceiling,traced).
set -euo pipefail
build_dir=${1:?build directory}
benches=${BENCHES:-append logopen drain load tail}
export QT_QPA_PLATFORM=offscreen
# The monitor runs with its session journal, kept in a folder of the run that goes with it.
XDG_STATE_HOME=$(mktemp -d "${TMPDIR:-/tmp}/tidemark-bench-state.XXXXXX")
export XDG_STATE_HOME
trap 'rm -rf "$XDG_STATE_HOME"' EXIT
in_cluster() {
    pg_virtualenv -t -v 15 bash -c '
        set -euo pipefail
        psql -q -v ON_ERROR_STOP=1 -c "CREATE EXTENSION IF NOT EXISTS orafce"
        "$0"
    ' "$1"
}
for bench in $benches; do
    case $bench in
    append)
        echo "== AppendMessage cost"
        "$build_dir/bench/append/bench_append"
        ;;
    logopen)
        echo "== The log probe: open, append, Find and Save of a large log"
        "$build_dir/bench/logopen/bench_logopen" "${BENCH_LOG_MB:-1000}"
        if [ "${BENCH_BIG:-0}" = 1 ]; then
            echo "== The log probe past 2 GiB"
            "$build_dir/bench/logopen/bench_logopen" 2500
        fi
        ;;
    drain)
        echo "== Drain over a delayed network (monitor's session through a delay proxy)"
        in_cluster "$build_dir/bench/drain/bench_drain"
        ;;
    load)
        echo "== Load: many senders while the monitor polls"
        in_cluster "$build_dir/bench/load/bench_load"
        ;;
    tail)
        echo "== The terminal receiver beside the window (each through a delay proxy)"
        in_cluster "$build_dir/bench/tail/bench_tail"
        ;;
    *)
        echo "unknown benchmark: $bench (append, logopen, drain, load, tail)" >&2
        exit 2
        ;;
    esac
done
