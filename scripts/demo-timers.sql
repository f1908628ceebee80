-- A dozen recording timers as the recorder firmware keeps them, for the demo
-- and the browser test. Apply after tests/firmware_schema.sql.
--
-- Dates are relative to today so that the timers lie ahead whenever the demo
-- starts; repeating timers start on a day their pattern allows. The start
-- columns are local time; timestamp_start is that local time in epoch seconds
-- less the pre-recording margin, timestamp_offset the length with both margins
-- (sqlite3's 'utc' modifier converts in the zone of the TZ it runs with).
--
-- source: 10 = tuner (channel is the channel number), 1 = external AV input.
-- repeat (date column): 0 once, 1 everyday, 2 Mon-Fri, 3 Mon-Sat,
-- 4 every weekend, 5..11 Sun..Sat. enable: 0 = active, 1 = disabled.

create temp table demo_timer (
  day text, hh integer, mm integer, lh integer, lm integer, repeat integer,
  source integer, channel integer, prepad integer, postpad integer,
  disabled integer, locked integer, quality integer, target integer, title text
);

insert into demo_timer values
  (date('now', 'localtime', '+1 day'), 20, 0, 0, 15, 1, 10, 1, 0, 0, 0, 0, 1, 0,
   'Tagesschau & Wetter'),
  (date('now', 'localtime', '+1 day'), 20, 15, 1, 30, 0, 10, 1, 300, 600, 0, 0, 1, 0,
   '"Tatort"'),
  (date('now', 'localtime', '+1 day', 'weekday 1'), 6, 30, 0, 30, 2, 10, 2, 0, 0, 0, 0, 0, 0,
   'Morgenmagazin'),
  (date('now', 'localtime', '+1 day', 'weekday 6'), 9, 0, 2, 0, 4, 10, 8, 0, 0, 0, 0, 1, 0,
   'Kinderprogramm am Wochenende'),
  (date('now', 'localtime', '+1 day', 'weekday 3'), 21, 45, 0, 45, 8, 10, 10, 120, 300, 0, 0, 1, 0,
   'Wissenschaft im Gespräch'),
  (date('now', 'localtime', '+2 days'), 20, 45, 2, 15, 0, 10, 2, 0, 0, 0, 1, 1, 0,
   'Fußball: Länderspiel'),
  (date('now', 'localtime', '+3 days'), 19, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 0,
   'VHS-Überspielung (Hochzeit 1994)'),
  (date('now', 'localtime', '+4 days'), 23, 30, 1, 50, 0, 10, 13, 0, 0, 1, 0, 1, 0,
   'Spätfilm: Die Brücke am Fluss'),
  (date('now', 'localtime', '+1 day', 'weekday 1'), 13, 0, 0, 45, 3, 10, 5, 0, 0, 0, 0, 0, 0,
   'Mittagsmagazin'),
  (date('now', 'localtime', '+5 days'), 20, 15, 0, 45, 0, 10, 22, 0, 0, 0, 0, 0, 1,
   'Dokumentation: Die Alpen'),
  (date('now', 'localtime', '+1 day', 'weekday 0'), 21, 45, 1, 30, 5, 10, 28, 0, 0, 0, 0, 1, 0,
   'Sonntagskrimi: Mord am Öresund'),
  (date('now', 'localtime', '+1 day', 'weekday 5'), 22, 30, 0, 30, 10, 10, 27, 60, 60, 0, 0, 1, 0,
   'Rock''n''Roll Freitag');

insert into timer_record_table (
  datestamp, date, date_year, date_month, date_day, start_hour, start_minute,
  length_hour, length_minute, source, channel, quality, target, SAP,
  timestamp_start, timestamp_offset, enable, lock, schedule_type, event_id,
  user_id, user_string)
select 0, repeat,
  cast(strftime('%Y', day) as integer), cast(strftime('%m', day) as integer),
  cast(strftime('%d', day) as integer), hh, mm, lh, lm, source, channel, quality, target, 0,
  cast(strftime('%s', printf('%s %02d:%02d:00', day, hh, mm), 'utc') as integer) - prepad,
  prepad + postpad + lh * 3600 + lm * 60,
  disabled, locked, 0, -1, 0, title
from demo_timer order by rowid;

drop table demo_timer;
