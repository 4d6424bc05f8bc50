#!/usr/bin/env bash
# Prints the program's Oracle texts and parses each with the PL/SQL grammar. The texts printed
# are parsed even when some that must be sent were not (print_texts then fails too), so that a
# broken text is named whatever else it broke.
# check_texts.sh <print_texts> <check_plsql.js> <grammar folder>
set -uo pipefail
texts=$(mktemp "${TMPDIR:-/tmp}/tidemark-oracle-texts.XXXXXX")
trap 'rm -f "$texts"' EXIT
"$1" >"$texts"
printed=$?
node "$2" "$3" "$texts"
parsed=$?
[ "$printed" -eq 0 ] && [ "$parsed" -eq 0 ]
