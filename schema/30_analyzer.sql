-- The analyzer's rule tables and its history. qdAnalyze reads the rule
-- tables and never writes them; their rows are installation data. It owns
-- qd_anal_history.
-- Every statement here can run again harmlessly.

-- Tag table per file type: which XML tags an event file may hold and how
-- their values are collected. Rows are loaded in tagname order and the
-- first of equal names wins, so tagname sorts bytewise whatever the
-- database's locale. Flags are 'Y' (set) or anything else (clear).
create table if not exists qd_tag_data (
  file_type       integer     not null,
  tagname         varchar(40) collate "C" not null,
  separator       varchar(40),                -- null: no separator
  redirect_name   varchar(40),                -- target entry when flag_redirect is set
  flag_nodata     varchar(1)  not null default 'N',
  flag_repdata    varchar(1)  not null default 'N',
  flag_catdata    varchar(1)  not null default 'N',
  flag_redirect   varchar(1)  not null default 'N',
  flag_makehex    varchar(1)  not null default 'N',
  flag_droptag    varchar(1)  not null default 'N'
);
create index if not exists qd_tag_data_type_name on qd_tag_data (file_type, tagname);
comment on table qd_tag_data is 'Event tag table per file type: read once per process by qdAnalyze.';

-- Pattern table per file type: regular expressions grouped under an apply
-- name (the event name; " generic" for the patterns run over every event).
-- The generic group must sort first, leading blank and all, so apply sorts
-- bytewise whatever the database's locale.
create table if not exists qd_anal_pattern (
  file_type       integer      not null,
  apply           varchar(40)  collate "C" not null,
  lineseq         integer      not null,
  rule            integer      not null,
  pattern         varchar(512) not null,      -- POSIX extended regular expression
  tag0            varchar(40),                -- targets of capture groups 1 to 10, null: none
  tag1            varchar(40),
  tag2            varchar(40),
  tag3            varchar(40),
  tag4            varchar(40),
  tag5            varchar(40),
  tag6            varchar(40),
  tag7            varchar(40),
  tag8            varchar(40),
  tag9            varchar(40),
  primary key (file_type, apply, lineseq)
);
comment on table qd_anal_pattern is 'Analysis patterns per file type: read once per process by qdAnalyze.';

-- Event data: the handler, symptom templates and history settings of one
-- event. Nulls read: comp, skey 'N'; sev 'Y'; nu_rule 3; nu_value "none".
create table if not exists qd_anal_evtdata (
  file_type       integer     not null,
  eventname       varchar(40) not null,
  handlername     varchar(80) not null,
  suppress_svcalert varchar(1),
  nonalert_low    varchar(1),
  template0       varchar(2048),
  template1       varchar(2048),
  template2       varchar(2048),
  template3       varchar(2048),
  template4       varchar(2048),
  template5       varchar(2048),
  template6       varchar(2048),
  template7       varchar(2048),
  template8       varchar(2048),
  template9       varchar(2048),
  comp0 varchar(1), comp1 varchar(1), comp2 varchar(1), comp3 varchar(1), comp4 varchar(1),
  comp5 varchar(1), comp6 varchar(1), comp7 varchar(1), comp8 varchar(1), comp9 varchar(1),
  skey0 varchar(1), skey1 varchar(1), skey2 varchar(1), skey3 varchar(1), skey4 varchar(1),
  skey5 varchar(1), skey6 varchar(1), skey7 varchar(1), skey8 varchar(1), skey9 varchar(1),
  sev0 varchar(1), sev1 varchar(1), sev2 varchar(1), sev3 varchar(1), sev4 varchar(1),
  sev5 varchar(1), sev6 varchar(1), sev7 varchar(1), sev8 varchar(1), sev9 varchar(1),
  nu_rule0 integer, nu_rule1 integer, nu_rule2 integer, nu_rule3 integer, nu_rule4 integer,
  nu_rule5 integer, nu_rule6 integer, nu_rule7 integer, nu_rule8 integer, nu_rule9 integer,
  nu_value0 varchar(80), nu_value1 varchar(80), nu_value2 varchar(80), nu_value3 varchar(80), nu_value4 varchar(80),
  nu_value5 varchar(80), nu_value6 varchar(80), nu_value7 varchar(80), nu_value8 varchar(80), nu_value9 varchar(80),
  primary key (file_type, eventname)
);
comment on table qd_anal_evtdata is 'Event handler, templates and history settings: read by qdAnalyze per event.';

-- Value translations: the severity (field 'SEVERITY': data1 the translated
-- severity, data2 the urgency letter, data3 the notification class) and
-- tag values (field = the tag name in upper case). field and fieldvalue
-- are stored in upper case; the lookups upper-case what they are given.
create table if not exists qd_edit (
  file_type       integer      not null,
  field           varchar(40)  not null,
  fieldvalue      varchar(256) not null,
  data1           varchar(256),
  data2           varchar(256),
  data3           varchar(256),
  primary key (file_type, field, fieldvalue)
);
comment on table qd_edit is 'Severity and tag value translations: read by qdAnalyze.';

-- Message texts and report descriptions by event and up to three keys; a
-- key of '*' matches any value. Both texts are templates.
create table if not exists qd_anal_msgtext (
  file_type       integer       not null,
  eventname       varchar(40)   not null,
  key1            varchar(256)  not null default '*',
  key2            varchar(256)  not null default '*',
  key3            varchar(256)  not null default '*',
  msgtext         varchar(4000),
  description     varchar(4000),
  in_test         varchar(1),                 -- null reads 'Y': the report carries the warning banner
  primary key (file_type, eventname, key1, key2, key3)
);
comment on table qd_anal_msgtext is 'Message texts and report descriptions: read by qdAnalyze.';

-- FRU callouts of an event: which parts or maintenance procedures the
-- report names, by event and up to six keys ('*' matches any value).
create table if not exists qd_fru_callout (
  file_type       integer       not null,
  eventname       varchar(40)   not null,
  key1            varchar(256)  not null default '*',
  key2            varchar(256)  not null default '*',
  key3            varchar(256)  not null default '*',
  key4            varchar(256)  not null default '*',
  key5            varchar(256)  not null default '*',
  key6            varchar(256)  not null default '*',
  priority        integer       not null,
  order_in_priority integer     not null default 0,
  probability     integer       not null,     -- percent
  fru_key         varchar(256)  not null,     -- qd_fru.part_number
  notes           varchar(4000)
);
create index if not exists qd_fru_callout_event
  on qd_fru_callout (file_type, eventname, priority, order_in_priority);
comment on table qd_fru_callout is 'FRU callouts per event and keys: read by qdAnalyze for the analysis report.';

-- Parts and maintenance procedures (part_number beginning "MPROC").
create table if not exists qd_fru (
  part_number     varchar(256)  primary key,
  part_name       varchar(256)  not null,
  mproc_filename  varchar(256),               -- procedure text copied into the report
  gm_script       varchar(256),
  part_num_text   varchar(4000)               -- shown instead of part_number when present
);
comment on table qd_fru is 'Parts and maintenance procedures: read by qdAnalyze for the analysis report.';

-- One row per analysis; repeat detection reads it back by machine, event
-- type and analysis date.
create table if not exists qd_anal_history (
  vendor          varchar(40)   not null,
  product         varchar(40)   not null,
  prod_id         varchar(80)   not null,
  file_date       timestamp,
  file_type       integer       not null,
  file_seq        varchar(10),
  template_used   integer       not null,
  anal_date       timestamp     not null,
  event_type      varchar(40)   not null,
  event_date      timestamp,
  component       varchar(80),
  component_loc   varchar(80),
  symptom_keyword varchar(40),
  symptom_detail  varchar(256),
  urgency         varchar(1),
  severity        varchar(40),
  ea_key1         varchar(256),               -- keys and details: null unless a report was written
  ea_key2         varchar(256),
  ea_key3         varchar(256),
  ea_key4         varchar(256),
  ea_key5         varchar(256),
  ea_key6         varchar(256),
  ea_details      varchar(4000)
);
create index if not exists qd_anal_history_machine_event
  on qd_anal_history (vendor, product, prod_id, event_type, anal_date);
comment on table qd_anal_history is
  'Analysis history: written by qdAnalyze (WriteHistory) for every analysis, read back by its '
  'event handlers for repeat detection.';
