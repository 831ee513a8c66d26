-- Placeholder until the schema lands.
select 1;
