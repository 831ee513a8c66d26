-- Default installation data of the analyzer: the event data of
-- event files (file type 100): for each event type the handler that
-- analyzes it, its symptom templates and how its history row is taken from
-- the symptom.
--
-- Symptom convention. Every template reads
--   COMPONENT|LOCATION KEYWORD DETAIL(EVENT TYPE)
-- and its row says comp 'Y' (or 'U') and skey 'Y', so the history row gets
-- component, location, keyword and detail apart; sev stays at its default
-- 'Y', which drops the "(event type)" suffix from the history. COMPONENT
-- and LOCATION form the first word, so every value in them passes through
-- RemoveWhitespace; KEYWORD is one fixed word (for disk command errors the
-- array's command status); DETAIL is free text. comp 'U' puts the
-- component into the repeat key as well, so that repeats are counted per
-- disk, power supply or battery rather than per event type. nu_rule stays
-- at its default 3: event type and keyword.
--
-- Values used: the primary component's id (CompId) and name (CompName),
-- the node (Node), the short description (ShortDesc), the event string
-- (EventString); V0 is the event string where a handler's catch-all
-- pattern matched it (82_analyzer_patterns.sql); M9 is the battery
-- handler's transient note, empty unless it finds one.
--
-- Types with a handler of their own get that handler with a template that
-- stands without it; their deeper analysis (patterns, message texts and
-- callouts) builds on these rows. Types without a row are analyzed all the
-- same: their symptom is the short description and the type.
--
-- Loading this file again changes nothing: rows already present are kept.

insert into qd_anal_evtdata (file_type, eventname, handlername, suppress_svcalert, nonalert_low,
                             template0, comp0, skey0, template1, comp1, skey1)
values
  -- disks
  (100, 'evt_dskfail', 'dskfail', 'N', 'N',
   'PD%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. disk_failed %TShortDesc{SquishBlanks}.(%TType.)', 'U', 'Y',
   null, null, null),
  (100, 'evt_dskerr', 'dskerr', 'N', 'N',
   'PD%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. %V1. %TShortDesc{SquishBlanks}.(%TType.)', 'U', 'Y',
   'PD%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. disk_error %TShortDesc{SquishBlanks}.(%TType.)', 'U', 'Y'),
  (100, 'evt_dskabrt', 'dskabrt', 'N', 'N',
   'PD%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. disk_cmd_aborted %TShortDesc{SquishBlanks}.(%TType.)', 'U', 'Y',
   null, null, null),
  (100, 'evt_ldsk_setfail', 'notifycomp', 'N', 'N',
   'LD%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. ld_set_failed %TShortDesc{SquishBlanks}.(%TType.)', 'U', 'Y',
   null, null, null),
  -- drive cages
  (100, 'evt_jbod_jtype', 'jbodevt', 'N', 'N',
   'CAGE%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. cage_event %TShortDesc{SquishBlanks}.(%TType.)', 'U', 'Y',
   null, null, null),
  -- node power supplies
  (100, 'evt_ps_acstatus', 'nodepower', 'N', 'N',
   'PS%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. ps_ac_state %V0{SquishBlanks}.(%TType.)', 'U', 'Y',
   null, null, null),
  (100, 'evt_ps_dcstatus', 'nodepower', 'N', 'N',
   'PS%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. ps_dc_state %V0{SquishBlanks}.(%TType.)', 'U', 'Y',
   null, null, null),
  -- node batteries
  (100, 'evt_bat_fail', 'battery', 'N', 'N',
   'BAT%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. battery_failed %TShortDesc{SquishBlanks}.%M9.(%TType.)', 'U', 'Y',
   null, null, null),
  (100, 'evt_bat_expired', 'PATbattery', 'N', 'N',
   'BAT%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. battery_will_expire %TShortDesc{SquishBlanks}.%M9.(%TType.)', 'U', 'Y',
   'BAT%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. battery_expired %TShortDesc{SquishBlanks}.%M9.(%TType.)', 'U', 'Y'),
  (100, 'evt_bat_oldbat', 'battery', 'N', 'N',
   'BAT%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. battery_old %TShortDesc{SquishBlanks}.%M9.(%TType.)', 'U', 'Y',
   null, null, null),
  (100, 'evt_bat_swfail', 'battery', 'N', 'N',
   'BAT%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. battery_test_failed %TShortDesc{SquishBlanks}.%M9.(%TType.)', 'U', 'Y',
   null, null, null),
  (100, 'evt_bat_badcount', 'battery', 'N', 'N',
   'PS%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. battery_count_wrong %TShortDesc{SquishBlanks}.%M9.(%TType.)', 'U', 'Y',
   null, null, null),
  (100, 'evt_bat_nobats', 'battery', 'N', 'N',
   'PS%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. no_batteries %TShortDesc{SquishBlanks}.%M9.(%TType.)', 'U', 'Y',
   null, null, null),
  -- Fibre Channel link errors: the handler turns FCLESB_ERR into
  -- FCLESB_CAGE or FCLESB_HOST when the collected counts say which side
  (100, 'evt_fc_lesb', 'lesb', 'N', 'N',
   'PORT%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. FCLESB_ERR %TShortDesc{SquishBlanks}.(%TType.)', 'U', 'Y',
   null, null, null),
  -- component states: the handler gives missing state values printable ones
  (100, 'evt_comp_state', 'compstate', 'N', 'N',
   '%TCompName{RemoveWhitespace,Upper}. state_%TOverallState{RemoveWhitespace,Lower}. %TStCompType. %TStCompState.(%TType.)', 'Y', 'Y',
   null, null, null),
  -- node integrity: V0 is the first node with a bad flusher state; an event
  -- without one is dropped by the handler
  (100, 'evt_node_integ', 'nodeinteg', 'N', 'N',
   '%V0.|flusher flusher_state_bad %TShortDesc{SquishBlanks}.(%TType.)', 'Y', 'Y',
   null, null, null),
  -- core dumps and dead processes
  (100, 'evt_coredump', 'pattern', 'N', 'N',
   'NODE%TNode{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. core_dump %TShortDesc{SquishBlanks}.(%TType.)', 'Y', 'Y',
   null, null, null),
  (100, 'evt_fw_coredump', 'generic', 'N', 'N',
   'NODE%TNode{RemoveWhitespace}.|firmware fw_core_dump %TShortDesc{SquishBlanks}.(%TType.)', 'Y', 'Y',
   null, null, null),
  (100, 'evt_crashdump', 'generic', 'N', 'N',
   'NODE%TNode{RemoveWhitespace}.|kernel panic_dump %TShortDesc{SquishBlanks}.(%TType.)', 'Y', 'Y',
   null, null, null),
  (100, 'evt_process_dead', 'generic', 'N', 'N',
   'NODE%TNode{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. process_died %TShortDesc{SquishBlanks}.(%TType.)', 'Y', 'Y',
   null, null, null),
  -- software updates: routine while they run, so low urgency unless the
  -- array raises an alert
  (100, 'evt_software_update', 'generic', 'N', 'Y',
   'SW|%TReleaseLevel{RemoveWhitespace}. sw_update %TEventString{SquishBlanks}.(%TType.)', 'Y', 'Y',
   null, null, null),
  (100, 'evt_membership_chg', 'generic', 'N', 'Y',
   'CLUSTER|node%TNode{RemoveWhitespace}. membership_change %TEventString{SquishBlanks}.(%TType.)', 'Y', 'Y',
   null, null, null),
  -- the rest
  (100, 'evt_notify', 'generic', 'N', 'Y',
   'NODE%TNode{RemoveWhitespace}. notice %TEventString{SquishBlanks}.(%TType.)', 'Y', 'Y',
   null, null, null),
  (100, 'evt_bios_eepr', 'generic', 'N', 'N',
   'NODE%TNode{RemoveWhitespace}.|eeprom bios_eeprom %TShortDesc{SquishBlanks}.(%TType.)', 'Y', 'Y',
   null, null, null),
  (100, 'evt_ea_hw', 'generic', 'N', 'N',
   'NODE%TNode{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. hw_error %TShortDesc{SquishBlanks}.(%TType.)', 'Y', 'Y',
   null, null, null),
  -- link monitoring is for the service centre only: recorded, not told
  (100, 'evt_ethmon', 'generic', 'Y', 'N',
   'NODE%TNode{RemoveWhitespace}.|ethernet eth_link %TShortDesc{SquishBlanks}.(%TType.)', 'Y', 'Y',
   null, null, null),
  (100, 'evt_too_many_events', 'generic', 'N', 'N',
   'NODE%TNode{RemoveWhitespace}.|evtlog too_many_events %TShortDesc{SquishBlanks}.(%TType.)', 'Y', 'Y',
   null, null, null),
  (100, 'evt_task_fail', 'pattern', 'N', 'Y',
   'TASK%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. task_failed %TShortDesc{SquishBlanks}.(%TType.)', 'Y', 'Y',
   null, null, null)
on conflict do nothing;
