# Shared by scripts/test and scripts/demo: installing what the build needs,
# building, and the private PostgreSQL cluster. Source it; it defines
# functions and QD_TOP (the checkout) only.

QD_TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

QD_PACKAGES=(g++ cmake make pkg-config git libecpg-dev libpq-dev libexpat1-dev
             postgresql bzip2 libgtest-dev googletest tzdata coreutils procps util-linux
             libcrypt-dev strace)

qd_log() { printf '==> %s\n' "$*" >&2; }

# Installs the Debian packages of QD_PACKAGES that are missing. Needs root
# when anything is missing; says what to install otherwise.
qd_install_deps() {
  local missing=() pkg
  for pkg in "${QD_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    qd_log "missing packages: ${missing[*]} (run as root, or install them)"
    return 1
  fi
  qd_log "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# qd_build BUILD_DIR [cmake options...]: configures and builds; the full
# output goes to BUILD_DIR/build.log and its end is shown when a step fails.
qd_build() {
  local dir=$1; shift
  mkdir -p "$dir"
  if ! { cmake -S "$QD_TOP" -B "$dir" "$@" && cmake --build "$dir" -j "$(nproc)"; } >"$dir/build.log" 2>&1; then
    tail -n 60 "$dir/build.log" >&2
    qd_log "build failed; full output in $dir/build.log"
    return 1
  fi
  grep -i -E 'warning:' "$dir/build.log" >&2 || true
}

qd_pg_bin() { ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1; }

# The server refuses to run as root; as root the cluster belongs to the
# "postgres" system user (created by the postgresql package).
qd_pg_as() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

# qd_pg_start DIR [durable]: makes (once) and starts a private cluster in DIR,
# listening only on a unix socket in DIR. Exports PGHOST, PGPORT, PGUSER for
# clients and QD_PG_DIR for tests that restart the server. The cluster runs
# with fsync off (fast tests) unless the second argument is "durable", which
# keeps the server's default durability (for benchmarks).
qd_pg_start() {
  local dir=$1 durability="-c fsync=off" bin
  [ "${2:-}" = durable ] && durability=""
  bin=$(qd_pg_bin) || return 1
  [ -n "$bin" ] || { qd_log "no PostgreSQL server found"; return 1; }
  mkdir -p "$dir"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$dir" && chmod 700 "$dir"
  if [ ! -f "$dir/data/PG_VERSION" ]; then
    qd_pg_as "$bin/initdb" -D "$dir/data" -U qd --auth=trust -E UTF8 --locale=C.UTF-8 \
      >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; return 1; }
  fi
  qd_pg_as "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-c listen_addresses='' -c unix_socket_directories='$dir' $durability -c max_connections=200" \
    start >/dev/null || { cat "$dir/server.log" >&2; return 1; }
  export PGHOST=$dir PGPORT=5432 PGUSER=qd QD_PG_DIR=$dir
}

# qd_pg_stop DIR: stops the cluster in DIR if it runs; quiet otherwise.
qd_pg_stop() {
  local dir=$1 bin
  bin=$(qd_pg_bin)
  [ -f "$dir/data/postmaster.pid" ] || return 0
  qd_pg_as "$bin/pg_ctl" -D "$dir/data" -m fast -w -t 60 stop >/dev/null 2>&1 || true
}
