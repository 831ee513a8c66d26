-- Default installation data of the analyzer: the texts and
-- callouts of the report written when a handler's extended analysis could
-- not finish (missing command output, a value the handler cannot parse).
-- Such a report is looked up under the event name "AnalysisFailed" with
-- key 1 "AnalysisFailed" and keys 2 to 6 "na"; M8 holds the reason. The
-- symptom of the report still comes from the analyzed event's template.
--
-- Part numbers of procedures begin with "MPROC", which the report prints
-- as a maintenance procedure instead of a part.
--
-- Loading this file again changes nothing: rows already present are kept.

insert into qd_anal_msgtext (file_type, eventname, key1, key2, key3, msgtext, description, in_test)
values (100, 'AnalysisFailed', 'AnalysisFailed', '*', '*',
        'Extended analysis failed: %M8.',
        E'The extended analysis of this event could not be completed: %M8.\n' ||
        E'The symptom above is taken from the event alone. Review the event text and the\n' ||
        E'related events of this array before acting on it.',
        'N')
on conflict do nothing;

insert into qd_fru (part_number, part_name, mproc_filename, gm_script, part_num_text)
values ('MPROC-REVIEW-EVENT', 'Review the event by hand', null, null, null)
on conflict do nothing;

insert into qd_fru_callout (file_type, eventname, key1, key2, key3, key4, key5, key6,
                            priority, order_in_priority, probability, fru_key, notes)
select 100, 'AnalysisFailed', 'AnalysisFailed', '*', '*', '*', '*', '*', 1, 1, 100, 'MPROC-REVIEW-EVENT',
       'Collect the command output the analysis needed (see the reason above) and review it with the '
       'event; call support when the cause stays unclear.'
where not exists (select 1 from qd_fru_callout
                  where file_type = 100 and eventname = 'AnalysisFailed' and fru_key = 'MPROC-REVIEW-EVENT');
