-- Default installation data of the analyzer: drive cage events
-- (evt_jbod_jtype, handler "jbodevt").
--
-- A cage event string reads
--   "Cage2-A, cage time Fri Apr 15 10:19:02 2005. Code 3 parms 0x1 0x2: fan 1 speed changed to low"
-- The pattern below puts the code into RV0, the word "parms" into RV1, the
-- parameter list into RV2 and the cage's own words into RV3, and chooses
-- template 1; any other text keeps the catch-all of rule 0 (template 0).
--
-- Template 1 shows the message text of the code (capture value 9), which
-- the handler looks up here by key1 "code=N"; one row per code, so that
-- the lookup never finds two. The same rows give the report's description.
--
-- FRU callouts follow the handler's outcome in key4 (with key1 the code).
-- Part numbers of procedures begin with "MPROC".
--
-- Loading this file again changes nothing.

insert into qd_anal_pattern (file_type, apply, lineseq, rule, pattern, tag0, tag1, tag2, tag3)
values (100, 'evt_jbod_jtype', 5, 1,
        E'Code[[:blank:]]+([[:alnum:]]+)[[:blank:]]+(parms)[[:blank:]]*([^:]*):[[:blank:]]*(.*)',
        'RV0', 'RV1', 'RV2', 'RV3')
on conflict do nothing;

update qd_anal_evtdata
   set template1 = 'CAGE%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. cage_event %V9{SquishBlanks}.(%TType.)',
       comp1 = 'U', skey1 = 'Y'
 where file_type = 100 and eventname = 'evt_jbod_jtype' and template1 is null;

-- Message texts (V9) and descriptions by code. Texts of codes the handler
-- expands twice (4, 27, 57, 58, 60) may name message values; the
-- description repeats the text itself rather than V9, since the report
-- expands it once.
insert into qd_anal_msgtext (file_type, eventname, key1, key2, key3, msgtext, description, in_test)
select 100, 'evt_jbod_jtype', 'code=' || code, '*', '*', msgtext,
       'Drive cage %TCompName. (%TCompId.) reported event code ' || code || ' on %V8.: ' || msgtext || '.%M8.' ||
       E'\nCage event string: %TEventString.\n' || advice,
       'N'
from (values
  (1,  'Drive cage management error',            'Check the cage''s other events; call support when it repeats.'),
  (2,  'Drive cage firmware restarted',          'No action unless the cage keeps restarting.'),
  (3,  'Drive cage fan speed changed',           'The power supply that holds the fan is checked against the cage listing and the disk temperatures.'),
  (4,  'Drive cage %M0. status changed',         'The power supply state is checked against the cage listing.'),
  (5,  'Drive cage power supply AC state changed', 'The AC state is checked against the cage listing.'),
  (6,  'Drive cage loop error',                  'Check the loop''s cabling and the loop card.'),
  (7,  'Drive cage environment error',           'Check the cage''s other events.'),
  (8,  'Drive magazine error',                   'Check the magazine named above.'),
  (9,  'Drive cage disk slot error',             'Check the disk and the magazine named above.'),
  (10, 'Drive cage error',                       'Check the cage''s other events.'),
  (11, 'Drive cage interface error',             'Check the cage''s other events.'),
  (15, 'Drive cage temperature warning',         'Check the cage''s fans and the room temperature.'),
  (19, 'Drive cage interface error',             'Check the cage''s other events.'),
  (27, 'Drive cage %M1. %M0. error on %M2.%M3.',  'The loop card states are checked against the cage listing.'),
  (32, 'Drive cage voltage warning',             'Check the cage''s power supplies.'),
  (49, 'Drive cage FC-AL port error',            'Check the port''s cabling.'),
  (50, 'Drive cage SFP error',                   'Check the SFP named above.'),
  (51, 'Drive cage midplane error',              'Check the midplane named above.'),
  (53, 'Drive cage error',                       'Check the cage''s other events.'),
  (54, 'Drive cage error',                       'Check the cage''s other events.'),
  (56, 'Drive cage error',                       'Check the cage''s other events.'),
  (57, 'Drive cage interface %M0. (slot %M1.) error', 'Check the cage''s other events.'),
  (58, 'Drive cage device %M0.|%M1. error on loop %M2.', 'Check the device named above.'),
  (60, 'Drive cage disk DM%M0. HD%M1. error on loop %M2.', 'Check the disk named above.')
) as t(code, msgtext, advice)
on conflict do nothing;

insert into qd_fru (part_number, part_name, mproc_filename, gm_script, part_num_text)
values
  ('DCPS-MAGNETEK', 'Drive cage power supply (MAGNETEK)', null, null, null),
  ('DCPS-ACME', 'Drive cage power supply (ACME)', null, null, null),
  ('DCPS-UNKNOWN', 'Drive cage power supply (model from the cage label)', null, null, null),
  ('DC-LCC', 'Drive cage loop card', null, null, null),
  ('DC-MAG', 'Drive magazine', null, null, null),
  ('DC-MDPL', 'Drive cage midplane', null, null, null),
  ('MPROC-CAGE-OLD', 'Check current cage conditions: the event is older than the cage state', null, null, null),
  ('MPROC-CAGE-TRANSIENT', 'Monitor the cage: the condition has cleared', null, null, null),
  ('MPROC-CAGE-MAINT', 'Confirm the maintenance in progress on the cage', null, null, null),
  ('MPROC-CAGE-CONFLICT', 'Check the power supply by hand: the cage listing and the event disagree', null, null, null),
  ('MPROC-CAGE-MONITOR', 'Monitor the cage for further events', null, null, null),
  ('MPROC-CAGE-SUPPORT', 'Call support with the cage listing', null, null, null)
on conflict do nothing;

-- (code, key4, part): one callout per outcome.
insert into qd_fru_callout (file_type, eventname, key1, key2, key3, key4, key5, key6,
                            priority, order_in_priority, probability, fru_key, notes)
select 100, 'evt_jbod_jtype', 'code=' || c.code, '*', '*', c.key4, '*', '*', 1, 1, c.probability, c.part,
       -- a procedure is printed by its notes: they say what to do
       case when c.part like 'MPROC%' then (select part_name from qd_fru where part_number = c.part) end
from (
  select * from (values
    (3, 'OldCageEvent', 'MPROC-CAGE-OLD', 100), (3, 'TemporaryError', 'MPROC-CAGE-TRANSIENT', 100),
    (3, 'normal', 'MPROC-CAGE-MONITOR', 100),
    (4, 'OldCageEvent', 'MPROC-CAGE-OLD', 100), (4, 'TemporaryError', 'MPROC-CAGE-TRANSIENT', 100),
    (4, 'ConflictingData', 'MPROC-CAGE-CONFLICT', 100), (4, 'MaintenanceInProgress', 'MPROC-CAGE-MAINT', 100),
    (4, 'CallSupport', 'MPROC-CAGE-SUPPORT', 100),
    (5, 'OldCageEvent', 'MPROC-CAGE-OLD', 100), (5, 'TemporaryError', 'MPROC-CAGE-TRANSIENT', 100),
    (5, 'ConflictingData', 'MPROC-CAGE-CONFLICT', 100), (5, 'MaintenanceInProgress', 'MPROC-CAGE-MAINT', 100),
    (27, 'OldCageEvent', 'MPROC-CAGE-OLD', 100), (27, 'MaintenanceInProgress', 'MPROC-CAGE-MAINT', 100),
    (27, 'Monitor', 'MPROC-CAGE-MONITOR', 100)
  ) as fixed(code, key4, part, probability)
  union all
  -- the supply's model: codes 3, 4 and 5
  select code, model, part, 90
  from (values (3), (4), (5)) as codes(code),
       (values ('MAGNETEK', 'DCPS-MAGNETEK'), ('ACME', 'DCPS-ACME'),
               ('UnknownPSModel', 'DCPS-UNKNOWN')) as models(model, part)
  union all
  -- a failed supply whose status code names the loop card too (code 4)
  select 4, model || '.' || card, part, 90
  from (values ('MAGNETEK', 'DCPS-MAGNETEK'), ('ACME', 'DCPS-ACME'),
               ('UnknownPSModel', 'DCPS-UNKNOWN')) as models(model, part),
       (values ('DC2-LCC'), ('Unknown')) as cards(card)
  union all
  -- chip access: the part the chip sits on, by the loop card's model
  select 27, place || '.' || card, part, 80
  from (values ('LOOP', 'DC-LCC'), ('DM', 'DC-MAG'), ('MDPL', 'DC-MDPL'),
               ('UNK', 'MPROC-CAGE-SUPPORT')) as places(place, part),
       (values ('DC2-LCC'), ('Unknown')) as cards(card)
) as c
where not exists (select 1 from qd_fru_callout f
                  where f.file_type = 100 and f.eventname = 'evt_jbod_jtype'
                    and f.key1 = 'code=' || c.code and f.key4 = c.key4 and f.fru_key = c.part);
