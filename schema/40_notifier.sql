-- The notifier's tables: product attributes (also read by qdGrpNot), users
-- and their notification rules, pager types, notify history, and the alert
-- history with its hand-over to case management.
-- Every statement here can run again harmlessly.

-- Per product: grouping, repeat suppression and installation settings, one
-- set per notification class 0 to 5. Delays and windows are minutes,
-- rul_window hours. Every column the daemons read without a null
-- indicator is not null, with the "off" value as default.
create table if not exists qd_prod_attr (
  vendor          varchar(40) not null,
  product         varchar(40) not null,
  notification_grouping0 varchar(1) not null default 'N', ng_delay0 integer not null default 0, ng_max_delay0 integer not null default 0,
  notification_grouping1 varchar(1) not null default 'N', ng_delay1 integer not null default 0, ng_max_delay1 integer not null default 0,
  notification_grouping2 varchar(1) not null default 'N', ng_delay2 integer not null default 0, ng_max_delay2 integer not null default 0,
  notification_grouping3 varchar(1) not null default 'N', ng_delay3 integer not null default 0, ng_max_delay3 integer not null default 0,
  notification_grouping4 varchar(1) not null default 'N', ng_delay4 integer not null default 0, ng_max_delay4 integer not null default 0,
  notification_grouping5 varchar(1) not null default 'N', ng_delay5 integer not null default 0, ng_max_delay5 integer not null default 0,
  repeat_suppression0 varchar(1) not null default 'N', rs_limit0 integer not null default 0, rs_window0 integer not null default 0,
  repeat_suppression1 varchar(1) not null default 'N', rs_limit1 integer not null default 0, rs_window1 integer not null default 0,
  repeat_suppression2 varchar(1) not null default 'N', rs_limit2 integer not null default 0, rs_window2 integer not null default 0,
  repeat_suppression3 varchar(1) not null default 'N', rs_limit3 integer not null default 0, rs_window3 integer not null default 0,
  repeat_suppression4 varchar(1) not null default 'N', rs_limit4 integer not null default 0, rs_window4 integer not null default 0,
  repeat_suppression5 varchar(1) not null default 'N', rs_limit5 integer not null default 0, rs_window5 integer not null default 0,
  reset_urgency_low varchar(1) not null default 'N',
  rul_window      integer     not null default 0,
  install_cntl    varchar(1)  not null default 'Y',  -- 'N': no installed products, use install_site_number
  install_site_number varchar(80),
  cust_alert_only varchar(1)  not null default 'N',
  primary key (vendor, product)
);
comment on table qd_prod_attr is
  'Product attributes: read by qdNotify for every notification (with the next qd_notify_number) and '
  'by qdGrpNot for its grouping settings.';

-- One number per processed notification, the digits of the notify id.
create sequence if not exists qd_notify_number;

-- Users. Resource ids from -99 to -1 are alert history (RAP) recipients.
create table if not exists qd_user (
  resource_id     integer      primary key,
  user_id         varchar(100) not null,
  category        varchar(30),
  language        varchar(30),
  email1          varchar(240),
  email2          varchar(240),
  email3          varchar(240),
  pager_type      varchar(80),                -- qd_pager_attr.type
  pager_access    varchar(240),               -- mail address of the pager service
  perm_timezone_name varchar(80),             -- the user's own zone; null reads GMT
  company         varchar(360)                -- member_organization in qd_orggroup_mem
);
comment on table qd_user is 'Notification recipients: read by qdNotify.';

-- Notification rules of a user for a product, a site or a group, valid from
-- date_start to date_end. suppress = 'Y' makes it a suppression rule for
-- abstracts matching symptom. The means flags (1 open-loop page, 2
-- closed-loop page, 3 to 5 mail to email1 to email3) per urgency (h, l)
-- and shift (p prime, o off) are concatenated by the recipient query, so
-- none may be null.
create table if not exists qd_notify (
  resource_id     integer      not null,      -- qd_user.resource_id
  product_id      integer,                    -- qd_product.product_id
  site_id         integer,                    -- qd_site.site_id
  group_id        varchar(40),                -- a group of qd_group_mem, or "All.<vendor>.<product>"
  date_start      timestamp    not null,
  date_end        timestamp    not null,
  suppress        varchar(1),
  symptom         varchar(256),               -- POSIX extended regular expression on the abstract
  means1_h_p varchar(1) not null default 'N', means2_h_p varchar(1) not null default 'N', means3_h_p varchar(1) not null default 'N',
  means4_h_p varchar(1) not null default 'N', means5_h_p varchar(1) not null default 'N', means6_h_p varchar(1) not null default 'N',
  means1_h_o varchar(1) not null default 'N', means2_h_o varchar(1) not null default 'N', means3_h_o varchar(1) not null default 'N',
  means4_h_o varchar(1) not null default 'N', means5_h_o varchar(1) not null default 'N', means6_h_o varchar(1) not null default 'N',
  means1_l_p varchar(1) not null default 'N', means2_l_p varchar(1) not null default 'N', means3_l_p varchar(1) not null default 'N',
  means4_l_p varchar(1) not null default 'N', means5_l_p varchar(1) not null default 'N', means6_l_p varchar(1) not null default 'N',
  means1_l_o varchar(1) not null default 'N', means2_l_o varchar(1) not null default 'N', means3_l_o varchar(1) not null default 'N',
  means4_l_o varchar(1) not null default 'N', means5_l_o varchar(1) not null default 'N', means6_l_o varchar(1) not null default 'N'
);
create index if not exists qd_notify_product on qd_notify (product_id);
create index if not exists qd_notify_site on qd_notify (site_id);
create index if not exists qd_notify_group on qd_notify (group_id);
create index if not exists qd_notify_user on qd_notify (resource_id);
comment on table qd_notify is 'Notification and suppression rules: read by qdNotify.';

-- One row per processed notification; repeat suppression counts them back
-- by machine, repeat key and date.
create table if not exists qd_notify_history (
  vendor          varchar(40)  not null,
  product         varchar(40)  not null,
  prod_id         varchar(80)  not null,
  not_unique      varchar(256) not null,      -- the repeat key
  notclass        integer,
  notify_date     timestamp    not null,
  notify_id       varchar(80)  not null,
  abstract        varchar(80),                -- as received, never the SUPPRESSED: form
  notified        varchar(1)   not null check (notified in ('Y', 'N'))
);
create index if not exists qd_notify_history_repeat
  on qd_notify_history (vendor, product, prod_id, not_unique, notify_date);
comment on table qd_notify_history is
  'Notify history: written by qdNotify for every notification, read back for repeat suppression.';

-- Pager types and how pages of that type travel ("mail").
create table if not exists qd_pager_attr (
  type            varchar(80) primary key,    -- qd_user.pager_type
  transport       varchar(80) not null,
  closed_loop     varchar(1)  not null default 'N'
);
comment on table qd_pager_attr is 'Pager types: read by qdNotify for paging.';

-- Alert history.
create sequence if not exists qd_rap_history_seq;

create table if not exists qd_rap_history (
  objid           bigint       primary key,   -- qd_rap_history_seq
  rap_resource_id integer      not null,
  vendor          varchar(40)  not null,
  product         varchar(40)  not null,
  prod_id         varchar(80)  not null,
  site_id         integer,
  rap_date        timestamp    not null default sysdate(),
  status          varchar(10)  not null,      -- New, or Pending when handed to case management
  category        varchar(30),
  urgency         varchar(10),                -- urgency word
  abstract        varchar(80),
  rap_filename    varchar(256),
  fdb_objid       varchar(39),                -- qd_fdb_cat.objid, null when not found
  os_rel          varchar(80),
  msg_id          varchar(80),
  so_number       varchar(40),
  EntityId        varchar(80)
);
comment on table qd_rap_history is
  'Alert history: written by qdNotify (WriteRAPHistory) off the SP for every RAP recipient.';

-- Alert history rows handed to the case-management system, one per
-- history row.
create table if not exists external_sr_pending (
  rap_id          bigint        primary key,  -- qd_rap_history.objid
  fdb_objid       varchar(39),
  entity_event_id bigint        not null,
  description     varchar(4000),
  priority        integer       not null      -- 2 for alert and high, 3 otherwise
);
comment on table external_sr_pending is
  'Hand-over to case management: written by qdNotify (WriteRAPHistory), read by the case-management system.';

-- Service-request status per entity event, in the order written.
create table if not exists entity_event_sr_requests (
  entity_event_id bigint       not null,
  sr_status       varchar(40)  not null,
  request_date    timestamp    not null default sysdate()
);
create index if not exists entity_event_sr_requests_event
  on entity_event_sr_requests (entity_event_id);
comment on table entity_event_sr_requests is
  'Service-request statuses: written by qdNotify (UpdateSrStatus), read by the case-management system.';
