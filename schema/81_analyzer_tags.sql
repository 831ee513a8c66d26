-- Default installation data of the analyzer: the event tag table
-- (file type 100) and the value translations of qd_edit.
--
-- The tag table names every element an event file of the array holds: the
-- event element as the array sends it (Event with Node, Seq, Sev, Time,
-- Type, AlertId, Class, MessageCode, ShortDesc, EventString, CatKey, the
-- components PrimaryComp and Comp with CompName, CompType and CompId, the
-- parameters Parameter with PName and PValue, and the component state of
-- state events: OverallState, StCompType, StCompState), the three elements
-- the collector adds (Serial, SystemModel, ReleaseLevel), and the tags the
-- generic patterns fill from the summary text (tSev, tTime, tType,
-- tMessageCode). An element that is not here is logged as unknown and
-- marks the event with a parse-error notification.
--
-- Flags, and why:
--  - Event, PrimaryComp, Comp, Parameter: nodata. They hold only child
--    elements; the blanks and newlines between those would otherwise pile
--    up as their text.
--  - Class: an event may carry several classes; catdata with "," keeps them
--    all, so the alert test ("contains evt_class_alert") sees every one.
--  - CompType: every component and container of an event names its type;
--    catdata with "," keeps the list ("PD,MAG,CAGE"). The end exit records
--    each raw type and translates the last segment (qd_edit 'COMPTYPE'
--    below), so the segments must stay apart.
--  - CompId, CompName: the first occurrence is the primary component's
--    (the array sends it before any container), and that is the one a
--    symptom names; later ones are ignored. CompId is not reformatted
--    (makehex stays clear): the array sends plain decimal ids, and the
--    reformatting reads the number only from the third character of the
--    value on, so it would turn disk id 1234 into "12" followed by the hex
--    of 34.
--  - PName, PValue: redirected into "Parameters", which collects the
--    event's parameters as "name=value|name=value" (PName appends "|"
--    before every name but the first, PValue "=" before its value), the
--    form the ValueOf template modifier reads: %TParameters{ValueOf:File}.
--  - StCompType, StCompState: a state event may list several components;
--    catdata with ",".
--  - Everything else keeps the first value of the event.
--
-- Loading this file again changes nothing: a tag already present is kept.

insert into qd_tag_data (file_type, tagname, separator, redirect_name,
                         flag_nodata, flag_repdata, flag_catdata, flag_redirect, flag_makehex, flag_droptag)
select 100, v.tagname, v.separator, v.redirect_name,
       v.nodata, 'N', v.catdata, v.redirect, 'N', 'N'
from (values
  -- the event element and its containers
  ('Event',        null, null,         'Y', 'N', 'N'),
  ('PrimaryComp',  null, null,         'Y', 'N', 'N'),
  ('Comp',         null, null,         'Y', 'N', 'N'),
  ('Parameter',    null, null,         'Y', 'N', 'N'),
  -- what the array sends
  ('Version',      null, null,         'N', 'N', 'N'),
  ('Node',         null, null,         'N', 'N', 'N'),
  ('Seq',          null, null,         'N', 'N', 'N'),
  ('Sev',          null, null,         'N', 'N', 'N'),
  ('Time',         null, null,         'N', 'N', 'N'),
  ('Type',         null, null,         'N', 'N', 'N'),
  ('AlertId',      null, null,         'N', 'N', 'N'),
  ('Class',        ',',  null,         'N', 'Y', 'N'),
  ('MessageCode',  null, null,         'N', 'N', 'N'),
  ('CompName',     null, null,         'N', 'N', 'N'),
  ('CompType',     ',',  null,         'N', 'Y', 'N'),
  ('CompId',       null, null,         'N', 'N', 'N'),
  ('ShortDesc',    null, null,         'N', 'N', 'N'),
  ('EventString',  null, null,         'N', 'N', 'N'),
  ('PName',        '|',  'Parameters', 'N', 'Y', 'Y'),
  ('PValue',       '=',  'Parameters', 'N', 'Y', 'Y'),
  ('Parameters',   null, null,         'N', 'N', 'N'),
  ('CatKey',       null, null,         'N', 'N', 'N'),
  ('OverallState', null, null,         'N', 'N', 'N'),
  ('StCompType',   ',',  null,         'N', 'Y', 'N'),
  ('StCompState',  ',',  null,         'N', 'Y', 'N'),
  -- what the collector adds
  ('Serial',       null, null,         'N', 'N', 'N'),
  ('SystemModel',  null, null,         'N', 'N', 'N'),
  ('ReleaseLevel', null, null,         'N', 'N', 'N'),
  -- translated forms, filled by the generic patterns from the summary;
  -- tType keeps all flags clear so that it falls back to Type
  ('tSev',         null, null,         'N', 'N', 'N'),
  ('tTime',        null, null,         'N', 'N', 'N'),
  ('tType',        null, null,         'N', 'N', 'N'),
  ('tMessageCode', null, null,         'N', 'N', 'N')
) as v (tagname, separator, redirect_name, nodata, catdata, redirect)
where not exists (select 1 from qd_tag_data t where t.file_type = 100 and t.tagname = v.tagname);

-- Severities, by the name the summary line gives ("Severity: Major").
-- data1 is the severity as reports, history and notification abstracts
-- show it, data2 the urgency letter, data3 the notification class:
--   1 fatal and critical failures, 2 major failures, 3 minor faults and
--   degraded parts, 5 information and debugging. Class 0 is what an
--   unknown severity gets; class 4 is left out, as the notifier reads it
--   as "customer only".
insert into qd_edit (file_type, field, fieldvalue, data1, data2, data3)
values (100, 'SEVERITY', 'FATAL',         'fatal',         'H', '1'),
       (100, 'SEVERITY', 'CRITICAL',      'critical',      'H', '1'),
       (100, 'SEVERITY', 'MAJOR',         'major',         'H', '2'),
       (100, 'SEVERITY', 'MINOR',         'minor',         'L', '3'),
       (100, 'SEVERITY', 'DEGRADED',      'degraded',      'L', '3'),
       (100, 'SEVERITY', 'INFORMATIONAL', 'informational', 'L', '5'),
       (100, 'SEVERITY', 'DEBUG',         'debug',         'L', '5')
on conflict do nothing;

-- Component types as the CompType exit translates them (field COMPTYPE,
-- the raw type in upper case): the short names symptoms and history rows
-- use. A type missing here keeps its raw name and raises a low-urgency
-- notification naming it, so every type the array reports is listed.
insert into qd_edit (file_type, field, fieldvalue, data1)
values (100, 'COMPTYPE', 'COMP_HW_DISK',       'DISK'),
       (100, 'COMPTYPE', 'COMP_HW_CAGE',       'CAGE'),
       (100, 'COMPTYPE', 'COMP_HW_CAGE_SLED',  'MAG'),
       (100, 'COMPTYPE', 'COMP_HW_NODE',       'NODE'),
       (100, 'COMPTYPE', 'COMP_HW_NODE_PS',    'PS'),
       (100, 'COMPTYPE', 'COMP_HW_BATTERY',    'BAT'),
       (100, 'COMPTYPE', 'COMP_SW_PD',         'PD'),
       (100, 'COMPTYPE', 'COMP_SW_LD',         'LD'),
       (100, 'COMPTYPE', 'COMP_SW_VV',         'VV'),
       (100, 'COMPTYPE', 'COMP_SW_CP',         'CPG'),
       (100, 'COMPTYPE', 'COMP_SW_PORT',       'PORT'),
       (100, 'COMPTYPE', 'COMP_SW_TASK',       'TASK'),
       (100, 'COMPTYPE', 'COMP_SW_PROCESS',    'PROC'),
       (100, 'COMPTYPE', 'COMP_SW_RMM_VOLUME', 'RCVOL'),
       (100, 'COMPTYPE', 'COMP_SW_RMM_GROUP',  'RCGROUP')
on conflict do nothing;
