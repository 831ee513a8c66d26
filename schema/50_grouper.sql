-- Parked low-urgency notifications. qdNotify inserts a row per notification
-- of a grouped class (status 'W'); a qdGrpNot pass takes a serial's rows
-- (status 'L'), sends one summary per group and deletes them; a failed
-- pass rolls back and the rows are 'W' again.
-- Every statement here can run again harmlessly.
create table if not exists qd_grouped_not (
  vendor          varchar(40) not null,
  product         varchar(40) not null,
  notclass        integer     not null,
  prod_id         varchar(80) not null,
  timestamp       timestamp   not null default localtimestamp,  -- when parked
  status          varchar(1)  not null default 'W' check (status in ('W', 'L')),
  ap_vendor       varchar(40),                -- the notification's prod identification
  ap_product      varchar(40),
  ap_prod_id      varchar(80),
  sp_vendor       varchar(40) not null,
  sp_product      varchar(40) not null,
  sp_prod_id      varchar(80) not null,
  forwarded_rap   varchar(1),
  eventtimefirst  timestamp   not null,
  eventtimelast   timestamp   not null,
  counter         integer     not null,
  abstract        varchar(80) not null
);
create index if not exists qd_grouped_not_serial
  on qd_grouped_not (vendor, product, notclass, prod_id);
comment on table qd_grouped_not is
  'Parked low-urgency notifications: inserted by qdNotify, read and deleted by qdGrpNot.';
