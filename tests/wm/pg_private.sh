#!/usr/bin/env bash
# pg_private.sh start|restart|crash|stop DIR
# A private PostgreSQL cluster for the tests that restart the server, so
# that they disturb no other test. "start" makes it (once) and loads the
# work-message schema into database "wmtest"; "restart" stops it cleanly and
# starts it again; "crash" stops it the way a power cut would (immediate
# stop: the server recovers from its log) and starts it again.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
. "$top/scripts/lib/common.sh"
action=$1 dir=$2
bin=$(qd_pg_bin)
case $action in
  start)
    qd_pg_start "$dir"
    if [ "$(psql -X -At -h "$dir" -U qd -d postgres -c "select count(*) from pg_database where datname = 'wmtest'")" != 1 ]; then
      psql -X -q -h "$dir" -U qd -d postgres -c "create database wmtest"
      psql -X -q -v ON_ERROR_STOP=1 -h "$dir" -U qd -d wmtest -f "$top/schema/50_wm.sql" >/dev/null 2>&1
    fi
    ;;
  restart)
    qd_pg_stop "$dir"
    qd_pg_start "$dir"
    ;;
  crash)
    qd_pg_as "$bin/pg_ctl" -D "$dir/data" -m immediate -w -t 60 stop >/dev/null
    qd_pg_start "$dir"
    ;;
  stop)
    qd_pg_stop "$dir"
    ;;
  *)
    echo "usage: pg_private.sh start|restart|crash|stop DIR" >&2
    exit 2
    ;;
esac
