#!/bin/bash
# The FreeTDS command-line tools and unixODBC's isql (through the TDS ODBC
# driver the test registers as "SQL Server") run one query against the
# server, each printing it its own way. A private freetds.conf fixes the TDS
# version and the client character set, whatever the machine's says.
# Usage: freetds_tools.sh PORT SCRATCH_DIR
set -euo pipefail
port=$1
dir=$2
export LC_ALL=C.UTF-8
export FREETDSCONF=$dir/freetds.conf
printf '[global]\n\ttds version = 7.1\n\tclient charset = UTF-8\n' >"$FREETDSCONF"

# A table with a row of values and a row of NULLs, made by bsqldb in batches
# of its own.
printf '%s\ngo\n' \
  "CREATE TABLE t (n INT PRIMARY KEY, name NVARCHAR(20) NULL, amount DECIMAL(5,2) NULL, at DATETIME NULL)" \
  "INSERT INTO t VALUES (1, N'naïve', 12.5, '2004-02-29 13:45:30.123')" \
  "INSERT INTO t VALUES (2, NULL, NULL, NULL)" >"$dir/setup.sql"
bsqldb -S "127.0.0.1:$port" -U sa -P '' -q -i "$dir/setup.sql"

query="SELECT n, name, amount, at FROM t ORDER BY n"

echo "--- tsql"
printf '%s\ngo\n' "$query" | tsql -H 127.0.0.1 -p "$port" -U sa -P '' -o q

echo "--- bsqldb"
printf '%s\ngo\n' "$query" >"$dir/query.sql"
bsqldb -S "127.0.0.1:$port" -U sa -P '' -t '|' -i "$dir/query.sql"

echo "--- isql"
echo "$query" | isql -k "DRIVER=SQL Server;SERVER=127.0.0.1;PORT=$port;UID=sa;PWD=;TDS_Version=7.1;ClientCharset=UTF-8" -b -d'|' -c
