-- Compatibility helpers in the public schema, so that statements written in
-- the older SQL dialect the rule data and tools grew up with run unchanged.
--
-- What PostgreSQL cannot take from that dialect, and how statements must be
-- written here instead:
--   * the bare keyword sysdate: write sysdate() (below), or let the column
--     default fill the time (qd_rap_history.rap_date);
--   * to_date(text, 'yyyy/mm/dd hh24:mi:ss'): PostgreSQL's to_date returns a
--     date and silently drops the time of day; use to_timestamp with the
--     same pattern wherever the time matters;
--   * rownum: use limit;
--   * "x || null" is null here, not x: the columns that statements
--     concatenate (the means flags of qd_notify) are not null for that reason.
-- The one-row relation dual lives with the transaction log (10_core.sql).
--
-- Every statement here can run again harmlessly.

-- The current date and time to the second, as a timestamp without zone in
-- the session's zone; constant within one statement.
create or replace function sysdate() returns timestamp
  language sql stable
  as $$ select date_trunc('second', statement_timestamp())::timestamp $$;

-- The first argument unless it is null, else the second (coalesce of two).
create or replace function nvl(anycompatible, anycompatible) returns anycompatible
  language sql immutable
  as $$ select coalesce($1, $2) $$;
