#!/usr/bin/env bash
# Prints the program's Oracle texts and parses each with the PL/SQL grammar.
# check_texts.sh <print_texts> <check_plsql.js> <grammar folder>
set -euo pipefail
texts=$(mktemp "${TMPDIR:-/tmp}/tidemark-oracle-texts.XXXXXX")
trap 'rm -f "$texts"' EXIT
"$1" >"$texts"
node "$2" "$3" "$texts"
