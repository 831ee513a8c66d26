-- The work-message service: registry of process and message names, the
-- messages themselves, and the keys of spool entries already sent.
--
-- Only the platform layer (lib/platform/work_messages.*) reads and writes
-- these tables. What it relies on:
--   * a message row exists from Send until Delete; its state column holds
--     'A' available, 'P' pending (nobody was registered for it when it was
--     sent; delivered like 'A'), 'R' kept for the next retry cycle,
--     'D' kept for a retry cycle once retry_due has passed, 'J' rejected
--     (kept for operators);
--   * "received" is not a stored state: a receiver holds the row locked in
--     an open transaction (and an advisory lock on the message id, so
--     operators can see it), so a receiver that dies frees its message
--     with its session;
--   * a registration (SetInput) is a session advisory lock, so it also ends
--     with the session.
-- Every statement can run again harmlessly.

create schema if not exists wm;

-- Process names. uid is what the interface calls the process id.
create table if not exists wm.process (
  uid     integer primary key check (uid between 1 and 32767),
  name    text not null unique check (name ~ '^[A-Z0-9_]{1,16}$' and name <> 'ALLQ'),
  logchar text not null check (length(logchar) = 1),
  -- the message name the process normally receives (what "qdwm stop" sends to)
  input   text
);

-- Message names. msgno is what Translate returns.
create table if not exists wm.msgname (
  msgno integer primary key check (msgno between 1 and 32767),
  name  text not null unique check (name ~ '^[A-Z0-9_]{1,16}$' and name <> 'ALLQ')
);

create sequence if not exists wm.message_id as integer minvalue 1;

-- Times are seconds since 1970. No foreign keys on purpose: a key check
-- locks the referenced registry row on every send, and the service checks
-- names against its copy of the registry anyway.
create table if not exists wm.message (
  id                integer not null,
  target            integer not null,
  sender            integer not null,   -- 0: sent from the spool for an unregistered name
  msgno             integer not null,
  state             "char" not null check (state in ('A', 'P', 'R', 'D', 'J')),
  response          smallint not null default 0,
  response_required smallint not null default 0,
  user_flags        smallint not null default 0,
  time_sent         bigint not null,
  time_posted       bigint not null,
  time_retry        bigint not null default 0,
  retry_due         bigint not null default 0,
  data              bytea not null
);

-- Dead entries of ended messages pile up at the head of the queue's index
-- until vacuum removes them, and every Receive walks over them. The
-- processes that end messages vacuum the table themselves every 2000 ended
-- messages; autovacuum is told to come early too, rather than at a fraction
-- of the table's size.
alter table wm.message set (autovacuum_vacuum_scale_factor = 0,
                            autovacuum_vacuum_threshold = 2000,
                            autovacuum_vacuum_insert_threshold = 2000,
                            autovacuum_vacuum_cost_delay = 0);

-- What Receive scans, oldest first: deliverable messages, and messages kept
-- for retry. Lookups of one message by id use a hash index, which cannot
-- deliver an order: so these two are the only ways to walk messages by id,
-- and the planner is never tempted (by statistics that lag behind a fast
-- queue) to walk the whole table in id order past every ended message.
-- Ids come from the sequence and are therefore unique.
create index if not exists message_ready on wm.message (target, id) where state in ('A', 'P');
create index if not exists message_retry on wm.message (target, id) where state in ('R', 'D');
create index if not exists message_by_id on wm.message using hash (id);

-- Keys of spool entries whose message was stored, so that an entry sent
-- twice (a drain that died between storing and removing the file, or two
-- drains at once) is stored once.
create table if not exists wm.spool_sent (
  key     text primary key,
  msg_id  integer not null,
  sent_at timestamptz not null default now()
);

insert into wm.process (uid, name, logchar, input) values
  (1, 'QDAN',  'A', 'AIQ'),
  (2, 'QDNOT', 'N', 'NIQ'),
  (3, 'QDGN',  'G', null),
  (4, 'QDDB',  'D', null),
  (5, 'SPEC',  'E', null),
  (6, 'SPFT',  'F', 'TOQ'),
  (7, 'SPCM',  'M', 'CCQ')
on conflict do nothing;

insert into wm.msgname (msgno, name) values
  (1, 'AIQ'),
  (2, 'NIQ'),
  (3, 'TOQ'),
  (4, 'CCQ'),
  (5, 'CCR')
on conflict do nothing;
