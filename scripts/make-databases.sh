#!/usr/bin/env bash
# Creates a main database and copies from schema/: <dir>/main.fdb and <dir>/copy1.fdb ...
#   make-databases.sh <dir> <copies> [server-prefix]
# With a server prefix (e.g. 127.0.0.1/3051:) the databases are made through that server,
# otherwise with the embedded engine. One template is built and copied (while closed), then
# each database gets its identity: the family id BAZA_ID, BAZA_TYP 0 (main) or 2 (copy),
# BAZA_NR 0 or the copy's number, version BAZA_MAJOR.BAZA_MINOR, and its own id range.
# Environment: TRAMOLIN_FB_USER (SYSDBA), TRAMOLIN_FB_PASSWORD (sandorift: also stored as the
# administrator password parameter C_KNF_SYSDBA_PASSWORD), TRAMOLIN_BAZA_ID (4711),
# TRAMOLIN_BAZA_MINOR (3).
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 <dir> <copies> [server-prefix]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
dir=$(cd "$1" && pwd)
copies=$2
prefix=${3:-}
user=${TRAMOLIN_FB_USER:-SYSDBA}
password=${TRAMOLIN_FB_PASSWORD:-sandorift}
baza_id=${TRAMOLIN_BAZA_ID:-4711}
baza_minor=${TRAMOLIN_BAZA_MINOR:-3}
log="$dir/make-databases.log"
: > "$log"

fail() {
  grep -v -e 'DATE data type is now called TIMESTAMP' -e 'warning code = 301' "$log" >&2
  echo "make-databases: failed: $1 (log: $log)" >&2
  exit 1
}

isql() {  # isql <database> < script
  isql-fb -q -b -user "$user" -password "$password" "$prefix$1" >>"$log" 2>&1 || fail "$1"
}

sql_text() { printf '%s\n' "${1//\'/\'\'}"; }

template="$dir/template.fdb"
rm -f "$template" "$dir/main.fdb" "$dir"/copy[0-9]*.fdb

# Forced writes stay off while the schema is built (and on these test and demo databases
# unless TRAMOLIN_FB_FORCED_WRITES=1): the schema takes seconds instead of minutes.
{
  echo "SET SQL DIALECT 1;"
  echo "CREATE DATABASE '$prefix$template' USER '$user' PASSWORD '$(sql_text "$password")'"
  echo "  PAGE_SIZE 8192 DEFAULT CHARACTER SET WIN1250;"
} | isql-fb -q -b >>"$log" 2>&1 || fail "creating $template"
gfix -write async -user "$user" -password "$password" "$prefix$template" >>"$log" 2>&1 ||
  fail "switching off forced writes"
cat "$root"/schema/[0-9]*.sql | isql "$template"

# What every database of the family shares: family id, version, the copies and the
# administrator password parameter of each database number.
{
  echo "SET GENERATOR BAZA_ID TO $baza_id;"
  echo "SET GENERATOR BAZA_MAJOR TO 119;"
  echo "SET GENERATOR BAZA_MINOR TO $baza_minor;"
  for ((n = 0; n <= copies; n++)); do
    if [ "$n" -gt 0 ]; then
      echo "INSERT INTO REPKOPIE (ID, OPIS) VALUES ($n, 'Kopia nr $n');"
    fi
    echo "INSERT INTO PARAMETRY (NAME, WARTSTRING, IDREPKOPIE)"
    echo "  VALUES ('C_KNF_SYSDBA_PASSWORD', '$(sql_text "$password")', $n);"
  done
  echo "DELETE FROM REPZMIANY;"
  echo "SET GENERATOR REPZMIANY_ID TO 0;"
  echo "COMMIT;"
} | isql "$template"

identity() {  # identity <file> <type> <number>
  cp "$template" "$1"
  {
    echo "SET GENERATOR BAZA_TYP TO $2;"
    echo "SET GENERATOR BAZA_NR TO $3;"
    if [ "$3" -gt 0 ]; then
      local base=$((10000000 + $3 * 500000))
      for generator in REKORD_ID REPINFO_ID REPKONFLHEAD_ID REPKONFLDETAIL_ID; do
        echo "SET GENERATOR $generator TO $base;"
      done
    fi
    echo "COMMIT;"
  } | isql "$1"
  if [ "${TRAMOLIN_FB_FORCED_WRITES:-0}" = 1 ]; then
    gfix -write sync -user "$user" -password "$password" "$prefix$1" >>"$log" 2>&1 ||
      fail "switching on forced writes of $1"
  fi
}

identity "$dir/main.fdb" 0 0
for ((n = 1; n <= copies; n++)); do
  identity "$dir/copy$n.fdb" 2 "$n"
done
rm -f "$template"
echo "$dir/main.fdb and $copies copies"
