-- Default installation data of the analyzer: the report texts and FRU
-- callouts of the node power supply handler ("nodepower": evt_ps_acstatus,
-- evt_ps_dcstatus) and the battery handler ("battery", "PATbattery":
-- evt_bat_*).
--
-- Keys the handlers choose:
--   power supply events: key1 the event's power-supply state (AC_FAIL,
--     DC_FAIL, NOT_PRESENT, FAN_FAIL, AC_OK, ... or OTHER), key3 na or
--     MultipleErrors, key4 the outcome (NodePS, CallSupport,
--     TemporaryError, MaintenanceInProgress, None, ConflictingData,
--     SeeRelatedEvents), key5 na, E-series or Override, key6 na or
--     MissingData;
--   battery events: key3 na, WillExpire, NoBatterySerial or
--     NoBattLifeCount, key4 the outcome (NodePS, Battery, CallSupport,
--     SetupBatteryInfo, TemporaryError, CheckBatteryConnection,
--     CheckBatteryOn, CheckAdminAndSetup), key5 na or E-series, key6 na,
--     MissingData, TIB0008 or TIB0008A.
-- Descriptions are chosen by keys 1 to 3 and exactly one row may match;
-- callouts by all six, and every matching row is listed, so the outcome
-- (key4) names the part or procedure and key6 adds what the output lacked.
--
-- Message values: power supply M0 power supply, M1 node, M2 event state,
-- M3 extra note; battery M0 node, M1 power supply, M2 battery, M3 serial;
-- M9 the battery transient note.
--
-- Loading this file again changes nothing: rows already present are kept.

insert into qd_anal_msgtext (file_type, eventname, key1, key2, key3, msgtext, description, in_test)
values
  (100, 'evt_ps_acstatus', '*', '*', 'na',
   'Node %M1. power supply %M0. reported %M2.%M3..',
   E'Node %M1. power supply %M0. reported the AC state %M2.%M3..\n' ||
   E'The state was compared with the power supply''s current state in the "shownode" or\n' ||
   E'"showbattery" output collected with the event.',
   'N'),
  (100, 'evt_ps_acstatus', '*', '*', 'MultipleErrors',
   'Node %M1. power supply %M0. reported %M2. repeatedly.',
   E'Node %M1. power supply %M0. reported the AC state %M2., and the same power supply\n' ||
   E'failed or was missing within the last minutes. The power supply is still failed.',
   'N'),
  (100, 'evt_ps_dcstatus', '*', '*', 'na',
   'Node %M1. power supply %M0. reported %M2.%M3..',
   E'Node %M1. power supply %M0. reported the DC state %M2.%M3..\n' ||
   E'The state was compared with the power supply''s current state in the "shownode" or\n' ||
   E'"showbattery" output collected with the event.',
   'N'),
  (100, 'evt_ps_dcstatus', '*', '*', 'MultipleErrors',
   'Node %M1. power supply %M0. reported %M2. repeatedly.',
   E'Node %M1. power supply %M0. reported the DC state %M2., and the same power supply\n' ||
   E'failed or was missing within the last minutes. The power supply is still failed.',
   'N'),
  (100, 'evt_bat_fail', '*', '*', 'na',
   'Node %M0. PS %M1. battery %M2. failed%M9..',
   E'Battery %M2. of node %M0. power supply %M1. was reported failed%M9..\n' ||
   E'Its current state was taken from the "showbattery" output collected with the event.',
   'N'),
  (100, 'evt_bat_fail', '*', '*', 'NoBattLifeCount',
   'Node %M0. PS %M1. battery %M2. failed; no battery is seen.',
   E'Battery %M2. of node %M0. power supply %M1. was reported failed, and the\n' ||
   E'"showbattery" output shows neither batteries nor battery life for it:\n' ||
   E'the batteries are probably not connected.',
   'N'),
  (100, 'evt_bat_expired', '*', '*', 'na',
   'Node %M0. PS %M1. battery %M2. has expired.',
   E'Battery %M2. (serial %M3.) of node %M0. power supply %M1. has expired.',
   'N'),
  (100, 'evt_bat_expired', '*', '*', 'WillExpire',
   'Node %M0. PS %M1. battery %M2. will expire soon.',
   E'Battery %M2. (serial %M3.) of node %M0. power supply %M1. will expire soon.\n' ||
   E'Order its replacement now.',
   'N'),
  (100, 'evt_bat_expired', '*', '*', 'NoBatterySerial',
   'Node %M0. PS %M1. battery %M2. expired; no serial number is recorded.',
   E'Battery %M2. of node %M0. power supply %M1. is reported expired, but the array has no\n' ||
   E'serial number recorded for it, so its age is unknown.',
   'N'),
  (100, 'evt_bat_oldbat', '*', '*', '*',
   'Node %M0. PS %M1. battery %M2. is old.',
   E'Battery %M2. of node %M0. power supply %M1. is reported old. Check the recorded\n' ||
   E'installation date of the battery against the array''s administrative settings.',
   'N'),
  (100, 'evt_bat_swfail', '*', '*', '*',
   'Node %M0. PS %M1. battery %M2. failed its test%M9..',
   E'Battery %M2. of node %M0. power supply %M1. failed its periodic test%M9..\n' ||
   E'Its current state was taken from the "showbattery" output collected with the event.',
   'N'),
  (100, 'evt_bat_badcount', '*', '*', '*',
   'Node %M0. PS %M1. has a wrong number of batteries.',
   E'The array reports a wrong number of batteries on node %M0. power supply %M1..',
   'N'),
  (100, 'evt_bat_nobats', '*', '*', '*',
   'A power supply reports no batteries.',
   E'A node power supply reports that it has no batteries.',
   'N')
on conflict do nothing;

insert into qd_fru (part_number, part_name, mproc_filename, gm_script, part_num_text)
values
  ('PS-NODE-0100', 'Node power supply', null, null, null),
  ('PS-NODE-0200', 'Node power supply, E-series', null, null, null),
  ('BAT-NODE-0100', 'Node battery', null, null, null),
  ('MPROC-CALL-SUPPORT', 'Call support', null, null, null),
  ('MPROC-TRANSIENT', 'Transient condition', null, null, null),
  ('MPROC-MAINTENANCE', 'Maintenance in progress', null, null, null),
  ('MPROC-NO-ACTION', 'No action needed', null, null, null),
  ('MPROC-CONFLICTING-DATA', 'Conflicting data', null, null, null),
  ('MPROC-RELATED-EVENTS', 'Review related events', null, null, null),
  ('MPROC-MISSING-DATA', 'Collect missing command output', null, null, null),
  ('MPROC-BATTERY-SETUP', 'Set up battery information', null, null, null),
  ('MPROC-BATTERY-CONNECTION', 'Check battery connection', null, null, null),
  ('MPROC-BATTERY-ON', 'Check battery is switched on', null, null, null),
  ('MPROC-BATTERY-ADMIN', 'Check battery administration', null, null, null),
  ('MPROC-TIB0008', 'Technical bulletin TIB0008', null, null, null),
  ('MPROC-TIB0008A', 'Technical bulletin TIB0008A', null, null, null)
on conflict do nothing;

-- Callouts by outcome, for each event of a handler. The rows are made
-- from two lists so that every event gets the same set.
insert into qd_fru_callout (file_type, eventname, key1, key2, key3, key4, key5, key6,
                            priority, order_in_priority, probability, fru_key, notes)
select 100, e.eventname, '*', '*', '*', o.key4, o.key5, o.key6,
       o.priority, o.order_in_priority, o.probability, o.fru_key, o.notes
from (values ('evt_ps_acstatus'), ('evt_ps_dcstatus')) as e(eventname)
cross join (values
  ('NodePS', 'na', '*', 1, 1, 90, 'PS-NODE-0100', 'Replace the failed power supply.'),
  ('NodePS', 'E-series', '*', 1, 1, 90, 'PS-NODE-0200', 'Replace the failed power supply.'),
  ('CallSupport', '*', '*', 1, 1, 100, 'MPROC-CALL-SUPPORT',
   'The power supply failed repeatedly or is in an unexpected state; call support.'),
  ('TemporaryError', '*', '*', 1, 1, 100, 'MPROC-TRANSIENT',
   'The power supply is OK now; no part needs replacing. Watch for further events.'),
  ('MaintenanceInProgress', '*', '*', 1, 1, 100, 'MPROC-MAINTENANCE',
   'The power supply was removed or is being replaced; check for maintenance in progress.'),
  ('None', '*', '*', 1, 1, 100, 'MPROC-NO-ACTION', 'The power supply recovered; no action needed.'),
  ('ConflictingData', '*', '*', 1, 1, 100, 'MPROC-CONFLICTING-DATA',
   'The event reports recovery but the power supply is not OK now; review related events.'),
  ('SeeRelatedEvents', '*', '*', 1, 1, 100, 'MPROC-RELATED-EVENTS',
   'The charger overload follows a power failure; act on the related power supply events.'),
  ('*', '*', 'MissingData', 2, 1, 100, 'MPROC-MISSING-DATA',
   'The "shownode" and "showbattery" output was not available; the decision rests on the event alone.')
) as o(key4, key5, key6, priority, order_in_priority, probability, fru_key, notes)
where not exists (select 1 from qd_fru_callout c
                  where c.file_type = 100 and c.eventname = e.eventname and c.key4 = o.key4
                    and c.key5 = o.key5 and c.key6 = o.key6 and c.fru_key = o.fru_key);

insert into qd_fru_callout (file_type, eventname, key1, key2, key3, key4, key5, key6,
                            priority, order_in_priority, probability, fru_key, notes)
select 100, e.eventname, '*', '*', '*', o.key4, o.key5, o.key6,
       o.priority, o.order_in_priority, o.probability, o.fru_key, o.notes
from (values ('evt_bat_fail'), ('evt_bat_expired'), ('evt_bat_oldbat'), ('evt_bat_swfail'),
             ('evt_bat_badcount'), ('evt_bat_nobats')) as e(eventname)
cross join (values
  ('NodePS', 'na', '*', 1, 1, 90, 'PS-NODE-0100', 'Replace the power supply that holds the batteries.'),
  ('NodePS', 'E-series', '*', 1, 1, 90, 'PS-NODE-0200', 'Replace the power supply that holds the batteries.'),
  ('Battery', '*', '*', 1, 1, 90, 'BAT-NODE-0100', 'Replace the battery named above.'),
  ('CallSupport', '*', '*', 1, 1, 100, 'MPROC-CALL-SUPPORT',
   'The battery could not be identified in the collected output; call support.'),
  ('SetupBatteryInfo', '*', '*', 1, 1, 100, 'MPROC-BATTERY-SETUP',
   'Record the battery''s serial number and installation date on the array.'),
  ('TemporaryError', '*', '*', 1, 1, 100, 'MPROC-TRANSIENT',
   'The battery is OK now; no part needs replacing. Watch for further events.'),
  ('CheckBatteryConnection', '*', '*', 1, 1, 100, 'MPROC-BATTERY-CONNECTION',
   'No battery is seen: check that the batteries are seated and their cables connected.'),
  ('CheckBatteryOn', '*', '*', 1, 1, 100, 'MPROC-BATTERY-ON',
   'Check that the battery is switched on, then replace it if it stays failed.'),
  ('CheckAdminAndSetup', '*', '*', 1, 1, 100, 'MPROC-BATTERY-ADMIN',
   'Check the battery''s recorded installation date and the array''s battery settings.'),
  ('*', '*', 'TIB0008', 2, 1, 100, 'MPROC-TIB0008',
   'Arrays with the oldest battery output: follow technical bulletin TIB0008 before replacing parts.'),
  ('*', '*', 'TIB0008A', 2, 1, 100, 'MPROC-TIB0008A',
   'A battery that tests failed but reads OK: follow technical bulletin TIB0008A.'),
  ('*', '*', 'MissingData', 2, 1, 100, 'MPROC-MISSING-DATA',
   'The "showbattery" output was not available; the decision rests on the event alone.')
) as o(key4, key5, key6, priority, order_in_priority, probability, fru_key, notes)
where not exists (select 1 from qd_fru_callout c
                  where c.file_type = 100 and c.eventname = e.eventname and c.key4 = o.key4
                    and c.key5 = o.key5 and c.key6 = o.key6 and c.fru_key = o.fru_key);
