#!/usr/bin/env bash
# `make run`: a local PostgreSQL 15 with orafce kept under var/pg, the login role tidemark
# (password tidemark), the two sending procedures, a demo sender that sends a numbered message
# to the pipe 'tidemark' every 2 seconds, and then Tidemark itself. The server and the sender
# stop when Tidemark ends.
set -euo pipefail

build_dir=${1:-build}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
case "$build_dir" in /*) ;; *) build_dir="$root/$build_dir" ;; esac
program="$build_dir/app/tidemark"
pgbin=/usr/lib/postgresql/15/bin
port=${TIDEMARK_PGPORT:-54329}
pgdir="$root/var/pg"
data="$pgdir/data"
connect="pg:127.0.0.1:$port/tidemark"

say() { printf 'make run: %s\n' "$*"; }
die() { printf 'make run: %s\n' "$*" >&2; exit 1; }
# pg_ctl hands its -o options to a shell: a folder with blanks or quotes goes single-quoted.
shell_quote() { printf "'%s'" "${1//\'/\'\\\'\'}"; }

# A desktop program needs a display; check before anything is started.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    die "Tidemark is a desktop program and needs a display, but neither DISPLAY nor
WAYLAND_DISPLAY is set. Run it on a desktop, or under a virtual display:
    xvfb-run -a make run"
fi
[ -x "$program" ] || die "$program is missing; build first (make build)."
[ -x "$pgbin/initdb" ] || die "PostgreSQL 15 is not installed ($pgbin); run scripts/install-deps.sh."

# PostgreSQL refuses to run as root: then the server runs as the system user postgres.
if [ "$(id -u)" -eq 0 ]; then
    id postgres >/dev/null 2>&1 ||
        useradd --system --home-dir /var/lib/postgresql --shell /usr/sbin/nologin postgres
    # From / : the server user may not be allowed into the folder make was started in.
    as_server() { (cd / && runuser -u postgres -- "$@"); }
    mkdir -p "$pgdir"
    chown postgres: "$pgdir"
    if ! as_server test -w "$pgdir"; then
        # A checkout under /root (or another closed folder): the server cannot reach var/pg,
        # so the cluster lives where the system keeps such data.
        say "the user postgres cannot reach $pgdir (a folder above it is closed to others);"
        pgdir=/var/lib/tidemark/pg
        data="$pgdir/data"
        say "the cluster lives in $pgdir instead."
        mkdir -p "$pgdir"
        chown postgres: "$pgdir"
        as_server test -w "$pgdir" || die "the user postgres cannot write $pgdir either."
    fi
else
    as_server() { "$@"; }
    mkdir -p "$pgdir"
fi
chmod 0700 "$pgdir"

if [ ! -f "$data/PG_VERSION" ]; then
    say "creating the database cluster in $data"
    as_server "$pgbin/initdb" -D "$data" -U postgres -E UTF8 --locale=C.UTF-8 \
        --auth-local=trust --auth-host=scram-sha-256 >"$pgdir/initdb.log" 2>&1 ||
        die "initdb failed; see $pgdir/initdb.log"
fi

started=0
if ! as_server "$pgbin/pg_ctl" -D "$data" status >/dev/null 2>&1; then
    say "starting PostgreSQL on 127.0.0.1:$port"
    as_server "$pgbin/pg_ctl" -D "$data" -l "$pgdir/server.log" -w -t 60 \
        -o "-p $port -k $(shell_quote "$pgdir") -c listen_addresses=127.0.0.1" start >/dev/null ||
        die "the server did not start (is port $port taken? TIDEMARK_PGPORT picks another); see $pgdir/server.log"
    started=1
fi

sender_pid=
cleanup() {
    [ -n "$sender_pid" ] && kill "$sender_pid" 2>/dev/null || true
    if [ "$started" -eq 1 ]; then
        say "stopping PostgreSQL"
        as_server "$pgbin/pg_ctl" -D "$data" -m fast -w stop >/dev/null 2>&1 || true
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

admin() { as_server psql -X -q -v ON_ERROR_STOP=1 -h "$pgdir" -p "$port" -U postgres "$@"; }

# The login role, its database and orafce.
admin -d postgres <<'SQL' >/dev/null
DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'tidemark') THEN
        CREATE ROLE tidemark LOGIN PASSWORD 'tidemark';
    END IF;
END
$$;
SELECT 'CREATE DATABASE tidemark OWNER tidemark'
WHERE NOT EXISTS (SELECT FROM pg_database WHERE datname = 'tidemark') \gexec
SQL
admin -d tidemark -c "SET client_min_messages = warning" \
    -c "CREATE EXTENSION IF NOT EXISTS orafce" >/dev/null

# The password goes to the demo sender's psql alone: Tidemark, started from this script, must
# not find it in its environment (libpq would use it for an empty password field).
user_psql() {
    PGPASSWORD=tidemark psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$port" -U tidemark \
        -d tidemark "$@"
}

# The sending procedures, installed by their owner as Tidemark's Options dialog would.
TIDEMARK_PASSWORD=tidemark "$build_dir/scripts/tidemark-install-procedures" tidemark "$connect" ||
    die "the sending procedures could not be installed"

# Pre-fill the Connect dialog's user and connect string, leaving values already there alone.
conf_dir="${XDG_CONFIG_HOME:-$HOME/.config}/Quellmoor"
conf="$conf_dir/Tidemark.conf"
mkdir -p "$conf_dir"
touch "$conf"
prefill() { # key value
    awk -v key="$1" -v value="$2" '
        /^\[/ { if (inside && !found) { print key "=" value; found = 1 } inside = ($0 == "[Connect]") }
        inside && index($0, key "=") == 1 { found = 1 }
        { print }
        END {
            if (!found) {
                if (!inside) print "\n[Connect]"
                print key "=" value
            }
        }' "$conf" >"$conf.tmp" && mv "$conf.tmp" "$conf"
}
prefill Usr tidemark
prefill Srv "$connect"

# The demo sender: a numbered message every 2 seconds while Tidemark runs. A full pipe (nobody
# receiving) makes a send give up after 5 seconds instead of waiting.
(
    n=1
    while true; do
        PGOPTIONS='-c statement_timeout=5000' user_psql \
            -c "CALL senddebugmessage('Demo message $n from the make-run sender at ' || to_char(localtimestamp, 'HH24:MI:SS'))" \
            >>"$pgdir/demo-sender.log" 2>&1 || true
        n=$((n + 1))
        sleep 2
    done
) &
sender_pid=$!

say "Tidemark starts now. In the Connect dialog the user is tidemark and the connect string"
say "$connect; type the password tidemark and press Connect, then press Start on the toolbar."
status=0
"$program" || status=$?
exit "$status"
