-- Default installation data of the analyzer: what the disk handlers need
-- beyond the event rows of 83_analyzer_events.sql (file type 100).
--
--   dskfail   reads the disk listing the collector attached ("showpd"
--             output) and the failure text and error codes of the event
--             string; its report is looked up with keys na, na, na,
--             CATEGORY, na, na, where CATEGORY is CallSupport,
--             MaintenanceInProgress, TemporaryError or "FCdisk" followed by
--             the disk's size in MB. M0..M7 hold disk id, cage, magazine,
--             disk position, failure text, error code, error info and
--             system error code; M9 " - TRANSIENT" for a disk that is valid
--             again (empty otherwise).
--   dskerr    reports command statuses other than TE_MEDFAIL and TE_HWERR
--             with keys na, na, na, UnknownError, na, na; M0 the component,
--             M1 the command status.
--   notifycomp lowers the urgency of a notice whose line has rule 9: a
--             logical disk set whose data the array preserved.
-- Reasons the analysis could not finish go to the "AnalysisFailed" report
-- of 84_analyzer_texts.sql.
--
-- Disk parts are called out per size; a size without its row gives the
-- report's "Unable to find requested fru callout" and a notification, so
-- that the missing part is seen and added.
--
-- Loading this file again changes nothing: rows already present are kept.

-- A logical disk set failed but preserved by the array: low urgency.
insert into qd_anal_pattern (file_type, apply, lineseq, rule, pattern, tag0, tag1)
values (100, 'evt_ldsk_setfail', 5, 9, 'set to preserved state', null, null)
on conflict do nothing;

update qd_anal_evtdata
   set template9 = 'LD%TCompId{RemoveWhitespace}.|%TCompName{RemoveWhitespace}. ld_set_preserved %TShortDesc{SquishBlanks}.(%TType.)',
       comp9 = 'U', skey9 = 'Y'
 where file_type = 100 and eventname = 'evt_ldsk_setfail' and template9 is null;

-- Report texts.
insert into qd_anal_msgtext (file_type, eventname, key1, key2, key3, msgtext, description, in_test)
values
  (100, 'evt_dskfail', 'na', 'na', 'na',
   'Physical disk %M0. (cage %M1., magazine %M2., position %M3.) failed%M9.',
   E'Physical disk %M0. in drive cage %M1., drive magazine %M2., disk position %M3. has failed%M9..\n' ||
   E'Failure reported by the array: %M4.\n' ||
   E'Array error code: %M5.\n' ||
   E'Array error info: %M6.\n' ||
   E'System error code: %M7.',
   'N'),
  (100, 'evt_dskerr', 'na', 'na', 'na',
   'Disk command error on %M0. with status %M1.',
   E'A command to physical disk %M0. ended with the status %M1., which is neither a medium\n' ||
   E'error nor a hardware error. The disk has not been failed by the array.',
   'N')
on conflict do nothing;

-- Parts and procedures.
insert into qd_fru (part_number, part_name, mproc_filename, gm_script, part_num_text)
values
  ('FC-DISK-73G', '73 GB Fibre Channel disk drive', null, null, null),
  ('FC-DISK-146G', '146 GB Fibre Channel disk drive', null, null, null),
  ('FC-DISK-300G', '300 GB Fibre Channel disk drive', null, null, null),
  ('MPROC-DISK-REPLACE', 'Replace a failed physical disk', null, null, null),
  ('MPROC-DISK-CALL-SUPPORT', 'Call support about a disk failure', null, null, null),
  ('MPROC-DISK-MAINTENANCE', 'Check for disk maintenance in progress', null, null, null),
  ('MPROC-DISK-TRANSIENT', 'Review a transient disk failure', null, null, null),
  ('MPROC-DSKERR-REVIEW', 'Review an unknown disk command status', null, null, null)
on conflict do nothing;

-- Callouts, one row per event, keys and part.
insert into qd_fru_callout (file_type, eventname, key1, key2, key3, key4, key5, key6,
                            priority, order_in_priority, probability, fru_key, notes)
select v.* from (values
  (100, 'evt_dskfail', 'na', 'na', 'na', 'FCdisk73400', 'na', 'na', 1, 1, 95, 'FC-DISK-73G',
   'Replace the disk at the location shown in the description.'),
  (100, 'evt_dskfail', 'na', 'na', 'na', 'FCdisk73400', 'na', 'na', 1, 2, 95, 'MPROC-DISK-REPLACE',
   'Wait until the array has relocated the data of the disk, then replace it.'),
  (100, 'evt_dskfail', 'na', 'na', 'na', 'FCdisk73400', 'na', 'na', 2, 1, 5, 'MPROC-DISK-CALL-SUPPORT',
   'Call support when the new disk fails again.'),
  (100, 'evt_dskfail', 'na', 'na', 'na', 'FCdisk146800', 'na', 'na', 1, 1, 95, 'FC-DISK-146G',
   'Replace the disk at the location shown in the description.'),
  (100, 'evt_dskfail', 'na', 'na', 'na', 'FCdisk146800', 'na', 'na', 1, 2, 95, 'MPROC-DISK-REPLACE',
   'Wait until the array has relocated the data of the disk, then replace it.'),
  (100, 'evt_dskfail', 'na', 'na', 'na', 'FCdisk146800', 'na', 'na', 2, 1, 5, 'MPROC-DISK-CALL-SUPPORT',
   'Call support when the new disk fails again.'),
  (100, 'evt_dskfail', 'na', 'na', 'na', 'FCdisk293600', 'na', 'na', 1, 1, 95, 'FC-DISK-300G',
   'Replace the disk at the location shown in the description.'),
  (100, 'evt_dskfail', 'na', 'na', 'na', 'FCdisk293600', 'na', 'na', 1, 2, 95, 'MPROC-DISK-REPLACE',
   'Wait until the array has relocated the data of the disk, then replace it.'),
  (100, 'evt_dskfail', 'na', 'na', 'na', 'FCdisk293600', 'na', 'na', 2, 1, 5, 'MPROC-DISK-CALL-SUPPORT',
   'Call support when the new disk fails again.'),
  (100, 'evt_dskfail', 'na', 'na', 'na', 'CallSupport', 'na', 'na', 1, 1, 100, 'MPROC-DISK-CALL-SUPPORT',
   'The disk state or the failure text does not point at the disk itself; do not replace parts before support has reviewed the event.'),
  (100, 'evt_dskfail', 'na', 'na', 'na', 'MaintenanceInProgress', 'na', 'na', 1, 1, 100, 'MPROC-DISK-MAINTENANCE',
   'The disk went missing or not ready while its cage was serviced. Confirm with the site that maintenance is in progress; call support otherwise.'),
  (100, 'evt_dskfail', 'na', 'na', 'na', 'TemporaryError', 'na', 'na', 1, 1, 100, 'MPROC-DISK-TRANSIENT',
   'The disk is valid again. Replace nothing; watch the array for further events of this disk.'),
  (100, 'evt_dskerr', 'na', 'na', 'na', 'UnknownError', 'na', 'na', 1, 1, 100, 'MPROC-DSKERR-REVIEW',
   'Review the disk events of this array around the event; call support when the disk keeps reporting errors.')
) as v(file_type, eventname, key1, key2, key3, key4, key5, key6, priority, order_in_priority, probability, fru_key, notes)
where not exists (select 1 from qd_fru_callout c
                  where c.file_type = v.file_type and c.eventname = v.eventname and c.key1 = v.key1
                    and c.key2 = v.key2 and c.key3 = v.key3 and c.key4 = v.key4 and c.key5 = v.key5
                    and c.key6 = v.key6 and c.fru_key = v.fru_key);
