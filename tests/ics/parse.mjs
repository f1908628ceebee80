// Has test_recordings_calendar write its fixed feed, reads it with ical.js,
// expands every event over the 14 days from the feed's now (2027-03-20
// 12:00 CET) and compares the recordings' starts and ends, in UTC, with the
// expected ones: across the change to summer time on 28 March the local
// times stay. Exits 77 (skipped) when ical.js is not installed.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

let ICAL;
try {
  ICAL = (await import('ical.js')).default;
} catch {
  console.log('ical.js is not installed: npm install in tests/ics');
  process.exit(77);
}

const dir = mkdtempSync(join(tmpdir(), 'skedra-ics-'));
const file = join(dir, 'feed.ics');
execFileSync(process.argv[2], ['--gtest_filter=RecordingsCalendar.FeedOfTheParserCheck'], {
  env: { ...process.env, TZ: 'UTC', SKEDRA_CALENDAR_FILE: file },
  stdio: 'inherit',
});
const calendar = readFileSync(file, 'utf8');
rmSync(dir, { recursive: true });
const root = new ICAL.Component(ICAL.parse(calendar));
for (const zone of root.getAllSubcomponents('vtimezone')) ICAL.TimezoneService.register(zone);

const from = Date.UTC(2027, 2, 20, 11) / 1000;
const to = from + 14 * 86400;
const iso = (seconds) => new Date(seconds * 1000).toISOString().slice(0, 16);
const found = [];
for (const vevent of root.getAllSubcomponents('vevent')) {
  const event = new ICAL.Event(vevent);
  const id = event.uid.replace(/@.*/, '');
  const occurrences = event.iterator();
  for (let next = occurrences.next(); next; next = occurrences.next()) {
    const details = event.getOccurrenceDetails(next);
    const start = details.startDate.toUnixTime();
    if (start >= to) break;
    if (details.endDate.toUnixTime() > from) {
      found.push(`${id} ${iso(start)} ${iso(details.endDate.toUnixTime())}`);
    }
  }
}

// Programme times in CET (UTC+1) up to 28 March 02:00, CEST (UTC+2) after.
const expected = [
  'timer-1 2027-03-22T19:10 2027-03-22T20:55',
  ...[25, 26, 27].map((d) => `timer-2 2027-03-${d}T05:00 2027-03-${d}T05:30`),
  ...[28, 29, 30, 31].map((d) => `timer-2 2027-03-${d}T04:00 2027-03-${d}T04:30`),
  ...['01', '02', '03'].map((d) => `timer-2 2027-04-${d}T04:00 2027-04-${d}T04:30`),
  ...[22, 23, 24, 25, 26].map((d) => `timer-3 2027-03-${d}T19:10 2027-03-${d}T20:25`),
  ...[29, 30, 31].map((d) => `timer-3 2027-03-${d}T18:10 2027-03-${d}T19:25`),
  ...['01', '02'].map((d) => `timer-3 2027-04-${d}T18:10 2027-04-${d}T19:25`),
  'timer-4 2027-03-20T22:55 2027-03-20T23:35',
  'timer-4 2027-03-27T22:55 2027-03-27T23:35',
];
const missing = expected.filter((line) => !found.includes(line));
const extra = found.filter((line) => !expected.includes(line));
if (missing.length || extra.length) {
  console.error(`missing:\n  ${missing.join('\n  ')}\nunexpected:\n  ${extra.join('\n  ')}`);
  process.exit(1);
}
console.log(`${found.length} recordings as expected`);
