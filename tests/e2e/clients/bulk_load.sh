#!/bin/bash
# The FreeTDS tools against the server: freebcp loads a 10,000-row file into
# a table through INSERT BULK, bsqldb reads it back, and freebcp copies it
# out again, the same as it went in. Usage: bulk_load.sh PORT SCRATCH_DIR
set -euo pipefail
port=$1
dir=$2
export TDSVER=7.1
server=127.0.0.1:$port
sql() { bsqldb -S "$server" -U sa -P '' -q -t '|' "$@"; }

printf 'CREATE DATABASE loads\ngo\nUSE loads\nCREATE TABLE t (id INT IDENTITY PRIMARY KEY, name VARCHAR(20) NOT NULL, amount DECIMAL(10,2) NULL, at DATETIME NULL, note TEXT NULL, flag BIT NOT NULL)\ngo\n' >"$dir/setup.sql"
sql -i "$dir/setup.sql" >/dev/null

# Every fifth row has NULLs; identities are the server's (the file's are 0).
awk 'BEGIN { for (i = 1; i <= 10000; i++) {
  if (i % 5 == 0) printf "%d\tname %d\t\t\t\t%d\n", i, i, i % 2;
  else printf "%d\tname %d\t%d.25\t2024-01-02 03:04:05.123\tnote %d\t%d\n", i, i, i, i, i % 2 } }' >"$dir/in.txt"
freebcp loads.dbo.t in "$dir/in.txt" -S "$server" -U sa -P '' -c -b 4000 | grep 'rows copied'

echo "SELECT COUNT(*), SUM(amount), COUNT(note), SUM(CAST(flag AS INT)) FROM loads.dbo.t" >"$dir/count.sql"
sql -i "$dir/count.sql"

freebcp loads.dbo.t out "$dir/out.txt" -S "$server" -U sa -P '' -c | grep 'rows copied'
if cmp -s "$dir/in.txt" "$dir/out.txt"; then echo "out same as in"; else diff "$dir/in.txt" "$dir/out.txt" | head -5; fi
