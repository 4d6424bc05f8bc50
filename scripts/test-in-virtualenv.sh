#!/usr/bin/env bash
# Runs the CTest suite inside a throw-away PostgreSQL cluster with orafce.
# -t keeps the cluster in a temporary folder, so that several runs can go on at once.
# pg_virtualenv exports PGHOST, PGPORT, PGUSER, PGPASSWORD and PGDATABASE for the tests.
#
# The suites' temporary folders (and the private servers some suites start in them) live in a
# folder of this run. When the run ends, however it ends, that folder must be empty and no
# process may still run from it: anything left is named, ended, removed, and fails the run.
set -euo pipefail
build_dir=${1:?build directory}
shift
export QT_QPA_PLATFORM=offscreen

run_tmp=$(mktemp -d "${TMPDIR:-/tmp}/tidemark-test.XXXXXX")
# As root the private servers run as the user postgres, in folders below this one.
chmod 0711 "$run_tmp"
# Qt makes a runtime folder in TMPDIR when there is none; that one is the run's, not a suite's.
runtime_dir=
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    runtime_dir=$(mktemp -d "${TMPDIR:-/tmp}/tidemark-runtime.XXXXXX")
    export XDG_RUNTIME_DIR=$runtime_dir
fi
shm_before=$(ipcs -m 2>/dev/null | awk '$1 ~ /^0x/ {print $2}' | sort)
dsm_before=$(ls /dev/shm 2>/dev/null | grep '^PostgreSQL\.' || true)

# The processes of the run's private servers: the postmasters name the run's folder on their
# command line; their backends rename themselves but keep working in the data folder below it
# (one a test froze with SIGSTOP cannot notice that its postmaster is gone).
leftover_processes() {
    local p cwd
    pgrep -f -- "$run_tmp" || true
    for p in /proc/[0-9]*; do
        cwd=$(readlink "$p/cwd" 2>/dev/null) || continue
        if [[ "$cwd" == "$run_tmp"/* ]]; then echo "${p#/proc/}"; fi
    done
    return 0
}

check_and_clean() {
    local status=$1 left=0 pids shm
    pids=$(leftover_processes | sort -u)
    if [ -n "$pids" ]; then
        left=1
        echo "make test: servers of this run still running:" >&2
        ps -o pid=,args= -p "${pids//$'\n'/,}" >&2 || true
        kill -KILL $pids 2>/dev/null || true
        sleep 1
    fi
    if [ -n "$(find "$run_tmp" -mindepth 1 -maxdepth 1 -print -quit)" ]; then
        left=1
        echo "make test: temporary folders of this run left behind:" >&2
        find "$run_tmp" -mindepth 1 -maxdepth 1 >&2
    fi
    # A server that was killed cannot remove its System V shared memory segment.
    for shm in $(ipcs -m 2>/dev/null | awk '$1 ~ /^0x/ && $6 == 0 {print $2}'); do
        if ! grep -qx "$shm" <<<"$shm_before"; then
            left=1
            echo "make test: shared memory segment $shm of this run left behind" >&2
            ipcrm -m "$shm" 2>/dev/null || true
        fi
    done
    # Nor its dynamic shared memory: files in /dev/shm that no process maps any more.
    local dsm mapped
    mapped=$(cat /proc/[0-9]*/maps 2>/dev/null | grep -o '/dev/shm/PostgreSQL\.[0-9]*' | sort -u || true)
    for dsm in $(ls /dev/shm 2>/dev/null | grep '^PostgreSQL\.' || true); do
        if ! grep -qx "$dsm" <<<"$dsm_before" && ! grep -qx "/dev/shm/$dsm" <<<"$mapped"; then
            left=1
            echo "make test: dynamic shared memory /dev/shm/$dsm of this run left behind" >&2
            rm -f "/dev/shm/$dsm"
        fi
    done
    rm -rf "$run_tmp" ${runtime_dir:+"$runtime_dir"}
    if [ "$left" -ne 0 ]; then
        echo "make test: FAILED: the run left the above behind (now removed)" >&2
        [ "$status" -ne 0 ] || status=1
    fi
    exit "$status"
}
trap 'check_and_clean $?' EXIT
trap 'exit 130' INT TERM

TIDEMARK_TEST_TMPDIR=$run_tmp pg_virtualenv -t -v 15 bash -c '
    set -euo pipefail
    psql -q -v ON_ERROR_STOP=1 -c "CREATE EXTENSION IF NOT EXISTS orafce"
    cd "$0"
    TMPDIR=$TIDEMARK_TEST_TMPDIR ctest --output-on-failure "$@"
' "$build_dir" "$@"
