-- What the notifier already did for a work message, so that a message it
-- takes again (from the retry queue, or after the notifier died while
-- holding it) neither parks its notification a second time nor adds a
-- second notify history row, which would count twice in repeat
-- suppression. A row is written in the same transaction as what it
-- records. message is the work message's id and posting time
-- ("%08X.<seconds>"), stage 'G' parked for grouping, 'H' history written
-- with the decision taken then.
-- Every statement here can run again harmlessly.
create table if not exists qd_notify_msg (
  message          varchar(39) not null,
  stage            varchar(1)  not null check (stage in ('G', 'H')),
  notified         varchar(1)  not null,      -- 'H': notified flag of the history row
  first_suppressed varchar(1)  not null,      -- 'H': 'Y' when it began a suppression run
  recorded         timestamp   not null default sysdate(),
  primary key (message, stage)
);
create index if not exists qd_notify_msg_recorded on qd_notify_msg (recorded);
comment on table qd_notify_msg is
  'Stages of a notification request already done: written and read by qdNotify.';
