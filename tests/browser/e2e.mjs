// End-to-end test of the installed timer interface: the project's install
// tree served by busybox httpd on 127.0.0.1, a fresh demo recorder (timer
// database, channel list, account database) and Debian's Chromium driven by
// playwright-core. Every action is checked on the page and in the firmware's
// timer table.
//
// Environment (set by tests/browser.cmake):
//   SKEDRA_SOURCE_DIR  the source tree (demo data, firmware schema)
//   SKEDRA_BUILD_DIR   the build to install
//   SKEDRA_ETC_DIR     the build's RECORDER_ETC_DIR; the program reads the
//                      timer database and channel list from there
//   SKEDRA_ARTIFACTS   where the screenshots go
//   CMAKE_COMMAND, SKEDRA_BUSYBOX, SKEDRA_CHROMIUM  the tools
//   SKEDRA_HTTPD       "busybox" (the default) or "lighttpd" (mod_cgi, the
//                      binary SKEDRA_LIGHTTPD) serves the tree
//
// Against a recorder that already serves the interface (the emulated recorder
// of scripts/recorder-vm, with a fresh demo recorder of its own) instead:
//   SKEDRA_BASE_URL       its address, e.g. http://127.0.0.1:PORT
//   SKEDRA_GUEST_RUN_URL  where a POSTed shell command runs on that recorder;
//                         the timer table is read there with its sqlite3
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import test from 'node:test';
import { chromium } from 'playwright-core';
import {
  httpd, recorderFiles, requireEnv, serveInstalledTree,
} from '../support/served_tree.mjs';

const remoteBase = process.env.SKEDRA_BASE_URL || '';
const guestRunUrl = remoteBase ? requireEnv('SKEDRA_GUEST_RUN_URL') : '';
const sourceDir = requireEnv('SKEDRA_SOURCE_DIR');
const buildDir = remoteBase ? '' : requireEnv('SKEDRA_BUILD_DIR');
const etcDir = remoteBase ? '/usr/local/etc' : requireEnv('SKEDRA_ETC_DIR');
const artifacts = process.env.SKEDRA_ARTIFACTS || path.join(buildDir, 'browser-artifacts');
const chromiumPath = process.env.SKEDRA_CHROMIUM || '/usr/bin/chromium';

// axe-core's engine, injected into each page that is checked.
const axeSource = fs.readFileSync(
  createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');

const { timerDb } = recorderFiles(etcDir);

// Runs a shell command on the recorder under test and returns its output:
// on this machine, or inside the emulated recorder through its command port.
function onRecorder(command) {
  if (!remoteBase) return execFileSync('sh', ['-c', command], { encoding: 'utf8' });
  const out = execFileSync('curl', ['-sfS', '--data-binary', '@-', guestRunUrl],
    { input: command, encoding: 'utf8' });
  const end = out.lastIndexOf('exit status ');
  if (end < 0 || out.slice(end).trim() !== 'exit status 0') {
    throw new Error(`on the recorder: ${command}\n${out}`);
  }
  return out.slice(0, end);
}

// The recorder's sqlite3 shell; SQL goes in on standard input.
function sqliteJson(db, sql) {
  const shell = remoteBase ? '/opt/check/bin/sqlite3' : 'sqlite3';
  const out = onRecorder(`${shell} -json '${db}' <<'SQL_END'\n${sql};\nSQL_END\n`);
  return out.trim() === '' ? [] : JSON.parse(out);
}

// Rows of the firmware's timer table, straight from the database.
function timers(where = '1') {
  return sqliteJson(timerDb, `select * from timer_record_table where ${where} order by ID`);
}

function timerById(id) {
  const rows = timers(`ID = ${Number(id)}`);
  return rows.length ? rows[0] : undefined;
}

// Local epoch seconds of a wall-clock time, as the program's mktime computes it.
function localEpoch(year, month, day, hh, mm) {
  return Math.floor(new Date(year, month - 1, day, hh, mm, 0).getTime() / 1000);
}

// Under full-system emulation every request takes a good part of a second.
test('timer interface in a real browser', { timeout: remoteBase ? 900000 : 240000 }, async (t) => {
  fs.mkdirSync(artifacts, { recursive: true });
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'skedra-browser-'));
  let base = remoteBase;
  if (!remoteBase) {
    const served = await serveInstalledTree(t, { sourceDir, buildDir, etcDir, artifacts, work });
    base = served.base;
    const { prefix } = served;
    // Shows the request headers as the web server hands them to a program.
    const headersCgi = path.join(prefix, 'www', 'cgi-bin', 'headers.cgi');
    fs.writeFileSync(headersCgi, '#!/bin/sh\nprintf "Content-type: text/plain\\n\\n"\n' +
      'env | grep -E "^(REQUEST_METHOD|HTTP_(HOST|ORIGIN|REFERER|SEC_FETCH_[A-Z]*))=" | sort\n' +
      'printf "cookie: %s\\n" "${HTTP_COOKIE:+sent}"\n');
    fs.chmodSync(headersCgi, 0o755);
  }
  const cgi = `${base}/cgi-bin/skedra.cgi`;

  // A page of the same site on another port: what a neighbour's device or a
  // second web server of the recorder serves. Its pages try to act for the
  // signed-in browser with forms and images, with and without a referrer.
  const attacks = new Map();
  const attacker = http.createServer((req, res) => {
    const body = attacks.get(new URL(req.url, 'http://x').pathname);
    res.writeHead(body ? 200 : 404, { 'Content-Type': 'text/html; charset=utf-8' });
    res.end(body || 'no such page');
  });
  await new Promise((resolve) => attacker.listen(0, '127.0.0.1', resolve));
  t.after(() => attacker.close());
  const sameSite = `http://127.0.0.1:${attacker.address().port}`;
  // The interface as a server that passes no browser headers (busybox httpd
  // before 1.31) hands it requests: another port of the same address in
  // front of it that takes off what names where a request comes from.
  const stripper = http.createServer((req, res) => {
    const headers = { ...req.headers };
    for (const name of Object.keys(headers)) {
      if (/^(origin|referer|sec-fetch-.*)$/.test(name)) delete headers[name];
    }
    const { hostname, port } = new URL(base);
    // The program ends its header lines with a newline alone, as browsers
    // accept and busybox httpd hands on.
    const upstream = http.request({ host: hostname, port, path: req.url, method: req.method,
      headers, insecureHTTPParser: true }, (answer) => {
      res.writeHead(answer.statusCode, answer.headers);
      answer.pipe(res);
    });
    req.pipe(upstream);
  });
  await new Promise((resolve) => stripper.listen(0, '127.0.0.1', resolve));
  t.after(() => stripper.close());
  const strippedBase = `http://127.0.0.1:${stripper.address().port}`;
  const crossSite = `http://localhost:${attacker.address().port}`;
  const attackPage = (name, { target = cgi, referrer = true, fields = {}, image = '' }) => {
    const meta = referrer ? '' : '<meta name="referrer" content="no-referrer">';
    const inputs = Object.entries(fields)
      .map(([k, v]) => `<input type="hidden" name="${k}" value="${v}">`).join('');
    attacks.set(`/${name}.html`, image
      ? `<!DOCTYPE html><html><head>${meta}</head><body><img src="${target}?${image}"></body></html>`
      : `<!DOCTYPE html><html><head>${meta}</head><body><form method="post" action="${target}">` +
        `${inputs}</form><script>addEventListener('load', () => setTimeout(() => ` +
        'document.forms[0].submit(), 50))</script></body></html>');
    return `/${name}.html`;
  };

  const chromiumArgs = ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--disable-quic'];
  const context = await chromium.launchPersistentContext(path.join(work, 'profile'), {
    executablePath: chromiumPath,
    headless: true,
    args: chromiumArgs,
    viewport: { width: 1280, height: 900 },
  });
  t.after(() => context.close());
  const page = context.pages()[0] || (await context.newPage());

  // Any server error or failed page resource fails the test.
  const problems = [];
  page.on('response', (r) => {
    if (r.status() >= 400) problems.push(`${r.status()} ${r.url()}`);
  });
  page.on('pageerror', (e) => problems.push(`page error: ${e.message}`));

  // The text of the first box of a kind that holds one, else '': errors
  // stand in red boxes beside the form they concern, outcomes in green ones.
  const boxText = (css) => page.evaluate((css) => [...document.querySelectorAll(css)]
    .map((e) => e.innerText).find((text) => text.trim()) || '', css);
  const msg = () => boxText('.msg-error');
  const submit = async (selector) => {
    await Promise.all([page.waitForNavigation(), page.click(selector)]);
  };
  const signIn = async (login, pass, sticky = false) => {
    await page.fill('input[name="login"]', login);
    await page.fill('input[name="pass"]', pass);
    if (sticky) await page.check('input[name="sticky"]');
    await submit('form:has(input[name="pass"]) [type="submit"]');
  };
  const onSignInPage = async () => (await page.locator('input[name="pass"]').count()) === 1;
  const onListScreen = async () => (await page.locator('table.timers').count()) === 1;
  const rowOf = (id) => page.locator('table.timers tbody tr').filter({
    has: page.locator(`input[name="key"][value="${id}"]`),
  });
  const tick = async (...ids) => {
    for (const id of ids) await page.check(`input[name="key"][value="${id}"]`);
  };
  const pad = (n) => String(n).padStart(2, '0');
  const clock = (minutes) => `${pad(Math.floor(minutes / 60) % 24)}:${pad(minutes % 60)}`;
  const minutesOf = (time) => time.split(':').reduce((h, m) => Number(h) * 60 + Number(m));
  // Fills the form through its pickers: date, start and end as given, or
  // from day, month, year, hh, mm and a length (hours, mins) over what the
  // form shows.
  const fillTimer = async (v) => {
    if (v.title !== undefined) await page.fill('input[name="title"]', v.title);
    if (v.channel !== undefined) await page.selectOption('select[name="channel"]', String(v.channel));
    const date = v.date ?? (v.day !== undefined ? `${v.year}-${pad(v.month)}-${pad(v.day)}` : undefined);
    if (date !== undefined) await page.fill('input[name="date"]', date);
    const shown = {
      start: minutesOf(await page.inputValue('input[name="start"]')),
      end: minutesOf(await page.inputValue('input[name="end"]')),
    };
    const length = (shown.end - shown.start + 1440) % 1440 || 1440;
    const start = v.start !== undefined ? minutesOf(v.start)
      : (v.hh ?? Math.floor(shown.start / 60)) * 60 + (v.mm ?? shown.start % 60);
    const newLength = (v.hours ?? Math.floor(length / 60)) * 60 + (v.mins ?? length % 60);
    if (v.start !== undefined || v.hh !== undefined || v.mm !== undefined) {
      await page.fill('input[name="start"]', clock(start));
    }
    if (v.end !== undefined) {
      await page.fill('input[name="end"]', v.end);
    } else if (start !== shown.start || newLength !== length) {
      await page.fill('input[name="end"]', clock(start + newLength));
    }
    for (const name of ['prepad', 'postpad']) {
      if (v[name] !== undefined) await page.fill(`input[name="${name}"]`, String(v[name]));
    }
    if (v.repeat !== undefined) await page.selectOption('select[name="repeat"]', String(v.repeat));
    if (v.quality !== undefined) await page.check(`input[name="quality"][value="${v.quality}"]`);
    if (v.target !== undefined) await page.check(`input[name="target"][value="${v.target}"]`);
    if (v.disabled !== undefined) await page.check(`input[name="disabled"][value="${v.disabled}"]`);
    if (v.savedef) await page.check('input[name="savedef"]');
  };
  const newestId = () => Math.max(...timers().map((r) => r.ID));
  const notice = () => boxText('.msg-notice');
  // Takes timers that a step made for itself out of the table again.
  const forget = (...ids) => sqliteJson(timerDb,
    `delete from timer_record_table where ID in (${ids.map(Number).join(', ')})`);
  const focused = () => page.evaluate(() => {
    const e = document.activeElement;
    return e.id || e.className || e.tagName;
  });

  // axe-core's rules on the page as it is now: every violation, with the
  // elements it names, fails the step. The page's icon must load as well
  // (headless Chromium does not ask for it itself).
  // Every page is checked in the light and in the dark colour scheme.
  const assertAccessible = async (what) => {
    await page.evaluate(axeSource);
    for (const colorScheme of ['light', 'dark']) {
      await page.emulateMedia({ colorScheme });
      const violations = await page.evaluate(async () => (await window.axe.run(document))
        .violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`));
      assert.deepEqual(violations, [], `axe-core on ${what}, ${colorScheme}`);
    }
    await page.emulateMedia({ colorScheme: 'light' });
    const icon = await page.locator('link[rel="icon"]').evaluate((link) => link.href);
    assert.equal((await page.request.get(icon)).status(), 200, `icon of ${what}`);
  };

  // Layout boxes of what a locator finds, in CSS pixels, with each one's
  // scroll and client widths (a scroll width above the client width means
  // the content sticks out sideways).
  const boxes = (locator) => locator.evaluateAll((elements) => elements.map((e) => {
    const r = e.getBoundingClientRect();
    return { top: r.top, bottom: r.bottom, left: r.left, right: r.right, width: r.width,
      height: r.height, scrollWidth: e.scrollWidth, clientWidth: e.clientWidth };
  }));

  const tomorrow = new Date(Date.now() + 86400000);
  const day = tomorrow.getDate();
  const month = tomorrow.getMonth() + 1;
  const year = tomorrow.getFullYear();
  // A title as long as a form may send (255 characters), of words and of one
  // run of letters without a break.
  const titleWords = 'Lange Nacht der Dokumentarfilme über Flüsse, Berge und Städte Europas';
  const longTitle = `${titleWords} `.repeat(8).slice(0, 200) + '-' + 'x'.repeat(54);

  await t.test('the sign-in page passes axe-core', async () => {
    await page.goto(cgi);
    await assertAccessible('the sign-in page');
  });

  await t.test('wrong password is refused', async () => {
    await page.goto(cgi);
    assert.ok(await onSignInPage(), 'no sign-in form');
    assert.equal(await msg(), '');
    await page.screenshot({ path: path.join(artifacts, 'signin.png'), fullPage: true });
    await signIn('admin', 'wrong');
    assert.ok(await onSignInPage());
    assert.equal(await msg(), 'Invalid login.');
    assert.equal(await page.locator('table.timers').count(), 0);
  });

  await t.test('the first sign-in replaces the initial password', async () => {
    await signIn('admin', '482');
    const choose = 'Choose a new password to finish signing in.';
    assert.equal(await page.locator('input[name="newpass2"]').count(), 1, 'no password form');
    assert.equal(await notice(), choose);
    // The password typed a moment ago is not asked for again.
    assert.equal(await page.locator('input[name="oldpass"]').count(), 0);
    await page.screenshot({ path: path.join(artifacts, 'first-signin.png'), fullPage: true });
    // Nothing else until the password is changed; a page that the sign-in did
    // not answer (another tab) asks for the current password.
    const tab = await context.newPage();
    await tab.goto(`${cgi}?delete=Delete&key=1`);
    assert.equal(await tab.locator('.msg-notice').innerText(), choose);
    assert.equal(await tab.locator('input[name="oldpass"]').count(), 1);
    await tab.close();
    assert.notEqual(timerById(1), undefined, 'a timer was deleted before the password change');
    // A refused new password: the page still does not ask for the current one.
    await page.fill('input[name="newpass1"]', 'erst-13');
    await page.fill('input[name="newpass2"]', 'erst-13');
    await submit('form:has(input[name="newpass2"]) [type="submit"]');
    assert.equal(await msg(), 'New password must have at least 8 characters.');
    assert.equal(await page.locator('input[name="oldpass"]').count(), 0);
    await page.fill('input[name="newpass1"]', 'erst-1357');
    await page.fill('input[name="newpass2"]', 'erst-1357');
    await submit('form:has(input[name="newpass2"]) [type="submit"]');
    assert.equal(await notice(), 'Password changed');
  });

  await t.test('sign in shows the demo timers with channel names', async () => {
    assert.ok(await onListScreen(), 'no timer list after sign-in');
    const rows = page.locator('table.timers tbody tr');
    assert.equal(await rows.count(), 12);
    const text = await page.locator('table.timers').innerText();
    for (const title of ['Tagesschau & Wetter', '"Tatort"', 'Fußball: Länderspiel',
      'Rock\'n\'Roll Freitag']) {
      assert.ok(text.includes(title), `list lacks ${title}`);
    }
    assert.match(await rowOf(1).innerText(), /1 Erstes Programm/);
    assert.match(await rowOf(9).innerText(), /5 Drittes Süd \(105\)/);
    assert.match(await rowOf(7).innerText(), /\bAV\b/);
    assert.match(await rowOf(9).innerText(), /Mon-Sat/);
    // The locked timer (ID 6) can be neither selected nor edited.
    assert.equal(await page.locator('input[name="key"][value="6"]').count(), 0);
    assert.equal(await page.locator('input[type="checkbox"][name="key"]').count(), 11);
    // Its own row: another row's overlap warning may name it too.
    const locked = page.locator('table.timers tbody tr').filter({
      has: page.locator('td.title', { hasText: /^Fußball: Länderspiel/ }),
    });
    assert.equal(await locked.locator('td.title > a').count(), 0);
    // The "Tatort" margins (5 before, 10 after) come back from the stored times.
    assert.match(await rowOf(2).innerText(), /5 \/ 10 min/);
    assert.equal(await page.locator('input[name="title"]').inputValue(), 'Web Timer');
    await page.screenshot({ path: path.join(artifacts, 'list.png'), fullPage: true });
  });

  // ---- Steps that each leave the timer table and the page as they found
  // them: the list screen in create mode, at 1280 x 900.

  await t.test('the list, its messages and the password page pass axe-core', async () => {
    await assertAccessible('the list with timers');
    await page.emulateMedia({ colorScheme: 'dark' });
    await page.screenshot({ path: path.join(artifacts, 'list-dark.png'), fullPage: true });
    await page.emulateMedia({ colorScheme: 'light' });
    await submit('button[name="confirmdelete"]');
    assert.equal(await msg(), 'You have to select one or more timers');
    assert.equal(await focused(), 'msg msg-error', 'the page opens at the error');
    await assertAccessible('the list with an error message');
    await submit('a[href*="chpass=1"]');
    assert.equal(await page.locator('input[name="newpass2"]').count(), 1);
    await assertAccessible('the change-password page');
    await page.goto(`${cgi}?tokens`);
    await page.fill('input[name="tokenname"]', 'Heimautomation');
    await submit('button[name="newtoken"]');
    assert.match(await page.locator('input[readonly]').first().inputValue(), /^skd_[0-9a-f]{32}$/);
    await assertAccessible('the tokens page with a new token');
    await submit('button[name="rotatefeed"]');
    await assertAccessible('the tokens page with a new feed address');
    await page.goto(cgi);
  });

  await t.test('reloading a sent form does not carry it out again', async () => {
    const count = timers().length;
    await fillTimer({ title: 'Nur einmal', channel: 3, day, month, year, hh: 3, mm: 10 });
    await submit('button[name="create"]');
    assert.match(await notice(), /^Created "Nur einmal"\./);
    await assertAccessible('the list with a notice');
    const id = newestId();
    assert.equal(timers().length, count + 1);
    await page.reload();
    assert.equal(await msg(), 'This form was already sent.');
    assert.equal(timers().length, count + 1, 'a reload created a second timer');
    // Away to another address (a load of the same address would replace
    // the sent form's history entry), back, and reload.
    await submit('a[href*="chpass=1"]');
    // The page was not kept (no-store): Chromium answers the way back with
    // its "resend the form?" page, and a reload there sends the form again.
    await assert.rejects(page.goBack(), /ERR_CACHE_MISS/);
    await page.waitForURL(/^chrome-error:/);
    await page.reload();
    assert.equal(await msg(), 'This form was already sent.');
    assert.equal(timers().length, count + 1, 'back and reload created another timer');
    forget(id);
    await page.goto(cgi);
  });

  await t.test('a timer that overlaps another is warned of on its row', async () => {
    // Tomorrow from 20:30: the "Tatort" (from 20:10 with its margin) records then.
    await fillTimer({ title: 'Zur selben Zeit', channel: 3, day, month, year, hh: 20, mm: 30,
      hours: 0, mins: 30, prepad: 0, postpad: 0, repeat: 0 });
    await submit('button[name="create"]');
    const id = newestId();
    const weekday = ['Sun', 'Mon', 'Tue', 'Wed', 'Thu', 'Fri', 'Sat'][tomorrow.getDay()];
    const overlap = `"Tatort" on ${weekday} ${day}/${month} 20:30`;
    assert.equal(await rowOf(id).locator('.conflict').innerText(), `Overlaps with ${overlap}`);
    assert.ok((await notice()).endsWith(`It overlaps with ${overlap}.`), await notice());
    assert.match(await page.locator('p.msg-warning').innerText(),
      /^\d+ timers overlap in the next 14 days: \S/);
    forget(id);
    await page.goto(cgi);
  });

  await t.test('a row names every timer it overlaps; the count links to the rows', async () => {
    // Tomorrow from 20:30 and from 20:40, both while the "Tatort" records.
    const overlapping = { channel: 3, day, month, year, hours: 0, mins: 30, prepad: 0,
      postpad: 0, repeat: 0 };
    await fillTimer({ ...overlapping, title: 'Zur selben Zeit', hh: 20, mm: 30 });
    await submit('button[name="create"]');
    const first = newestId();
    await fillTimer({ ...overlapping, title: 'Gleich danach', hh: 20, mm: 40 });
    await submit('button[name="create"]');
    const second = newestId();
    const weekday = ['Sun', 'Mon', 'Tue', 'Wed', 'Thu', 'Fri', 'Sat'][tomorrow.getDay()];
    const when = `${weekday} ${day}/${month} 20:40`;
    assert.equal(await rowOf(second).locator('.conflict').innerText(),
      `Overlaps with "Tatort" on ${when}, Zur selben Zeit on ${when}`);
    const target = () => page.evaluate(() => document.querySelector(':target')?.id);
    // A name in the warning leads to that timer's row.
    await rowOf(second).locator('.conflict a', { hasText: 'Zur selben Zeit' }).click();
    assert.equal(await target(), `timer-${first}`);
    // The count's links lead to rows that overlap, the first of them too.
    const count = page.locator('p.msg-warning.overlaps');
    assert.match(await count.innerText(), /^\d+ timers overlap in the next 14 days: /);
    const links = count.locator('a');
    const shown = await links.count();
    assert.ok(shown >= 3 && shown <= 5, `${shown} links after the count`);
    for (let i = 0; i < shown; ++i) {
      const row = page.locator(`table.timers tr${await links.nth(i).getAttribute('href')}`);
      assert.equal(await row.count(), 1);
      assert.match(await row.locator('.conflict').innerText(), /^Overlaps with /);
    }
    const last = await links.nth(shown - 1).getAttribute('href');
    await links.nth(shown - 1).click();
    assert.equal(`#${await target()}`, last);
    await page.screenshot({ path: path.join(artifacts, 'overlaps.png'), fullPage: true });
    await assertAccessible('the list with a row that overlaps two timers');
    forget(first, second);
    await page.goto(cgi);
  });

  await t.test('a title link opens the form in view, the row marked', async () => {
    await Promise.all([page.waitForNavigation(), rowOf(2).locator('td.title > a').click()]);
    assert.match(page.url(), /#timer-form$/);
    assert.equal(await page.title(), 'Edit: "Tatort"');
    assert.equal(await focused(), 'timer-form');
    // The form's heading and its title field are both on screen.
    const [heading, field] = await boxes(page.locator('#form-heading, #timer-form'));
    assert.ok(heading.top >= 0 && field.bottom <= page.viewportSize().height,
      `the form's heading is at ${heading.top} px, its title field ends at ${field.bottom} px`);
    assert.match(await rowOf(2).getAttribute('class'), /\bediting\b/);
    assert.equal(await page.locator('table.timers tr.editing').count(), 1);
    await assertAccessible('the edit form');
    await submit('form.timer-form a:text-is("Cancel")');
    assert.equal(await page.locator('button[name="create"]').count(), 1);
    assert.equal(await page.locator('table.timers tr.editing').count(), 0);
  });

  await t.test('keyboard only: the skip link, then fill and send the form', async () => {
    await page.goto(cgi);
    await page.keyboard.press('Tab');
    assert.equal(await focused(), 'skip');
    await page.keyboard.press('Enter');
    assert.equal(await focused(), 'timer-form');
    const count = timers().length;
    // No channel is chosen for a new timer.
    assert.equal(await page.locator('select[name="channel"]').inputValue(), '');
    // The title, then part of a channel's name (accents need not be typed)
    // into the box above the list, which chooses the first channel that
    // holds it; Enter there sends the form with the date and times offered.
    await page.keyboard.press('Control+A');
    await page.keyboard.type('Per Tastatur');
    await page.keyboard.press('Tab');
    assert.equal(await focused(), 'f-chfind');
    await page.keyboard.type('sud');
    assert.deepEqual(await page.locator('select[name="channel"] option').allInnerTexts(),
      ['Choose a channel', 'Drittes Süd (5, 105)']);
    assert.equal(await page.locator('select[name="channel"]').inputValue(), '5');
    const [date, start, end] = await Promise.all(['date', 'start', 'end'].map((name) =>
      page.inputValue(`input[name="${name}"]`)));
    await Promise.all([page.waitForNavigation(), page.keyboard.press('Enter')]);
    assert.match(await notice(), /^Created "Per Tastatur"\./);
    assert.equal(timers().length, count + 1);
    const row = timerById(newestId());
    assert.equal(row.user_string, 'Per Tastatur');
    assert.equal(row.channel, 5);
    assert.deepEqual([row.date_year, row.date_month, row.date_day, row.start_hour,
      row.start_minute], [...date.split('-'), ...start.split(':')].map(Number));
    assert.equal(row.length_hour * 60 + row.length_minute,
      (minutesOf(end) - minutesOf(start) + 1440) % 1440);
    forget(row.ID);
    await page.goto(cgi);
  });

  // Measured in Chromium, with screenshots into the artifacts folder: a
  // 255-character title (the longest a form may send) wraps in its cell and
  // leaves the table's width and its Target column alone; a phone shows each
  // timer as a small card.
  await t.test('long titles wrap, and timers are small cards on a phone', async (step) => {
    const long = longTitle;
    assert.equal(long.length, 255);
    await fillTimer({ title: long, channel: 22, day, month, year, hh: 2, mm: 0 });
    await submit('button[name="create"]');
    const id = newestId();
    // Leaves the table and the page as the next steps expect, also when a
    // check below fails.
    step.after(async () => {
      forget(id);
      await page.setViewportSize({ width: 1280, height: 900 });
      await page.goto(cgi);
    });
    const shot = (name, options = {}) =>
      page.screenshot({ path: path.join(artifacts, name), ...options });

    for (const width of [1280, 1920]) {
      await page.setViewportSize({ width, height: 900 });
      const [wrap] = await boxes(page.locator('.table-wrap'));
      const [table] = await boxes(page.locator('table.timers'));
      const [target] = await boxes(page.locator('table.timers th', { hasText: 'Target' }));
      const [title] = await boxes(rowOf(id).locator('td.title'));
      const [other] = await boxes(rowOf(2).locator('td.title'));
      assert.ok(table.right <= width && wrap.scrollWidth <= wrap.clientWidth,
        `at ${width} px the table is ${table.width} px wide and scrolls ${wrap.scrollWidth} px`);
      assert.ok(target.width > 0 && target.right <= wrap.right,
        `at ${width} px the Target column ends at ${target.right} px of ${wrap.right}`);
      assert.ok(title.height > 2 * other.height && title.scrollWidth <= title.clientWidth,
        `at ${width} px the long title is ${title.width} x ${title.height} px`);
      if (width === 1280) await shot('list-1280.png', { fullPage: true });
    }
    // A TV across the room: no text below 20 px, a focus ring of 5 px.
    {
      const smallest = await page.evaluate(() => Math.min(...[...document.querySelectorAll('body *')]
        .filter((e) => e.offsetParent !== null &&
          [...e.childNodes].some((n) => n.nodeType === Node.TEXT_NODE && n.textContent.trim()))
        .map((e) => parseFloat(getComputedStyle(e).fontSize))));
      assert.ok(smallest >= 20, `at 1920 px the smallest text is ${smallest} px`);
      await rowOf(id).locator('td.title > a').focus();
      assert.equal(await page.evaluate(() => getComputedStyle(document.activeElement).outlineWidth),
        '5px');
      // A remote's arrows step through the links and buttons.
      await page.locator('a.new-timer').focus();
      await page.keyboard.press('ArrowDown');
      assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Change password');
      await page.keyboard.press('ArrowUp');
      assert.equal(await page.evaluate(() => document.activeElement.textContent), 'New timer');
      await rowOf(id).locator('td.title > a').focus();
      await shot('list-1920.png');
    }
    const editLong = () =>
      Promise.all([page.waitForNavigation(), rowOf(id).locator('td.title > a').click()]);
    // The form's pickers and lists fit the width, side by side on a wide
    // screen.
    const formFits = async (width) => {
      const fields = await boxes(page.locator('#f-date, #f-start, #f-end, #f-channel, #f-chfind'));
      assert.equal(fields.length, 5);
      for (const f of fields) {
        assert.ok(f.left >= 0 && f.right <= width && f.width >= 100,
          `at ${width} px a field of the form spans ${f.left}-${f.right} px`);
      }
      const [root] = await boxes(page.locator('html'));
      assert.ok(root.scrollWidth <= width, `at ${width} px the page is ${root.scrollWidth} px wide`);
      return boxes(page.locator('#f-date, #f-start, #f-end'));
    };
    await page.setViewportSize({ width: 1280, height: 900 });
    await editLong();
    await shot('edit-1280.png');
    const [date, start, end] = await formFits(1280);
    assert.ok(Math.abs(date.top - start.top) < 2 && Math.abs(start.top - end.top) < 2,
      `at 1280 px date, start and end are not on one line: ${JSON.stringify([date, start, end])}`);

    // Phone: every card is the title (three lines at most) with its status
    // pill above a line of channel, day and time, at most about 120 px high
    // besides its overlap warning (on some weekdays a demo timer overlaps
    // another).
    await page.setViewportSize({ width: 390, height: 844 });
    await page.goto(cgi);
    await shot('list-390.png', { fullPage: true });
    await page.locator('table.timers').screenshot({ path: path.join(artifacts, 'cards-390.png') });
    await page.emulateMedia({ colorScheme: 'dark' });
    await shot('list-390-dark.png', { fullPage: true });
    await page.emulateMedia({ colorScheme: 'light' });
    const [root] = await boxes(page.locator('html'));
    assert.ok(root.scrollWidth <= 390, `the phone page is ${root.scrollWidth} px wide`);
    const cell = (css) => boxes(page.locator(`table.timers tbody ${css}`));
    const [cards, titles, pills, channels, days, times, warnings] = await Promise.all(['tr',
      'td.title', '.status', 'td.channel', 'td.day', 'td.time',
      'td.title .conflict'].map(cell));
    assert.equal(cards.length, timers().length);
    assert.equal(warnings.length, cards.length);
    cards.forEach((card, i) => {
      const what = `card ${i + 1}`;
      assert.ok(card.height - warnings[i].height <= 120 && card.right <= 390,
        `${what} is ${card.width} x ${card.height} px`);
      assert.ok(pills[i].top < titles[i].bottom && pills[i].right <= card.right,
        `${what}: the status pill is not beside the title`);
      for (const box of [days[i], times[i]]) {
        assert.ok(Math.abs(box.top - channels[i].top) < 2,
          `${what}: channel, day and time wrap (tops ${channels[i].top}, ${box.top})`);
      }
      assert.ok(channels[i].top >= titles[i].bottom - 1, `${what}: channel is not below the title`);
    });
    // The sort link stays on the phone, and the actions of ticked timers stay
    // in reach at the bottom of the screen.
    const [sort] = await boxes(page.locator('table.timers th[aria-sort] a'));
    assert.ok(sort.height >= 44 && sort.right <= 390,
      `the phone's sort link is ${sort.width} x ${sort.height} px`);
    // The order chosen stays for the next visit, until another is chosen.
    const sortState = () => page.locator('table.timers th[aria-sort]').getAttribute('aria-sort');
    await submit('table.timers th[aria-sort] a');
    await page.goto(cgi);
    assert.equal(await sortState(), 'ascending');
    await submit('table.timers th[aria-sort] a');
    await page.goto(cgi);
    assert.equal(await sortState(), 'none');
    await rowOf(2).locator('td.tick input').check();
    await page.evaluate(() => window.scrollTo(0, 0));
    const [bar] = await boxes(page.locator('form .actions').first());
    assert.ok(bar.bottom <= 844, `with a timer ticked the actions end at ${bar.bottom} px`);
    await shot('ticked-390.png');
    await rowOf(2).locator('td.tick input').uncheck();
    // "Select all" ticks every timer and clears them again; "New timer" is
    // at the top and leads to the form.
    await page.locator('#select-all').check();
    assert.equal(await page.locator('table.timers input[name="key"]:not(:checked)').count(), 0);
    await shot('all-ticked-390.png');
    await page.locator('#select-all').uncheck();
    assert.equal(await page.locator('table.timers input[name="key"]:checked').count(), 0);
    const [newTimer] = await boxes(page.locator('a.new-timer'));
    assert.ok(newTimer.bottom <= 844 && newTimer.height >= 44,
      `the New timer button is ${newTimer.height} px high and ends at ${newTimer.bottom} px`);
    await page.locator('a.new-timer').click();
    await page.waitForFunction(() => {
      const box = document.getElementById('timer-form').getBoundingClientRect();
      return box.top >= 0 && box.bottom <= window.innerHeight;
    });
    await editLong();
    await formFits(390);
    await shot('edit-390.png');
  });

  let created;
  await t.test('create a timer', async () => {
    // Through the pickers, from 20:15 to 21:45.
    const date = `${year}-${pad(month)}-${pad(day)}`;
    await fillTimer({ title: 'Abendnachrichten', channel: 9, date, start: '20:15', end: '21:45',
      prepad: 2, postpad: 3, repeat: 0, quality: 1, target: 0, disabled: 0 });
    await submit('button[name="create"]');
    assert.ok(await onListScreen());
    assert.equal(timers().length, 13);
    created = newestId();
    const row = timerById(created);
    assert.equal(row.user_string, 'Abendnachrichten');
    assert.equal(row.source, 10);
    assert.equal(row.channel, 9);
    assert.deepEqual([row.date_year, row.date_month, row.date_day, row.start_hour,
      row.start_minute, row.length_hour, row.length_minute], [year, month, day, 20, 15, 1, 30]);
    assert.equal(row.timestamp_start, localEpoch(year, month, day, 20, 15) - 120);
    assert.equal(row.timestamp_offset, 90 * 60 + 300);
    assert.equal(row.enable, 0);
    const shown = await rowOf(created).innerText();
    assert.match(shown, /9 Nachrichten 24/);
    assert.match(shown, /20:15/);
    assert.match(shown, /2 \/ 3 min/);
  });

  await t.test('edit the timer', async () => {
    await submit(`a[href*="edit=Edit"][href*="key=${created}"]`);
    assert.equal(await page.locator('h2', { hasText: 'Update existing timer' }).count(), 1);
    assert.equal(await page.locator('input[name="title"]').inputValue(), 'Abendnachrichten');
    assert.equal(await page.locator('select[name="channel"]').inputValue(), '9');
    assert.equal(await page.inputValue('input[name="date"]'), `${year}-${pad(month)}-${pad(day)}`);
    assert.equal(await page.inputValue('input[name="start"]'), '20:15');
    assert.equal(await page.inputValue('input[name="end"]'), '21:45');
    assert.equal(Number(await page.locator('input[name="prepad"]').inputValue()), 2);
    assert.equal(Number(await page.locator('input[name="postpad"]').inputValue()), 3);
    // Until after midnight: the end is on the next day.
    await fillTimer({ title: 'Abendnachrichten (spät)', channel: 11, start: '23:40',
      end: '00:05' });
    await submit('button[name="update"]');
    assert.ok(await onListScreen());
    assert.equal(timers().length, 13, 'an update must not add a timer');
    const row = timerById(created);
    assert.equal(row.user_string, 'Abendnachrichten (spät)');
    assert.equal(row.channel, 11);
    assert.deepEqual([row.start_hour, row.start_minute, row.length_hour, row.length_minute],
      [23, 40, 0, 25]);
    assert.equal(row.timestamp_start, localEpoch(year, month, day, 23, 40) - 120);
    assert.equal(row.timestamp_offset, 25 * 60 + 300);
    assert.match(await rowOf(created).innerText(), /11 Sport Plus/);
    // Back in create mode after the update.
    assert.equal(await page.locator('button[name="create"]').count(), 1);
  });

  await t.test('group actions on selected timers', async () => {
    await submit('button[name="confirmdelete"]');
    assert.equal(await msg(), 'You have to select one or more timers');
    assert.equal(timers().length, 13);

    await tick(created, 1);
    await submit('button[name="disable"]');
    assert.equal(timerById(created).enable, 1);
    assert.equal(timerById(1).enable, 1);
    assert.equal(timerById(3).enable, 0);
    assert.match(await rowOf(1).getAttribute('class'), /\bdisabled\b/);

    await tick(created, 1);
    await submit('button[name="enable"]');
    assert.equal(timerById(created).enable, 0);
    assert.equal(timerById(1).enable, 0);

    await tick(2);
    await submit('button[name="clone"]');
    const clone = newestId();
    assert.equal(timers().length, 14);
    const original = timerById(2);
    const copy = timerById(clone);
    assert.equal(copy.user_string, '"Tatort"');
    assert.equal(copy.enable, 1);
    for (const col of ['timestamp_start', 'timestamp_offset', 'channel', 'source', 'date']) {
      assert.equal(copy[col], original[col], `clone differs in ${col}`);
    }
    assert.equal(await rowOf(clone).count(), 1);

    // Delete asks first, naming the timers; Cancel keeps them.
    await tick(clone, created);
    await submit('button[name="confirmdelete"]');
    assert.equal(await page.locator('h2').innerText(), 'Delete 2 timers?');
    assert.equal(await page.locator('.confirm-list li').count(), 2);
    assert.equal(timers().length, 14);
    await assertAccessible('the delete confirmation');
    await submit('a:text("Cancel")');
    assert.equal(timers().length, 14);
    await tick(clone, created);
    await submit('button[name="confirmdelete"]');
    await submit('button[name="delete"]');
    assert.equal(timerById(clone), undefined);
    assert.equal(timerById(created), undefined);
    assert.equal(timers().length, 12);
    assert.equal(await rowOf(clone).count(), 0);
  });

  await t.test('saved margins are offered for the next timer', async () => {
    await fillTimer({ title: 'Mit Vorgabe', channel: 3, day, month, year, hh: 18, mm: 0,
      hours: 1, mins: 0, prepad: 4, postpad: 7, savedef: true });
    await submit('button[name="create"]');
    const id = newestId();
    const row = timerById(id);
    assert.equal(row.source, 10, 'the marker for the padding triggers is taken off');
    assert.equal(row.timestamp_start, localEpoch(year, month, day, 18, 0) - 240);
    assert.equal(row.timestamp_offset, 3600 + 240 + 420);
    assert.equal(await page.locator('input[name="prepad"]').inputValue(), '4');
    assert.equal(await page.locator('input[name="postpad"]').inputValue(), '7');
    await page.goto(cgi);
    assert.equal(await page.locator('input[name="prepad"]').inputValue(), '4');
    assert.equal(await page.locator('input[name="postpad"]').inputValue(), '7');
  });

  await t.test('a title with markup shows literally', async () => {
    const title = 'Quiz <b>&"Co"';
    await fillTimer({ title, channel: 'AV', day, month, year, hh: 7, mm: 30 });
    await submit('button[name="create"]');
    const id = newestId();
    const row = timerById(id);
    assert.equal(row.user_string, title);
    assert.equal(row.source, 1);
    assert.equal(await page.locator('table.timers b').count(), 0);
    assert.ok((await rowOf(id).innerText()).includes(title));
    await submit(`a[href*="edit=Edit"][href*="key=${id}"]`);
    assert.equal(await page.locator('input[name="title"]').inputValue(), title);
    assert.equal(await page.locator('select[name="channel"]').inputValue(), 'AV');
  });

  await t.test('pages of the same site or another site cannot act', async () => {
    const refused = 'Nothing was changed: this request did not come from a form of this page. ' +
      'Reload the page and try again.';
    const count = timers().length;
    const variants = [
      { name: 'form', fields: { delete: 'Delete', key: 1 } },
      { name: 'form-no-referrer', referrer: false, fields: { delete: 'Delete', key: 1 } },
      { name: 'form-made-up-token',
        fields: { delete: 'Delete', key: 1, formtoken: '0123456789abcdef0123456789abcdef' } },
      { name: 'create', referrer: false,
        fields: { create: 'Create', title: 'Untergeschoben', channel: 3, hours: 1 } },
    ];
    // Then as a server that passes no browser headers (busybox httpd before
    // 1.31) hands them on: the form tokens alone must refuse the requests.
    for (const stripped of [false, true]) {
      const target = stripped ? `${strippedBase}/cgi-bin/skedra.cgi` : cgi;
      for (const origin of [sameSite, crossSite]) {
        for (const v of variants) {
          const url = origin + attackPage(v.name, { ...v, target });
          await page.goto(url);
          await page.waitForURL(/skedra\.cgi/);
          // The same site sends the session cookie: the list with the refusal.
          // Another site sends none (SameSite=Strict): the sign-in page.
          const what = `${origin} ${v.name}${stripped ? ', headers stripped' : ''}`;
          if (origin === sameSite) assert.equal(await msg(), refused, what);
          else assert.ok(await onSignInPage(), what);
          assert.equal(timers().length, count, `${what} changed the timers`);
        }
        for (const [name, referrer] of [['img', true], ['img-no-referrer', false]]) {
          for (const query of ['delete=Delete&key=1', `create=Create&title=Bild&channel=3&hours=1`]) {
            await page.goto(origin + attackPage(name, { referrer, image: query, target }));
            await page.waitForLoadState('networkidle');
            assert.equal(timers().length, count,
              `${origin} ${name}${stripped ? ', headers stripped,' : ''} ${query} changed the timers`);
          }
        }
      }
    }
    assert.notEqual(timerById(1), undefined);
    // What the program sees of each (the local server only).
    if (!remoteBase) {
      const seen = [];
      const show = async (what, url) => {
        await page.goto(url);
        await page.waitForURL(/headers\.cgi/);
        seen.push(`-- ${what}\n${await page.locator('body').innerText()}`);
      };
      const dump = `${base}/cgi-bin/headers.cgi`;
      await page.goto(cgi);
      await page.evaluate((action) => { document.forms[0].action = action; }, dump);
      await Promise.all([page.waitForURL(/headers\.cgi/), page.locator('form').first()
        .evaluate((f) => f.submit())]);
      seen.push(`-- the interface's own form\n${await page.locator('body').innerText()}`);
      for (const [label, origin] of [['same site, other port', sameSite],
        ['other site', crossSite]]) {
        for (const referrer of [true, false]) {
          const name = `dump-${referrer}`;
          await show(`${label}, ${referrer ? 'with' : 'without'} referrer`,
            origin + attackPage(name, { target: dump, referrer, fields: { delete: 'Delete' } }));
        }
      }
      await show('same site, other port, headers stripped', sameSite + attackPage('dump-stripped',
        { target: `${strippedBase}/cgi-bin/headers.cgi`, fields: { delete: 'Delete' } }));
      assert.doesNotMatch(seen[5], /HTTP_(ORIGIN|REFERER|SEC_FETCH)/);
      assert.match(seen[5], /cookie: sent/);
      fs.writeFileSync(path.join(artifacts, `headers-seen-${httpd}.txt`), seen.join('\n'));
      assert.match(seen[0], /HTTP_SEC_FETCH_SITE=same-origin/);
      assert.match(seen[1], /HTTP_SEC_FETCH_SITE=same-site/);
      assert.match(seen[3], /HTTP_SEC_FETCH_SITE=cross-site/);
    }
    await page.goto(cgi);
  });

  await t.test('a thousand selected timers are deleted at once', async () => {
    const count = timers().length;
    const columns = Object.keys(timerById(1)).filter((c) => c !== 'ID').join(', ');
    sqliteJson(timerDb, 'with recursive n(i) as (select 5000 union all select i + 1 from n ' +
      `where i < 5999) insert into timer_record_table (ID, ${columns}) select i, ${columns} ` +
      'from n, timer_record_table where ID = 1');
    assert.equal(timers().length, count + 1000);
    await page.goto(cgi);
    await page.evaluate(() => {
      for (const box of document.querySelectorAll('input[name="key"]')) {
        if (Number(box.value) >= 5000) box.checked = true;
      }
    });
    await submit('button[name="confirmdelete"]');
    assert.equal(await page.locator('.confirm-list li').count(), 1000);
    await submit('button[name="delete"]');
    assert.equal(await notice(), 'Deleted 1000 timers.');
    assert.equal(timers().length, count);
    assert.notEqual(timerById(1), undefined);
  });

  await t.test('the list with an error and the delete confirmation at three widths', async () => {
    for (const width of [390, 1280, 1920]) {
      await page.setViewportSize({ width, height: width === 390 ? 844 : 1080 });
      for (const colorScheme of ['light', 'dark']) {
        await page.emulateMedia({ colorScheme });
        await page.goto(`${cgi}?confirmdelete=Delete`);
        const [box] = await boxes(page.locator('.msg-error:not(:empty)'));
        assert.ok(box.top >= 0 && box.bottom <= (width === 390 ? 844 : 1080),
          `at ${width} px the error is not in view (${box.top}-${box.bottom})`);
        await page.screenshot({ path: path.join(artifacts, `error-${width}-${colorScheme}.png`) });
        await page.goto(`${cgi}?confirmdelete=Delete&key=1&key=2`);
        await page.screenshot({ path: path.join(artifacts, `confirm-${width}-${colorScheme}.png`) });
      }
    }
    await page.emulateMedia({ colorScheme: 'light' });
    await page.setViewportSize({ width: 1280, height: 900 });
    await page.goto(cgi);
  });

  await t.test('change the password and sign in with the new one', async () => {
    await submit('a[href*="chpass=1"]');
    assert.equal(await page.locator('input[name="newpass2"]').count(), 1);
    await page.fill('input[name="oldpass"]', 'erst-1357');
    await page.fill('input[name="newpass1"]', 'neu-2468');
    await page.fill('input[name="newpass2"]', 'anders');
    await submit('form:has(input[name="newpass2"]) [type="submit"]');
    assert.equal(await msg(), 'Password mismatch');
    await assertAccessible('the password page with a refusal');
    await page.fill('input[name="oldpass"]', 'erst-1357');
    await page.fill('input[name="newpass1"]', 'neu-2468');
    await page.fill('input[name="newpass2"]', 'neu-2468');
    await submit('form:has(input[name="newpass2"]) [type="submit"]');
    assert.ok(await onListScreen());
    assert.equal(await notice(), 'Password changed');

    await submit('button[name="logout"]');
    assert.ok(await onSignInPage());
    assert.equal(await notice(), 'Logged out.');
    await signIn('admin', 'erst-1357');
    assert.equal(await msg(), 'Invalid login.');
    await signIn('admin', 'neu-2468', true);
    assert.ok(await onListScreen());
    // A sticky sign-in from the device itself carries the session in the links;
    // the emulated recorder sees the browser as another machine of its network.
    const action = await page.locator('form:has(button[name="confirmdelete"])').getAttribute('action');
    if (remoteBase) assert.doesNotMatch(action, /quibsession=/);
    else assert.match(action, /skedra\.cgi\?quibsession=./);
  });

  await t.test('after signing out the list is closed', async () => {
    await submit('button[name="logout"]');
    assert.ok(await onSignInPage());
    await page.goto(cgi);
    assert.ok(await onSignInPage());
    assert.equal(await page.locator('table.timers').count(), 0);
    await page.goto(`${cgi}?delete=Delete&key=1`);
    assert.ok(await onSignInPage());
    assert.notEqual(timerById(1), undefined, 'a signed-out request deleted a timer');
  });

  // ---- Every page in German and in the test language "en-XA" (the English
  // texts longer, accented and in brackets), on a phone and on a wide
  // screen: no text cut off or sticking out of its box or the screen, no
  // text left in English, and the page says which language it is in.
  await t.test('every page in German and in the test language fits and is translated',
    async (step) => {
      const browser = await chromium.launch({ executablePath: chromiumPath, headless: true,
        args: chromiumArgs });
      step.after(() => browser.close());
      // A timer with a title as long as a form may send, beside the demo
      // timers (overlaps, a locked one, one on the external input).
      const longId = 7000;
      const columns = Object.keys(timerById(1)).filter((c) => c !== 'ID').join(', ');
      sqliteJson(timerDb, `insert into timer_record_table (ID, ${columns}) select ${longId}, ` +
        `${columns} from timer_record_table where ID = 1; update timer_record_table set ` +
        `user_string = '${longTitle}' where ID = ${longId}`);
      step.after(() => forget(longId));

      // What the user entered or the recorder named, shown as it is in every
      // language: timer titles, channel names, the user name, token names.
      const channels = onRecorder(`cat '${path.join(etcDir, 'dtv_channels.info')}'`)
        .split('\n').filter((l) => l && !l.startsWith('#')).map((l) => l.split('|')[0]);
      const tokenName = 'Heimautomation';
      const userData = [...timers().map((r) => r.user_string), ...channels, 'admin', tokenName]
        .filter((s) => s.trim()).sort((a, b) => b.length - a.length);
      // Words that stay as they are in every language.
      const kept = new Set([
        'AV', 'HDD', 'USB', // the recorder's own names of its input and its disks
        'JSON', 'UTF', // names of formats
        'Authorization', 'Bearer', // an HTTP header as a program must send it
        'English', 'Deutsch', 'Français', 'Polski', // each language's own name
      ]);
      // The English texts of the catalogue that German says otherwise, each
      // as a pattern of its literal parts (a place matches any text): from
      // the translators' catalogue, which the build holds to the whole list.
      const english = [];
      const german = new Set();
      let entry = [];
      const unquote = (s) => JSON.parse(s);
      const finish = () => {
        const field = (name) => entry.filter(([k]) => k === name || k.startsWith(`${name}[`))
          .map(([, v]) => v);
        for (const v of field('msgstr')) german.add(v);
        english.push(...field('msgid'), ...field('msgid_plural'));
        entry = [];
      };
      for (const line of fs.readFileSync(path.join(sourceDir, 'po', 'de.po'), 'utf8').split('\n')) {
        if (!line.trim()) finish();
        else if (line.startsWith('"')) entry.at(-1)[1] += unquote(line);
        else if (!line.startsWith('#')) {
          const at = line.indexOf(' ');
          entry.push([line.slice(0, at), unquote(line.slice(at + 1))]);
        }
      }
      finish();
      const escape = (s) => s.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
      const englishPatterns = [...new Set(english)]
        .filter((e) => /\p{L}/u.test(e) && !german.has(e))
        .map((e) => {
          const text = e.replace(/\s+/g, ' ').trim();
          const words = text.replace(/\{\d\}/g, ' ').match(/\p{L}+/gu) || [];
          const body = text.split(/\{\d\}/).map(escape).join('.+?');
          // One word is English only as the whole text; more are English
          // wherever they stand.
          return { text, pattern: new RegExp(words.length > 1 ? `(^|\\P{L})${body}($|\\P{L})`
            : `^${body}$`, 'u') };
        });

      // The texts of the page as the browser shows them: the rendered text
      // line by line, the generated text of the style sheet, the options of
      // the lists, the page's title and the texts of attributes.
      const pageTexts = (p) => p.evaluate(() => {
        const shown = (e) => e.getClientRects().length > 0 &&
          getComputedStyle(e).visibility !== 'hidden';
        const out = [{ where: 'text', text: document.body.innerText }];
        out.push({ where: '<title>', text: document.title });
        for (const e of document.querySelectorAll('body *')) {
          for (const name of ['placeholder', 'title', 'aria-label', 'alt']) {
            if (e.hasAttribute(name)) out.push({ where: `${name} of ${e.localName}`, text: e.getAttribute(name) });
          }
          if (!shown(e)) continue;
          for (const part of ['::before', '::after']) {
            const content = getComputedStyle(e, part).content;
            if (/^".*"$/.test(content)) out.push({ where: `${part} of ${e.localName}`, text: JSON.parse(content) });
          }
        }
        for (const o of document.querySelectorAll('select option')) {
          if (shown(o.parentElement)) out.push({ where: 'option', text: o.text });
        }
        return out;
      });
      // What is left of a text in the test language that is not in it:
      // user data, pseudo-text in brackets and accented words taken out.
      const pseudoLetters = /[àƀçđéĝĥîķļñöŕšţûýžÀƁÇĐÉĜĤÎĶĻÑÖŔŠŢÛÝŽ]/u;
      const notPseudo = (text) => {
        let rest = text;
        for (const s of userData) rest = rest.split(s).join(' ');
        for (let before = ''; before !== rest;) {
          before = rest;
          rest = rest.replace(/\[[^[\]]*\]/g, ' ');
        }
        return rest.split(/\n|\t/).map((line) => line.split(/\s+/)
          .filter((w) => /\p{L}/u.test(w) && !pseudoLetters.test(w) &&
            !kept.has(w.replace(/^\P{L}+|\P{L}+$/gu, '').replace(/-\d+$/, '')))
          .join(' ')).filter(Boolean);
      };

      // Layout faults of the page at its present width, each with the text
      // concerned: a box that clips its text (other than user data, which a
      // card may cut short on purpose), text that sticks out of its box, a
      // box beyond the right edge of the screen outside a box that scrolls.
      const layoutFaults = (p, userData) => p.evaluate((userData) => {
        const faults = [];
        const short = (s) => s.replace(/\s+/g, ' ').trim().slice(0, 80);
        const onlyUserData = (s) => {
          let rest = s;
          for (const u of userData) rest = rest.split(u).join('');
          return !/\p{L}/u.test(rest);
        };
        const clips = (style) => /hidden|clip/.test(style.overflowX + style.overflowY);
        const scrolls = (style) => /auto|scroll/.test(style.overflowX);
        // Visually hidden boxes (for screen readers) clip on purpose.
        const away = new Map();
        const hiddenAway = (e) => {
          if (!e) return false;
          if (!away.has(e)) {
            const r = e.getBoundingClientRect();
            away.set(e, (clips(getComputedStyle(e)) && (r.width <= 1 || r.height <= 1)) ||
              hiddenAway(e.parentElement));
          }
          return away.get(e);
        };
        const scrolling = new Map();
        const inScroller = (e) => {
          const a = e.parentElement;
          if (!a || a === document.body) return false;
          if (!scrolling.has(a)) scrolling.set(a, scrolls(getComputedStyle(a)) || inScroller(a));
          return scrolling.get(a);
        };
        const root = document.documentElement;
        if (root.scrollWidth > innerWidth) faults.push(`the page is ${root.scrollWidth} px wide`);
        for (const e of document.querySelectorAll('body *')) {
          if (e.getClientRects().length === 0 || hiddenAway(e)) continue;
          const style = getComputedStyle(e);
          const r = e.getBoundingClientRect();
          const text = short(e.innerText || e.value || '');
          const field = /^(input|select|textarea|option)$/.test(e.localName);
          // A card's channel cell gives way first by design: it holds the
          // recorder's channel names, which may be long, or the input's label.
          if (!field && !e.matches('td.channel') &&
              (clips(style) || style.textOverflow === 'ellipsis') &&
              (e.scrollWidth > e.clientWidth + 1 || e.scrollHeight > e.clientHeight + 1) &&
              !onlyUserData(e.innerText)) {
            faults.push(`${e.localName}.${e.className} cuts off its text ` +
              `(${e.scrollWidth}x${e.scrollHeight} in ${e.clientWidth}x${e.clientHeight}): "${text}"`);
          }
          if (r.right > innerWidth + 1 && !inScroller(e)) {
            faults.push(`${e.localName}.${e.className} ends at ${Math.round(r.right)} px: "${text}"`);
          }
          // Text beyond the box that holds it, where that box shows it.
          if (clips(style) || /inline|contents/.test(style.display)) continue;
          for (const node of e.childNodes) {
            if (node.nodeType !== Node.TEXT_NODE || !node.textContent.trim()) continue;
            const range = document.createRange();
            range.selectNodeContents(node);
            for (const t of range.getClientRects()) {
              if (t.width && (t.left < r.left - 1 || t.right > r.right + 1 ||
                  t.bottom > r.bottom + 1 || t.top < r.top - 1)) {
                faults.push(`text sticks out of ${e.localName}.${e.className} ` +
                  `(${Math.round(t.left)}-${Math.round(t.right)} of ${Math.round(r.left)}-` +
                  `${Math.round(r.right)} px): "${short(node.textContent)}"`);
                break;
              }
            }
          }
        }
        return faults;
      }, userData);

      const found = [];
      const leftInEnglish = new Map();
      for (const tag of ['en-XA', 'de']) {
        const context = await browser.newContext({ locale: tag,
          extraHTTPHeaders: { 'Accept-Language': tag }, viewport: { width: 390, height: 844 } });
        const p = await context.newPage();
        // A release build does not speak the test language: nothing to check.
        const probe = await p.goto(cgi);
        if (probe.headers()['content-language'] !== tag) {
          await context.close();
          continue;
        }
        p.on('response', (r) => {
          if (r.status() >= 400) found.push(`${tag}: ${r.status()} ${r.url()}`);
        });
        p.on('pageerror', (e) => found.push(`${tag}: page error: ${e.message}`));
        const go = (selector) => Promise.all([p.waitForNavigation(), p.click(selector)]);
        const check = async (name) => {
          const lang = await p.evaluate(() => document.documentElement.lang);
          if (lang !== tag) found.push(`${tag} ${name}: <html lang="${lang}">`);
          const texts = await pageTexts(p);
          if (tag === 'en-XA') {
            const english = texts.flatMap(({ where, text }) =>
              notPseudo(text).map((rest) => ({ where, rest })));
            leftInEnglish.set(name, new Set(english.map(({ rest }) => rest)));
            for (const { where, rest } of english) {
              found.push(`${tag} ${name}: not translated (${where}): "${rest}"`);
            }
          } else {
            const before = leftInEnglish.get(name) || new Set();
            for (const { where, text } of texts) {
              for (const line of text.split(/\n|\t/).map((l) => l.replace(/\s+/g, ' ').trim())) {
                const e = englishPatterns.find(({ pattern }) => pattern.test(line));
                const left = [...before].find((rest) => rest === line ||
                  (/\p{L}+\P{L}+\p{L}/u.test(rest) && ` ${line} `.includes(` ${rest} `)));
                if (e || left) {
                  found.push(`${tag} ${name}: English (${where}): "${line}"` +
                    (e ? ` (the catalogue's "${e.text}")` : ''));
                }
              }
            }
          }
          for (const width of [390, 1280]) {
            await p.setViewportSize({ width, height: width === 390 ? 844 : 900 });
            for (const fault of await layoutFaults(p, userData)) {
              found.push(`${tag} ${name} at ${width} px: ${fault}`);
            }
            await p.screenshot({ path: path.join(artifacts, `lang-${tag}-${name}-${width}.png`),
              fullPage: true });
          }
        };

        await p.goto(cgi);
        await check('signin');
        await p.fill('input[name="login"]', 'admin');
        await p.fill('input[name="pass"]', 'neu-2468');
        await go('form:has(input[name="pass"]) [type="submit"]');
        await check('list');
        await p.check('input[name="key"][value="1"]');
        await go('button[name="enable"]');
        await check('notice');
        // A margin beyond the bounds, saved as the default: refused.
        await p.fill('input[name="prepad"]', '999');
        await go('button[name="savedefonly"]');
        await check('error');
        await p.goto(`${cgi}?edit=Edit&key=${longId}`);
        await check('edit');
        await p.goto(`${cgi}?confirmdelete=Delete&key=1&key=2&key=${longId}`);
        await check('confirm');
        await p.goto(`${cgi}?chpass=1`);
        await p.fill('input[name="oldpass"]', 'neu-2468');
        await p.fill('input[name="newpass1"]', 'neu-13579');
        await p.fill('input[name="newpass2"]', 'neu-97531');
        await go('form:has(input[name="newpass2"]) [type="submit"]');
        await check('password');
        await p.goto(`${cgi}?tokens`);
        await p.fill('input[name="tokenname"]', tokenName);
        await go('button[name="newtoken"]');
        await check('tokens');
        await context.close();
      }
      assert.equal(found.length, 0, `${found.length} faults:\n${found.join('\n')}`);
    });

  assert.deepEqual(problems, []);
});
