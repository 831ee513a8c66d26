# The whole pipeline under one QD_ROOT, for scripts/bench-pipeline and
# scripts/crash-campaign: the array simulator, evtmon, qdAnalyze, qdNotify
# and qdGrpNot, each program under a restart loop standing in for its
# systemd unit (Restart=on-failure: any end but exit status 100 starts it
# again). Source it after common.sh, with QD_ROOT, the PG* environment and
# `bin`, `sim_bin` (the build's bin/ and sim-bin/) set.
#
# Everything started here is recorded by process id below $QD_ROOT/run and
# ended by qd_pipe_stop, which the caller's exit trap calls.

QD_PIPE_SYSID=1400123

qd_pipe_run() { echo "$QD_ROOT/run"; }

# qd_pipe_setup DB: lays out QD_ROOT for database DB and gives it one person
# told by mail of every event of the array, any urgency, any shift.
qd_pipe_setup() {
  local db=$1
  QD_BUILD_DIR=${build_dir:?} "$QD_TOP/scripts/mkroot" "$QD_ROOT" --db "$db" >/dev/null
  mkdir -p "$(qd_pipe_run)"
  psql -X -q -c "insert into qd_user (resource_id, user_id, category, email1, company)
                 values (101, 'jdoe', 'storage admin', 'jdoe@customer.example', 'Customer Inc.')" \
            -c "insert into qd_notify (resource_id, group_id, date_start, date_end,
                                       means3_h_p, means3_h_o, means3_l_p, means3_l_o)
                values (101, 'All.Zarvek.VELMAR', '2000-01-01', '2100-01-01', 'Y', 'Y', 'Y', 'Y')"
}

# qd_pipe_loop NAME PROGRAM ARGS...: runs PROGRAM under a restart loop in
# the background. The running program's pid is in run/NAME.pid, each end
# that restarted it is a line "TIME STATUS" in run/NAME.ends; the loop
# ends on exit status 100, or on any end once run/stop exists.
qd_pipe_loop() {
  local name=$1; shift
  local run; run=$(qd_pipe_run)
  (
    trap '' INT
    while :; do
      # As under systemd: a program that would detach itself stays put.
      INVOCATION_ID=qd-pipeline-$name "$@" </dev/null >>"$QD_ROOT/var/log/qd/$name.stderr" 2>&1 &
      echo $! >"$run/$name.pid"
      rc=0
      wait $! || rc=$?
      [ "$rc" -eq 100 ] && break
      [ -e "$run/stop" ] && break
      echo "$(date +%s.%N) $rc" >>"$run/$name.ends"
      sleep "${QD_PIPE_RESTART_PAUSE:-0.5}"
    done
    rm -f "$run/$name.pid"
  ) 2>>"$QD_ROOT/var/log/qd/$name.loop" &
  echo $! >"$run/$name.loop"
}

# qd_pipe_start_daemons: qdAnalyze, qdNotify and qdGrpNot under their loops,
# and the file transfer process's stand-in, which takes the transfer
# requests the collector sends for every event.
qd_pipe_start_daemons() {
  qd_pipe_loop transfer "$sim_bin/spft" serve
  qd_pipe_loop analyzer env PATH="$sim_bin:$PATH" "$bin/qdAnalyze" -d -t 3600
  qd_pipe_loop notifier "$bin/qdNotify" -d -t 3600
  qd_pipe_loop grouper "$bin/qdGrpNot" -d
}

# qd_pipe_start_array SCRIPT: the array simulator running SCRIPT (a file),
# then evtmon under its loop connected to it. Waits until the collector has
# subscribed.
qd_pipe_start_array() {
  local script=$1 run; run=$(qd_pipe_run)
  rm -f "$run/port"
  "$sim_bin/emfilter" --port 0 --port-file "$run/port" --script "$script" \
    >/dev/null 2>>"$QD_ROOT/var/log/qd/emfilter.stderr" &
  echo $! >"$run/emfilter.pid"
  until [ -s "$run/port" ]; do sleep 0.05; done
  QD_EMFILTER_PORT=$(cat "$run/port") \
    qd_pipe_loop evtmon "$bin/evtmon" "$QD_PIPE_SYSID" 127.0.0.1 2.3.1.45
  until grep -q "collector subscribed" "$QD_ROOT/var/log/qd/emfilter.stderr" 2>/dev/null; do
    sleep 0.05
  done
}

# qd_pipe_pid NAME: the running program's pid, empty when none runs.
qd_pipe_pid() {
  local f; f="$(qd_pipe_run)/$1.pid"
  [ -s "$f" ] && kill -0 "$(cat "$f")" 2>/dev/null && cat "$f"
  return 0
}

# qd_pipe_collector_pids: "top PID", the evtmon process its loop started
# (the supervisor when the build has one), and "child PID" for an evtmon
# child of it (the worker the supervisor forked); nothing when none runs.
qd_pipe_collector_pids() {
  local top child
  top=$(qd_pipe_pid evtmon)
  [ -n "$top" ] || return 0
  echo "top $top"
  child=$(pgrep -P "$top" -x evtmon | head -n 1 || true)
  [ -z "$child" ] || echo "child $child"
}

# qd_pipe_mails: the number of mails the mailer's stand-in kept.
qd_pipe_mails() { find "$QD_ROOT/var/spool/sim-mail" -name '*.mail' | wc -l; }

# qd_pipe_stop: ends everything started here, daemons first by their stop
# message (exit 100), then whatever still runs by SIGTERM, and at last
# SIGKILL; waits for the loops.
qd_pipe_stop() {
  local run name pid alive; run=$(qd_pipe_run)
  [ -d "$run" ] || return 0
  touch "$run/stop"
  "$bin/qdwm" stop QDAN >/dev/null 2>&1 || true
  "$bin/qdwm" stop QDNOT >/dev/null 2>&1 || true
  "$bin/qdwm" stop QDGN >/dev/null 2>&1 || true
  for name in evtmon emfilter transfer; do
    pid=$(cat "$run/$name.pid" 2>/dev/null || true)
    [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null || true
  done
  for _ in $(seq 100); do
    alive=0
    for pid in $(cat "$run"/*.pid 2>/dev/null); do kill -0 "$pid" 2>/dev/null && alive=1; done
    [ "$alive" -eq 0 ] && break
    sleep 0.1
  done
  for pid in $(cat "$run"/*.pid 2>/dev/null); do kill -KILL "$pid" 2>/dev/null || true; done
  for pid in $(cat "$run"/*.loop 2>/dev/null); do wait "$pid" 2>/dev/null || true; done
  rm -f "$run"/*.pid "$run"/*.loop
}

# qd_pipe_mail_index: one line "NODE-SEQ TIME" per kept mail, TIME the
# moment the mailer's stand-in kept it (from the mail's file name), for
# every mail that names its event ("Event id: SEQ  Node N").
qd_pipe_mail_index() {
  find "$QD_ROOT/var/spool/sim-mail" -name '*.mail' -exec grep -H -m 1 '^Event id: ' {} + |
    awk '{ file = $1; sub(/:Event$/, "", file); sub(/.*\//, "", file)
           split(file, part, "."); print $5 "-" $3, part[1] "." part[2] }'
}

# qd_pipe_latency FIRST LAST: for the raised events of sequence numbers
# FIRST..LAST, what became of them: "raised=N mailed=N lost=N extra=N
# p50_ms=X p99_ms=X max_ms=X" (extra: mails beyond the first of an event;
# the latency is from the raise to the event's first mail).
qd_pipe_latency() {
  local first=$1 last=$2
  qd_pipe_mail_index >"$QD_ROOT/run/mails.idx"
  awk -v first="$first" -v last="$last" '
    NR == FNR { split($1, k, "-"); if (k[2] + 0 >= first && k[2] + 0 <= last) raised[$1] = $4; next }
    ($1 in raised) { n[$1]++; if (!($1 in got) || $2 < got[$1]) got[$1] = $2 }
    END {
      for (key in raised) {
        r++
        if (key in got) { m++; extra += n[key] - 1; printf "%.3f\n", (got[key] - raised[key]) * 1000 >"/dev/stderr" }
      }
      printf "raised=%d mailed=%d lost=%d extra=%d\n", r, m, r - m, extra
    }' "$QD_ROOT/var/log/qd/sim/emfilter.journal" "$QD_ROOT/run/mails.idx" \
    2>"$QD_ROOT/run/latency.ms" | tr '\n' ' '
  sort -g "$QD_ROOT/run/latency.ms" | awk '
    { v[NR] = $1 }
    END {
      if (NR == 0) { print "p50_ms=- p99_ms=- max_ms=-"; exit }
      i50 = int(NR * 0.50 + 0.999999); i99 = int(NR * 0.99 + 0.999999)
      printf "p50_ms=%.0f p99_ms=%.0f max_ms=%.0f\n", v[i50], v[i99], v[NR]
    }'
}

# qd_pipe_queues: the messages waiting in each work-message queue, as
# "QDAN=N QDNOT=N ..." (queues with none are left out).
qd_pipe_queues() {
  psql -X -q -t -A -F= -c "select p.name, count(*) from wm.message m
                           join wm.process p on p.uid = m.target
                           where m.state <> 'J' group by p.name order by 1" |
    tr '\n' ' '
}
