#!/usr/bin/env bash
# A throwaway PostgreSQL 15 cluster for the tests, reached through psqlODBC.
#
#   scripts/pg.sh start   start the cluster (or find it running) and print the
#                         shell `export` lines the tests need; use it with
#                         eval "$(scripts/pg.sh start)"
#   scripts/pg.sh env     print those lines for a running cluster
#   scripts/pg.sh stop    stop the cluster and remove its folder
#
# Everything lives in one folder (TALVENOR_PG_DIR, by default a folder of this
# user under the temp folder): the data, the server log, the unix socket (the
# server listens on no TCP port) and a private ODBC configuration, so that no
# system-wide service, DSN or driver entry is touched. initdb refuses to run as
# root; as root the server runs as the `postgres` user in a folder it owns.
set -euo pipefail

PG_BIN=${TALVENOR_PG_BIN:-/usr/lib/postgresql/15/bin}
PG_DIR=${TALVENOR_PG_DIR:-${TMPDIR:-/tmp}/talvenor-pg-$(id -u)}
PG_PORT=${TALVENOR_PG_PORT:-5432}
PG_DATABASE=talvenor
PG_USER=postgres

die() {
  echo "pg.sh: $*" >&2
  exit 1
}

# Runs a command as the user that owns the cluster.
as_owner() {
  if [ "$(id -u)" -ne 0 ]; then
    "$@"
  elif command -v runuser >/dev/null; then
    runuser -u "$PG_USER" -- "$@"
  else
    su -s /bin/sh "$PG_USER" -c "$(printf '%q ' "$@")"
  fi
}

# The psqlODBC driver file (the Unicode one), wherever the package put it.
driver_file() {
  local f
  f=$(dpkg -L odbc-postgresql 2>/dev/null | grep '/psqlodbcw\.so$' | head -n1 || true)
  if [ -z "$f" ]; then
    for f in /usr/lib/*/odbc/psqlodbcw.so /usr/lib/odbc/psqlodbcw.so /usr/lib64/psqlodbcw.so; do
      [ -f "$f" ] && break
    done
  fi
  [ -n "$f" ] && [ -f "$f" ] || die "psqlODBC driver (psqlodbcw.so) not found; install odbc-postgresql"
  echo "$f"
}

running() {
  [ -f "$PG_DIR/data/PG_VERSION" ] && as_owner "$PG_BIN/pg_ctl" -D "$PG_DIR/data" status >/dev/null 2>&1
}

psql_owner() {
  as_owner "$PG_BIN/psql" -X -q -v ON_ERROR_STOP=1 -h "$PG_DIR" -p "$PG_PORT" -U "$PG_USER" "$@"
}

print_env() {
  local driver
  driver=$(driver_file)
  # CommLog=0 and Debug=0 keep psqlODBC from writing log files.
  local connect="Driver=$driver;Servername=$PG_DIR;Port=$PG_PORT;Database=$PG_DATABASE"
  connect+=";Username=$PG_USER;Password=;CommLog=0;Debug=0"
  printf 'export TALVENOR_PG_DIR=%q\n' "$PG_DIR"
  printf 'export TALVENOR_PG_CONNECT=%q\n' "$connect"
  printf 'export ODBCSYSINI=%q\n' "$PG_DIR/odbc"
  printf 'export ODBCINI=%q\n' "$PG_DIR/odbc/odbc.ini"
  printf 'export PGHOST=%q PGPORT=%q PGUSER=%q PGDATABASE=%q\n' \
    "$PG_DIR" "$PG_PORT" "$PG_USER" "$PG_DATABASE"
}

write_odbc_config() {
  local driver
  driver=$(driver_file)
  mkdir -p "$PG_DIR/odbc"
  cat >"$PG_DIR/odbc/odbcinst.ini" <<EOF
[ODBC]
Trace=No
Pooling=No

[PostgreSQL Unicode]
Description=psqlODBC (Unicode)
Driver=$driver
CommLog=0
Debug=0
EOF
  : >"$PG_DIR/odbc/odbc.ini"
  chmod 755 "$PG_DIR/odbc"
  chmod 644 "$PG_DIR/odbc/odbcinst.ini" "$PG_DIR/odbc/odbc.ini"
}

make_folder() {
  # A unix socket path holds at most 107 bytes.
  if [ $((${#PG_DIR} + 20)) -gt 107 ]; then
    die "$PG_DIR is too long for a socket path; set TALVENOR_PG_DIR to a shorter folder"
  fi
  if [ -L "$PG_DIR" ]; then
    die "$PG_DIR is a symbolic link; refusing to use it"
  fi
  if [ ! -d "$PG_DIR" ]; then
    (umask 077 && mkdir "$PG_DIR")
  fi
  local owner
  owner=$(stat -c %U "$PG_DIR")
  if [ "$(id -u)" -eq 0 ]; then
    getent passwd "$PG_USER" >/dev/null || die "user $PG_USER does not exist (install postgresql)"
    # A folder left by someone else under the temp folder is not ours to use.
    [ "$owner" = root ] || [ "$owner" = "$PG_USER" ] || die "$PG_DIR belongs to $owner"
    chown "$PG_USER": "$PG_DIR"
  else
    [ "$owner" = "$(id -un)" ] || die "$PG_DIR belongs to $owner"
  fi
  chmod 755 "$PG_DIR"
}

init_cluster() {
  local locale=C
  locale -a 2>/dev/null | grep -qix 'c\.utf-\?8' && locale=C.UTF-8
  as_owner rm -rf "$PG_DIR/data"
  as_owner "$PG_BIN/initdb" -D "$PG_DIR/data" -U "$PG_USER" --auth=trust -E UTF8 \
    --locale="$locale" >"$PG_DIR/initdb.log" 2>&1 ||
    {
      cat "$PG_DIR/initdb.log" >&2
      die "initdb failed"
    }
  # A test cluster: no TCP, a socket in our folder only, no durability.
  as_owner tee -a "$PG_DIR/data/postgresql.conf" >/dev/null <<EOF

# throwaway test cluster
listen_addresses = ''
unix_socket_directories = '$PG_DIR'
unix_socket_permissions = 0777
port = $PG_PORT
max_connections = 60
shared_buffers = 32MB
fsync = off
synchronous_commit = off
full_page_writes = off
logging_collector = off
EOF
}

cmd_start() {
  if running; then
    print_env
    return
  fi
  make_folder
  [ -f "$PG_DIR/data/PG_VERSION" ] || init_cluster
  as_owner "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -l "$PG_DIR/server.log" -w -t 60 start >/dev/null ||
    {
      tail -n 20 "$PG_DIR/server.log" >&2 || true
      die "the server did not start"
    }
  if ! psql_owner -d postgres -tAc "SELECT 1 FROM pg_database WHERE datname='$PG_DATABASE'" |
    grep -q 1; then
    as_owner "$PG_BIN/createdb" -h "$PG_DIR" -p "$PG_PORT" -U "$PG_USER" "$PG_DATABASE"
  fi
  write_odbc_config
  print_env
}

cmd_stop() {
  if running; then
    as_owner "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -m fast -w -t 60 stop >/dev/null
  fi
  if [ -d "$PG_DIR" ] && [ ! -L "$PG_DIR" ]; then
    rm -rf "$PG_DIR"
  fi
}

case "${1:-}" in
  start) cmd_start ;;
  stop) cmd_stop ;;
  env)
    running || die "no cluster is running in $PG_DIR"
    print_env
    ;;
  *)
    echo "usage: $0 start|stop|env" >&2
    exit 64
    ;;
esac
