-- The recorder firmware's timer table, as the firmware declares it. The web
-- interface reads and writes its rows; the firmware records from it.
create table if not exists timer_record_table (
  ID integer primary key,
  datestamp integer,
  date integer,
  date_year integer,
  date_month integer,
  date_day integer,
  start_hour integer,
  start_minute integer,
  length_hour integer,
  length_minute integer,
  source integer,
  channel integer,
  quality integer,
  target integer,
  SAP integer,
  timestamp_start integer,
  timestamp_offset integer,
  enable integer,
  lock integer,
  schedule_type integer,
  event_id integer,
  user_id integer,
  user_string text
);
