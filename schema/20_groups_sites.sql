-- Groups, shifts, sites and installed products: read by libQDora_gpl
-- (qdGrpBOM, qdOrgGrpBOM, qdUGrpBOM, qdPrimeShift, _GetTimeZone) and by
-- qdNotify. Nothing in the system writes them; operators and installation
-- data do.
-- Every statement here can run again harmlessly.

-- Group membership: each row puts one member into group_name. A member is
-- a product or site (qd_group_mem), an organisation (qd_orggroup_mem) or a
-- user (qd_usergroup_mem), or another group (member_group) in all three.
create table if not exists qd_group_mem (
  group_name      varchar(40) not null,
  member_product  integer,                    -- qd_product.product_id
  member_site     integer,                    -- qd_site.site_id
  member_group    varchar(40),
  check (num_nonnulls(member_product, member_site, member_group) >= 1)
);
create index if not exists qd_group_mem_product on qd_group_mem (member_product);
create index if not exists qd_group_mem_site on qd_group_mem (member_site);
create index if not exists qd_group_mem_group on qd_group_mem (member_group);
comment on table qd_group_mem is
  'Product and site groups: read by qdGrpBOM (qdNotify recipients and suppression rules).';

create table if not exists qd_orggroup_mem (
  group_name          varchar(40)  not null,
  member_organization varchar(360),           -- qd_user.company
  member_group        varchar(40),
  check (num_nonnulls(member_organization, member_group) >= 1)
);
create index if not exists qd_orggroup_mem_org on qd_orggroup_mem (member_organization);
create index if not exists qd_orggroup_mem_group on qd_orggroup_mem (member_group);
comment on table qd_orggroup_mem is
  'Organisation groups: read by qdOrgGrpBOM (qdNotify organisation type of a recipient).';

create table if not exists qd_usergroup_mem (
  group_name      varchar(40) not null,
  member_user     integer,                    -- qd_user.resource_id
  member_group    varchar(40),
  check (num_nonnulls(member_user, member_group) >= 1)
);
create index if not exists qd_usergroup_mem_user on qd_usergroup_mem (member_user);
create index if not exists qd_usergroup_mem_group on qd_usergroup_mem (member_group);
comment on table qd_usergroup_mem is 'User groups: read by qdUGrpBOM.';

-- Organisation type of an organisation group: a sort letter followed by the
-- type ("aVQX", "bCUS"); the lowest type of a recipient's groups wins.
create table if not exists qd_orggroup (
  group_name      varchar(40) primary key,
  type            varchar(4)  not null
);
comment on table qd_orggroup is
  'Organisation type per organisation group: read by qdNotify (recipient organisation type).';

-- Prime shift schedules. owner is a user's resource id or -1 for the
-- global schedule; times are four-character HHMM texts, a null start reads
-- "2400" and a null end "0000" (no prime shift that day).
create table if not exists qd_shift (
  owner           integer   not null,
  active_start    timestamp not null,
  active_end      timestamp not null,
  sunday_start    varchar(4), sunday_end    varchar(4),
  monday_start    varchar(4), monday_end    varchar(4),
  tuesday_start   varchar(4), tuesday_end   varchar(4),
  wednesday_start varchar(4), wednesday_end varchar(4),
  thursday_start  varchar(4), thursday_end  varchar(4),
  friday_start    varchar(4), friday_end    varchar(4),
  saturday_start  varchar(4), saturday_end  varchar(4),
  primary key (owner, active_start)
);
comment on table qd_shift is 'Weekly prime shift schedules: read by qdPrimeShift (qdNotify).';

-- Single periods that override the schedule: action 'N' is off shift, any
-- other value prime shift.
create table if not exists qd_shift_exception (
  owner           integer    not null,
  active_start    timestamp  not null,
  active_end      timestamp  not null,
  action          varchar(1) not null,
  primary key (owner, active_start)
);
comment on table qd_shift_exception is 'Prime shift exceptions: read by qdPrimeShift (qdNotify).';

-- Sites. A null zone reads "GMT"; a null number read by id reads "1".
create table if not exists qd_site (
  site_id         integer      primary key,
  site_number     varchar(255) unique,
  site_name       varchar(255),
  site_nickname   varchar(19),
  status          varchar(20),
  timezone_name   varchar(80)                 -- zone database name, e.g. America/Los_Angeles
);
comment on table qd_site is
  'Sites: read by _GetTimeZone (by site_number) and by qdNotify (installed product site, '
  'installation site by number or id).';

-- Installed products, found by maker, product and serial.
create table if not exists qd_product (
  product_id      integer     primary key,
  status          varchar(20),
  vendor          varchar(40) not null,
  product         varchar(40) not null,
  prod_id         varchar(80) not null,
  site_id         integer,                    -- qd_site.site_id
  model           varchar(80),
  production      varchar(1),                 -- 'Y' for a production machine
  os_rel          varchar(80)                 -- operating-system release, for the alert history
);
create index if not exists qd_product_ident on qd_product (vendor, product, prod_id);
comment on table qd_product is
  'Installed products: read by qdNotify (installation control) with their site.';
