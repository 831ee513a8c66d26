-- Default installation data of the analyzer: the pattern table of
-- event files (file type 100).
--
-- Patterns are POSIX extended regular expressions run without REG_NEWLINE:
-- "." and bracket expressions also match a newline, and "^" anchors only at
-- the start of the text. Newlines are written as E'\n' escapes; every
-- line stops its captures at the end of its line with [^\n].
-- Line numbers go in steps of ten so that a site can slip its own lines in
-- between.
--
-- Loading this file again changes nothing: lines already present are kept.

-- The generic group runs over the summary the collector writes in front of
-- every event (the text before "XML FORMAT:"), whose first lines read
--   Event id: 1234567  Node 1  Cust Alert - Yes, Svc Alert - Yes   Severity: Major  
--   Event time: Fri Apr 15 10:20:30 2005
--   Event type: Physical disk failed<tabs>     Alert ID: 17  Msg ID: 30004
-- Every line that matches fills its tags; a tag keeps the first value it
-- gets. Its name begins with a blank so that it sorts before every event.
insert into qd_anal_pattern (file_type, apply, lineseq, rule, pattern, tag0, tag1)
values
  -- the severity name, without the blanks that follow it
  (100, ' generic', 10, 0, E'^Event id: [^\n]*Severity: ([^\n]*[^[:space:]])', 'tSev', null),
  -- the event time as the collector's host printed it: Fri Apr 15 10:20:30 2005
  (100, ' generic', 20, 0, E'\nEvent time: ([^\n]*[^[:space:]])', 'tTime', null),
  -- the event type's description (its name when the array gave none),
  -- which ends at the tabs before the alert and message ids
  (100, ' generic', 30, 0, E'\nEvent type: ([^\t\n]*[^[:space:]])', 'tType', null),
  -- the message code in hexadecimal, or N/A
  (100, ' generic', 40, 0, E'\nEvent type: [^\n]*Msg ID: ([[:xdigit:]]+|N/A)', 'tMessageCode', null)
on conflict do nothing;

-- Event groups, applied to the event string by the handlers that choose a
-- template by pattern ("pattern", "dskerr", "dskfail", "dskabrt",
-- "notifycomp", "jbodevt", "nodepower", "lesb", "PATbattery"). The rule of
-- the matching line is the template number. Each group ends in a line that
-- matches any text, so every event of these types gets its symptom; V0
-- then holds the whole event string.
insert into qd_anal_pattern (file_type, apply, lineseq, rule, pattern, tag0, tag1)
values
  -- disk command errors: the array's command status ("Vqx error code =
  -- TE_MEDFAIL - ...") is the keyword, in V1, where the handler looks for it
  (100, 'evt_dskerr',          10, 0, E'^(.*)Vqx error code =[[:blank:]]*([[:alnum:]_]+)', null, null),
  (100, 'evt_dskerr',          20, 1, '(.*)', null, null),
  (100, 'evt_dskfail',         10, 0, '(.*)', null, null),
  (100, 'evt_dskabrt',         10, 0, '(.*)', null, null),
  (100, 'evt_ldsk_setfail',    10, 0, '(.*)', null, null),
  (100, 'evt_jbod_jtype',      10, 0, '(.*)', null, null),
  (100, 'evt_ps_acstatus',     10, 0, '(.*)', null, null),
  (100, 'evt_ps_dcstatus',     10, 0, '(.*)', null, null),
  (100, 'evt_fc_lesb',         10, 0, '(.*)', null, null),
  -- a battery that is about to expire (rule 0) or has expired (rule 1)
  (100, 'evt_bat_expired',     10, 0, 'will expire|expires in', null, null),
  (100, 'evt_bat_expired',     20, 1, '(.*)', null, null),
  (100, 'evt_coredump',        10, 0, '(.*)', null, null),
  (100, 'evt_task_fail',       10, 0, '(.*)', null, null)
on conflict do nothing;
