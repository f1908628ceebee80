-- Timers for the benchmark and the response comparison: @n rows (set with
-- sqlite3's ".parameter set @n N") over the firmware's table, and the padding
-- defaults. Every repeat code (and one above 11 and a negative one), the AV
-- input and channels missing from the channel file, locked and disabled
-- rows, titles with &, <, quotes and umlauts (and empty and NULL ones),
-- recordings into the next day. Starts are read in the zone of the sqlite3
-- process (TZ) and lie outside the hours that a daylight-saving change skips
-- or repeats.
create table settings (name text, value text);
insert into settings values ('prepad', '120'), ('postpad', '300');
with recursive t(i) as (select 0 where @n > 0 union all select i + 1 from t where i + 1 < @n),
v as (
  select i, 2026 + i % 2 as y, 1 + i % 12 as mo, 1 + i % 28 as d, 5 + (i * 7) % 19 as h,
    (i * 13) % 60 as mi, i % 4 as lh, (i * 11) % 60 as lm, 60 * (i % 6) as pre,
    60 * ((i * 7) % 16) as post
  from t)
insert into timer_record_table (ID, datestamp, date, date_year, date_month, date_day,
  start_hour, start_minute, length_hour, length_minute, source, channel, quality, target, SAP,
  timestamp_start, timestamp_offset, enable, lock, schedule_type, event_id, user_id, user_string)
select i + 1, 0, case i % 14 when 12 then 20 when 13 then -3 else i % 14 end, y, mo, d, h, mi,
  lh, lm, case when i % 17 = 5 then 1 else 0 end,
  case when i % 23 = 9 then 900 + i % 5 else 1 + (i * 37) % 300 end,
  i % 2, case when i % 3 = 0 then 1 else 0 end, 0,
  strftime('%s', printf('%04d-%02d-%02d %02d:%02d:00', y, mo, d, h, mi), 'utc') - pre,
  lh * 3600 + lm * 60 + pre + post,
  case when i % 5 = 4 then 1 else 0 end, case when i % 7 = 3 then 1 else 0 end, 0, 0, 0,
  case i % 8
    when 0 then 'Tatort: Schüsse & Lügen ' || i
    when 1 then 'Kinder <unter> 12 (' || i || ')'
    when 2 then '"Der Film" ' || i
    when 3 then 'Rock ''n'' Roll Ära ' || i
    when 4 then 'Nachrichten'
    when 5 then 'Die große Samstagabend-Show mit Gästen, Musik & Überraschungen ' || i
    when 6 then case when i % 3 = 0 then null else '' end
    else 'Öko-Test: Größe > Masse ' || i
  end
from v;
