#!/bin/sh
# The firmware stand-in of the power-cut test, run inside the emulated
# recorder: it inserts timers of its own and moves them, one statement per
# write with no busy timeout, as the firmware does. Each write that SQLite
# committed is told on the console ("firmware: insert TITLE" or "firmware:
# move TITLE N", N going up with every write), so the host knows what the
# timer database must keep after a power cut. The stand-in commits durably
# (synchronous "extra"): at SQLite's default level a firmware can lose its own
# last writes at a power cut whatever the interface does, and those losses
# would hide the ones the interface might cause. The pragma goes in the same
# text as the write: setting the level reads the schema, which fails while a
# commit of the interface holds the file, and sqlite3 runs a failed -cmd's
# statement on regardless, at the default level; in one text the failure
# stops the write, which then counts as not committed.
#
#   firmware TAG     titles are fw-TAG-1, fw-TAG-2, ...
tag=$1
n=0
last=

write() {
  /opt/check/bin/sqlite3 /usr/local/etc/dvdplayer/schedule_record.db \
    "pragma synchronous = extra; $1" 2>/dev/null
}

while :; do
  n=$((n + 1))
  if [ -n "$last" ] && [ $((n % 2)) -eq 0 ]; then
    # A move after a recording: new start columns and timestamp_start (the
    # triggers keep the margins); event_id carries the write's number.
    if write "update timer_record_table set start_hour = $((n / 60 % 24)),
        start_minute = $((n % 60)), timestamp_start = timestamp_start + 60, event_id = $n
        where user_string = '$last'"; then
      echo "firmware: move $last $n"
    fi
  else
    title=fw-$tag-$n
    if write "insert into timer_record_table (datestamp, date, date_year, date_month,
        date_day, start_hour, start_minute, length_hour, length_minute, source, channel,
        quality, target, SAP, timestamp_start, timestamp_offset, enable, lock, schedule_type,
        event_id, user_id, user_string) values (0, 0, 2031, 5, 17, 20, 15, 1, 0, 10, 3, 0, 0,
        0, strftime('%s', '2031-05-17 20:15'), 3600, 0, 0, 0, $n, 0, '$title')"; then
      echo "firmware: insert $title"
      last=$title
    fi
  fi
  usleep 200000
done
