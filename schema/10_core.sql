-- Core relations shared by every queue daemon: the one-row relation dual,
-- the transaction log and the file catalogue with its file attributes.
--
-- Column names are written as the programs spell them; unquoted, they fold
-- to lower case, so statements may use either spelling. A text field of
-- char[N+1] in a transaction record becomes varchar(N) here.
-- Every statement here can run again harmlessly.

-- dual: one row, always. Sequences are read with
-- "select nextval ( 'qd_txn_log_seq' ) from dual", so a second row would
-- hand out two numbers per read and no row would hand out none. The key
-- and check keep it at one row at most; the trigger keeps that row.
create table if not exists dual (
  dummy varchar(1) not null default 'X' primary key check (dummy = 'X')
);
insert into dual (dummy) values ('X') on conflict do nothing;

create or replace function qd_dual_keep_row() returns trigger
  language plpgsql
  as $$ begin raise exception 'dual must keep its one row'; end $$;
create or replace trigger dual_keep_row before delete or truncate on dual
  for each statement execute function qd_dual_keep_row();

comment on table dual is
  'One-row relation for reading sequences and functions; the row cannot be removed or doubled.';

-- Transaction log.
create sequence if not exists qd_txn_log_seq;

create table if not exists qd_txn_log (
  objid           varchar(39) primary key,    -- qd_txn_log_seq value as text
  status          varchar(7)  not null
                  check (status in ('InProc', 'Done', 'Retry', 'Reject', 'unknown')),
  txnattr         varchar(8)  not null,       -- TxnAttr1..4 as "%.2X%.2X%.2X%.2X"
  fmt             varchar(3)  not null,       -- format number, decimal
  TxnId           varchar(3)  not null,
  AssocId         varchar(23) not null,
  TxnTime         timestamp   not null,
  encription      varchar(1)  not null,
  compression     varchar(1)  not null,
  char_set        varchar(1)  not null,
  hw_architecture varchar(1)  not null,
  vendor          varchar(39),                -- prod identification, may be empty
  product         varchar(39),
  prod_id         varchar(79),
  sp_vendor       varchar(39) not null,
  sp_product      varchar(39) not null,
  sp_prod_id      varchar(79) not null,
  -- formats 1, 2 and 4
  FileType        varchar(9),
  FileTime        timestamp,                  -- null in format 2 without a valid stamp
  FileSeq         varchar(9),
  FileSize_full   varchar(9),                 -- formats 1 and 4
  FileSize_comp   varchar(9),
  FileName        varchar(256),
  FDB_Objid       varchar(39),                -- format 2
  filehash        varchar(33),                -- format 4
  multihash       varchar(33),
  multiseq        varchar(9),
  multitotal      varchar(9),
  -- formats 3, 5, 6 and 7
  data_source     varchar(256),               -- the record's source field
  counter         varchar(9),
  urgency         varchar(1),
  notclass        varchar(3),                 -- class number, decimal
  event           varchar(256),
  eventtimefirst  timestamp,
  eventtime       timestamp,                  -- EventTimeLast
  abstract        varchar(80),
  text            varchar(4000),
  model           varchar(79),                -- formats 5, 6, 7
  NotifyUnique    varchar(256),               -- formats 6, 7
  SRnumber        varchar(14),                -- format 7
  EntityId        varchar(14),
  comments        varchar(1023),              -- formats 1, 2, 4 and 255
  notify_id       varchar(80)                 -- set by qdNotify with the final status
);
create index if not exists qd_txn_log_associd on qd_txn_log (AssocId);

comment on table qd_txn_log is
  'Every transaction record a queue daemon receives: written by qdLogTxn in qdAnalyze, qdNotify '
  'and qdGrpNot (status InProc), final status set by the work message cycle, notify_id by qdNotify.';

-- File catalogue.
-- objid defaults to the next catalogue number, so that whatever stores a
-- file need not invent an object id of its own.
create sequence if not exists qd_fdb_cat_seq;

create table if not exists qd_fdb_cat (
  objid           varchar(39)  primary key default nextval('qd_fdb_cat_seq')::text,
  vendor          varchar(40)  not null,
  product         varchar(40)  not null,
  prod_id         varchar(80)  not null,
  file_date       timestamp    not null,
  file_type       integer      not null,
  file_seq        varchar(10)  not null,
  prod_filename   varchar(256) not null,      -- the file's name as the product knows it
  store_filename  varchar(256) not null,      -- the file's path in the file database
  encription      varchar(1)   not null,
  compression     varchar(1)   not null,
  char_set        varchar(1)   not null,
  hw_architecture varchar(1)   not null,
  anal_symptom    varchar(256),
  anal_date       timestamp,                  -- null until the file was analyzed
  -- the report is the stored name plus ".analysis", 9 more than the name
  anal_filename   varchar(265)
);
-- By identification: prior analysis (qdAnalyze) and the file link of the
-- alert history (qdNotify).
create index if not exists qd_fdb_cat_ident
  on qd_fdb_cat (vendor, product, prod_id, file_date, file_type, file_seq);

comment on table qd_fdb_cat is
  'File catalogue: filled by the file services when a file is stored; read by qdAnalyze (by objid '
  'or identification), which writes anal_symptom, anal_date and anal_filename back; read by qdNotify '
  'to link alert history to the analyzed file.';

-- File attributes: maps a product's file name to its type number, and says
-- per type which code differences need no conversion ('*').
-- FDBRead reads the codes by file_type alone, so a type number belongs to
-- one row only; other products of a maker use type numbers above 100000.
create table if not exists qd_fdb_attr (
  vendor          varchar(40)  not null,
  product         varchar(40)  not null,
  file_name       varchar(256) not null,      -- upper case, e.g. EVENT
  file_type       integer      not null unique,
  encription      varchar(1)   not null,
  compression     varchar(1)   not null,
  char_set        varchar(1)   not null,
  hw_architecture varchar(1)   not null,
  primary key (vendor, product, file_name)
);

comment on table qd_fdb_attr is
  'File attributes: read by FDBRead (by file_type) in qdAnalyze, by the analysis dispatch (by vendor, '
  'product, file_name) and by qdNotify for the alert history file link.';
