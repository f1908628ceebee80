// Contract test of the JSON interface: the installed program served on
// 127.0.0.1 (tests/support/served_tree.mjs) answers every request of one
// table, and every answer (status, content type, documented headers, body)
// must be what views/json/openapi.json says, problem types included. After
// each request the timer database must hold what the row expects; a refused
// request must leave it as it was and a read must leave both databases so.
//
// The table runs twice: the full way (PUT, DELETE, If-Match, the token as a
// bearer token) and the way of a web server that passes only GET and POST
// (the POST aliases, the token in the skedraapikey cookie, the version in the
// body). Tokens are made as a browser makes them, on the settings page.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import test from 'node:test';
import { Validator } from '@seriousme/openapi-schema-validator';
import Ajv2020 from 'ajv/dist/2020.js';
import addFormats from 'ajv-formats';
import { recorderFiles, requireEnv, serveInstalledTree } from '../support/served_tree.mjs';

const sourceDir = requireEnv('SKEDRA_SOURCE_DIR');
const etcDir = requireEnv('SKEDRA_ETC_DIR');
const buildDir = requireEnv('SKEDRA_BUILD_DIR');
const artifacts = process.env.SKEDRA_ARTIFACTS || path.join(buildDir, 'browser-artifacts');
const docPath = path.join(sourceDir, 'views', 'json', 'openapi.json');
const doc = JSON.parse(fs.readFileSync(docPath, 'utf8'));
const { timerDb, authDb } = recorderFiles(etcDir);
const NEW_PASSWORD = 'vertrag-2468';
const OTHER_SITE = 'http://other.example';

// ------------------------------------------------------------ the document --

const ajv = new Ajv2020({ strict: false, allErrors: true, validateSchema: false });
addFormats(ajv);
ajv.addSchema({ components: doc.components }, 'api');
const compiled = new Map();
// Checks value against a schema of the document (its references resolved in
// the document's components).
function conforms(schema, value, what) {
  const text = JSON.stringify(schema).replaceAll('"#/components/', '"api#/components/');
  if (!compiled.has(text)) compiled.set(text, ajv.compile(JSON.parse(text)));
  const validate = compiled.get(text);
  assert.ok(validate(value), `${what}: ${ajv.errorsText(validate.errors)}\n${JSON.stringify(value)}`);
}

const resolve = (node) => (node && node.$ref
  ? node.$ref.slice(2).split('/').reduce((n, key) => n[key.replaceAll('~1', '/')], doc) : node);

// The operation of the document that a request names; none when its path has
// no such method (a concrete path before a templated one).
function operation(method, url) {
  const concrete = url.split('?')[0];
  const template = Object.keys(doc.paths)
    .filter((p) => new RegExp(`^${p.replace(/\{[^}]+\}/g, '[0-9]+')}$`).test(concrete))
    .sort((a, b) => a.includes('{') - b.includes('{'))[0];
  assert.ok(template, `${concrete} is not in the document`);
  return resolve(doc.paths[template])[method.toLowerCase()];
}

// Holds an answer against the document: the status is one of the operation's
// (or 405 for a method the path does not have), with a content type and the
// headers the document gives it, and a body of its schema.
function checkAnswer(method, url, answer) {
  const op = operation(method, url);
  const spec = resolve(op ? op.responses[answer.status] : doc.components.responses['405']);
  assert.ok(spec, `${method} ${url}: status ${answer.status} is not documented`);
  const type = (answer.headers['content-type'] || '').split(';')[0].trim();
  assert.ok(spec.content[type], `${method} ${url}: ${answer.status} as ${type}`);
  for (const [name, header] of Object.entries(spec.headers || {})) {
    const value = answer.headers[name.toLowerCase()];
    assert.ok(value !== undefined, `${method} ${url}: ${answer.status} without ${name}`);
    const { schema } = resolve(header);
    conforms(schema, schema.type === 'integer' ? Number(value) : value, `${name} header`);
  }
  conforms(spec.content[type].schema, answer.body, `${method} ${url} ${answer.status}`);
  if (type === 'application/problem+json') assert.equal(answer.body.status, answer.status);
}

// ---------------------------------------------------------------- requests --

const sqliteJson = (db, sql) => {
  const out = execFileSync('sqlite3', ['-json', db, sql], { encoding: 'utf8' });
  return out.trim() ? JSON.parse(out) : [];
};
const dump = (db) => execFileSync('sqlite3', [db, '.dump'], { encoding: 'utf8' });
const timerRow = (id) => sqliteJson(timerDb, `select * from timer_record_table where ID = ${Number(id)}`)[0];
const timerCount = () => sqliteJson(timerDb, 'select count(*) as n from timer_record_table')[0].n;

// One HTTP request. The program ends its header lines with a newline alone,
// as browsers accept and busybox httpd hands on: node's lenient parser reads
// them. Header names of the answer are lowercase.
function send(url, { method = 'GET', headers = {}, body } = {}) {
  return new Promise((resolve, reject) => {
    const request = http.request(url, { method, headers, insecureHTTPParser: true }, (answer) => {
      const chunks = [];
      answer.on('data', (chunk) => chunks.push(chunk));
      answer.on('end', () => resolve({ status: answer.statusCode, headers: answer.headers,
        text: Buffer.concat(chunks).toString('utf8') }));
    });
    request.on('error', reject);
    request.end(body);
  });
}

// A browser on the pages: keeps the session cookie, sends a page's forms with
// their hidden fields.
function browser(cgi) {
  let cookie = '';
  const session = () => cookie;
  async function page(query = '', fields = undefined) {
    const answer = await send(cgi + (query ? `?${query}` : ''), {
      method: fields ? 'POST' : 'GET',
      headers: { Origin: new URL(cgi).origin, ...(cookie ? { Cookie: `quibsession=${cookie}` } : {}),
        ...(fields ? { 'Content-Type': 'application/x-www-form-urlencoded' } : {}) },
      body: fields ? new URLSearchParams(fields).toString() : undefined,
    });
    for (const line of answer.headers['set-cookie'] || []) {
      const found = /^quibsession=([^;]*)/.exec(line);
      if (found && found[1] && found[1] !== '0') cookie = found[1];
    }
    assert.equal(answer.status, 200, `page ${query}`);
    return answer.text;
  }
  // The named inputs of the page's form that holds field.
  function formOf(html, field) {
    const form = (html.match(/<form[\s\S]*?<\/form>/g) || []).find((f) => f.includes(`name="${field}"`));
    assert.ok(form, `no form with ${field}:\n${html.slice(0, 2000)}`);
    const fields = {};
    for (const [input] of form.matchAll(/<input\b[^>]*>/g)) {
      const name = /name="([^"]*)"/.exec(input);
      const value = /value="([^"]*)"/.exec(input);
      if (name && value && !/type="(checkbox|radio)"/.test(input)) {
        fields[name[1]] = value[1].replaceAll('&quot;', '"').replaceAll('&amp;', '&');
      }
    }
    return fields;
  }
  return { page, formOf, session };
}

// Signs in with the initial password, sets a new one as the first sign-in
// asks, and makes a read token, a write token and the feed token on the
// settings page.
async function credentials(cgi) {
  const { page, formOf, session } = browser(cgi);
  let html = await page();
  html = await page('', { ...formOf(html, 'pass'), login: 'admin', pass: '482' });
  html = await page('', { ...formOf(html, 'newpass2'), newpass1: NEW_PASSWORD, newpass2: NEW_PASSWORD });
  assert.match(html, /class="timers"/, 'the list after the first sign-in');
  const made = {};
  for (const scope of ['read', 'write']) {
    html = await page('tokens');
    html = await page('', { ...formOf(html, 'tokenname'), newtoken: '1',
      tokenname: `contract ${scope}`, tokenscope: scope });
    const shown = [...html.matchAll(/<input\b[^>]*\breadonly\b[^>]*>/g)]
      .map(([input]) => (/value="([^"]*)"/.exec(input) || [])[1])
      .filter((value) => /^[A-Za-z0-9_-]{16,}$/.test(value || ''));
    assert.equal(shown.length, 1, `the new ${scope} token shown:\n${html}`);
    assert.ok(!(await page('tokens')).includes(shown[0]), 'a token is shown once only');
    made[scope] = shown[0];
  }
  html = await page('tokens');
  html = await page('', { ...formOf(html, 'rotatefeed'), rotatefeed: '1' });
  made.feed = (/recordings\.ics\?feed=([A-Za-z0-9_-]+)/.exec(html) || [])[1];
  assert.ok(made.feed, `the feed address:\n${html}`);
  return { readToken: made.read, writeToken: made.write, feed: made.feed, session: session() };
}

// ------------------------------------------------------------------- table --

const timer = { title: 'Contract news', channel: 1, start: '2031-03-14T19:15:00Z', length_minutes: 90 };
const enabled = (id) => timerRow(id).enable === 0;
const BIG = JSON.stringify({ title: 'x'.repeat(70000) });

// [method, path, headers (as: the credential), body, expected status and
// problem name, check of the answer's body and the database]. Paths and
// headers may be functions of the context c, which checks fill.
const table = [
  ['GET', '/openapi.json', { as: 'none' }, undefined, 200, (c, b) => assert.deepEqual(b, doc)],
  ['GET', '/timers', { as: 'read' }, undefined, 200, (c, b) => assert.equal(b.items.length, timerCount())],
  ['GET', '/timers', { as: 'key' }, undefined, 200],
  ['GET', '/timers', { as: 'session' }, undefined, 200],
  ['GET', '/timers', { as: 'none' }, undefined, '401 unauthorized'],
  ['GET', '/timers', { as: 'wrong' }, undefined, '401 unauthorized'],
  ['POST', '/timers', {}, timer, 201, (c, b, h) => {
    c.id = b.timer.id;
    assert.equal(h.location.replace(/.*\/api\/v1/, ''), `/timers/${c.id}`);
    assert.equal(timerRow(c.id).user_string, timer.title);
    assert.equal(timerRow(c.id).channel, 1);
  }],
  ['POST', '/timers', { 'Content-Type': 'application/json; charset=utf-8' },
    { ...timer, title: 'Contract extra', margin_before_minutes: 2 }, 201, (c, b) => {
      assert.equal(timerRow(b.timer.id).user_string, 'Contract extra');
      c.extra = b.timer.id;
    }],
  ['POST', '/timers', { as: 'read' }, timer, '403 forbidden'],
  ['POST', '/timers', { as: 'none' }, timer, '401 unauthorized'],
  ['POST', '/timers', {}, { ...timer, colour: 'red' }, '400 unknown-field', (c, b) => assert.equal(b.field, 'colour')],
  ['POST', '/timers', {}, { ...timer, version: '0000000000000000' }, '400 unknown-field'],
  ['POST', '/timers', {}, { ...timer, title: undefined }, '400 bad-value', (c, b) => assert.equal(b.field, 'title')],
  ['POST', '/timers', {}, { ...timer, channel: 'one' }, '400 bad-value', (c, b) => assert.equal(b.field, 'channel')],
  ['POST', '/timers', {}, '{"title": "Contract",', '400 bad-json', (c, b) => assert.equal(b.line, 1)],
  ['POST', '/timers', { 'Content-Type': 'text/plain' }, JSON.stringify(timer), '415 unsupported-media-type'],
  ['POST', '/timers', {}, BIG, '413 payload-too-large'],
  // The pages' session: reads, and writes only from the same site with JSON.
  ['POST', '/timers', { as: 'session' }, { ...timer, title: 'Contract session' }, 201,
    (c, b) => assert.equal(timerRow(b.timer.id).user_string, 'Contract session')],
  ['POST', '/timers', { as: 'session', 'Content-Type': 'application/x-www-form-urlencoded' },
    'title=Contract', '415 unsupported-media-type'],
  ['POST', '/timers', { as: 'session', 'Content-Type': 'text/plain' }, JSON.stringify(timer),
    '415 unsupported-media-type'],
  ['POST', '/timers', { as: 'cross' }, timer, '403 forbidden'],
  ['GET', '/timers', { as: 'cross' }, undefined, 200],
  // Lost update: two clients read the same version; the second one's write
  // is refused and the first one's stays.
  ['GET', (c) => `/timers/${c.id}`, { as: 'read' }, undefined, 200, (c, b, h) => {
    assert.equal(h.etag, `"${b.version}"`);
    c.seen = b.version;
  }],
  ['PUT', (c) => `/timers/${c.id}`, (c) => ({ 'If-Match': `"${c.seen}"` }), { title: 'first client' }, 200,
    (c, b) => {
      assert.equal(timerRow(c.id).user_string, 'first client');
      c.first = b.timer.version;
    }],
  ['PUT', (c) => `/timers/${c.id}`, (c) => ({ 'If-Match': `"${c.seen}"` }), { title: 'second client' },
    '412 version-mismatch', (c) => assert.equal(timerRow(c.id).user_string, 'first client')],
  ['PUT', (c) => `/timers/${c.id}`, {}, { title: 'no version' }, '428 version-required'],
  ['PUT', (c) => `/timers/${c.id}`, (c) => ({ 'If-Match': `"${c.first}"` }), { length_minutes: 5000 },
    '400 bad-value', (c, b) => assert.equal(b.field, 'length_minutes')],
  ['GET', (c) => `/timers/${c.id}`, { as: 'read' }, undefined, 200, (c, b) => { c.seen = b.version; }],
  ['PUT', (c) => `/timers/${c.id}`, (c) => ({ 'If-Match': `"${c.seen}"` }),
    { title: 'read back', channel: 2, enabled: false }, 200, (c, b) => {
      assert.equal(b.timer.title, 'read back');
      assert.deepEqual([timerRow(c.id).channel, enabled(c.id)], [2, false]);
      c.back = b.timer;
    }],
  // What a client read goes back unchanged (its read-only fields ignored).
  ['PUT', (c) => `/timers/${c.id}`, (c) => ({ 'If-Match': `"${c.back.version}"` }), (c) => c.back, 200,
    (c, b) => assert.equal(b.timer.title, 'read back')],
  ['GET', '/timers/999999', { as: 'read' }, undefined, '404 not-found'],
  ['PUT', '/timers/999999', { 'If-Match': '"0000000000000000"' }, { title: 'x' }, '404 not-found'],
  ['POST', (c) => `/timers/${c.id}/enable`, {}, undefined, 200, (c) => assert.ok(enabled(c.id))],
  ['POST', (c) => `/timers/${c.id}/disable`, {}, {}, 200, (c, b) => {
    assert.deepEqual(b.items.map((t) => t.id), [c.id]);
    assert.ok(!enabled(c.id));
  }],
  ['POST', (c) => `/timers/${c.id}/clone`, {}, undefined, 201, (c, b) => {
    c.clone = b.items[0].id;
    assert.equal(timerRow(c.clone).user_string, 'read back');
  }],
  ['POST', '/timers/enable', {}, (c) => ({ ids: [c.id, c.clone] }), 200,
    (c) => assert.ok(enabled(c.id) && enabled(c.clone))],
  ['POST', '/timers/disable', {}, (c) => ({ ids: [c.id, 999999] }), '404 not-found',
    (c, b) => assert.deepEqual(b.ids, [999999])],
  ['POST', '/timers/clone', {}, (c) => ({ ids: [c.extra] }), 201, (c, b) => { c.copy = b.items[0].id; }],
  ['POST', '/timers/delete', {}, (c) => ({ ids: [c.copy, 999999] }), '404 not-found'],
  ['POST', '/timers/delete', {}, (c) => ({ ids: [c.copy, c.extra] }), 200, (c, b) => {
    assert.deepEqual(b.deleted.sort(), [c.copy, c.extra].sort());
    assert.equal(timerRow(c.copy) || timerRow(c.extra), undefined);
  }],
  ['DELETE', (c) => `/timers/${c.clone}`, {}, undefined, 200, (c) => assert.equal(timerRow(c.clone), undefined)],
  ['DELETE', (c) => `/timers/${c.clone}`, {}, undefined, '404 not-found'],
  ['GET', '/timers/enable', { as: 'read' }, undefined, '405 method-not-allowed'],
  ['GET', '/channels', { as: 'read' }, undefined, 200,
    (c, b) => assert.deepEqual(b.items[0], { channel: 0, name: 'AV' })],
  ['GET', '/overlaps', { as: 'read' }, undefined, 200],
  ['PUT', '/defaults', {}, { margin_before_minutes: 3, margin_after_minutes: 7 }, 200,
    (c, b) => assert.deepEqual(b, { margin_before_minutes: 3, margin_after_minutes: 7 })],
  ['PUT', '/defaults', { as: 'read' }, { margin_before_minutes: 1, margin_after_minutes: 1 }, '403 forbidden'],
  ['GET', '/defaults', { as: 'read' }, undefined, 200,
    (c, b) => assert.deepEqual(b, { margin_before_minutes: 3, margin_after_minutes: 7 })],
  ['GET', (c) => `/recordings.ics?feed=${c.feed}`, { as: 'none' }, undefined, 200,
    (c, b) => assert.match(b, /^BEGIN:VCALENDAR\r\n/)],
  ['GET', '/recordings.ics', { as: 'none' }, undefined, '401 unauthorized'],
  ['GET', (c) => `/recordings.ics?feed=${c.writeToken}`, { as: 'none' }, undefined, '401 unauthorized'],
];

// The headers of a request: its credential sent as the way does, the
// content type of a JSON body unless the row gives one.
function requestHeaders(c, way, { as = 'write', ...headers }, method) {
  const token = { read: c.readToken, write: c.writeToken, key: c.readToken, wrong: 'skd_0123456789abcdef' }[as];
  const site = new URL(c.api).origin;
  if (as === 'key') headers['X-Api-Key'] = token;
  else if (token) headers[way === 'full' ? 'Authorization' : 'Cookie'] =
    way === 'full' ? `Bearer ${token}` : `skedraapikey=${token}`;
  if (as === 'session' || as === 'cross') {
    Object.assign(headers, { Cookie: `quibsession=${c.session}`, Origin: as === 'cross' ? OTHER_SITE : site });
  }
  if (method !== 'GET') headers['Content-Type'] ??= 'application/json';
  return headers;
}

// A row as the way sends it: without PUT and DELETE, their POST aliases and
// the If-Match version in the body.
function rewrite(way, method, url, headers, body) {
  if (way === 'full') return [method, url, headers, body];
  if (method === 'DELETE') return ['POST', `${url}/delete`, headers, body];
  if (method !== 'PUT') return [method, url, headers, body];
  const { 'If-Match': match, ...rest } = headers;
  return ['POST', url, rest, match ? { ...body, version: JSON.parse(match) } : body];
}

async function runRow(c, way, [method0, path0, headers0, body0, expect, check]) {
  const at = (v) => (typeof v === 'function' ? v(c) : v);
  const [method, url, headers, body] = rewrite(way, method0, at(path0),
    requestHeaders(c, way, { ...at(headers0) }, method0), at(body0));
  const [status, problem] = String(expect).split(' ');
  const what = `${way}: ${method} ${url} -> ${expect}`;
  const viaToken = !['session', 'cross'].includes(at(headers0).as);
  const kept = Number(status) >= 400 ? [timerDb] : method === 'GET' && viaToken ? [timerDb, authDb] : [];
  const before = kept.map(dump);
  if (Number(status) < 300 && body && typeof body === 'object') {
    conforms(resolve(operation(method, url).requestBody).content['application/json'].schema, body, `${what} request`);
  }
  const answer = await send(c.api + url, { method, headers,
    body: body === undefined || typeof body === 'string' ? body : JSON.stringify(body) });
  const { text } = answer;
  const isJson = /json/.test(answer.headers['content-type'] || '');
  const parsed = { status: answer.status, headers: answer.headers, body: isJson ? JSON.parse(text) : text };
  assert.equal(answer.status, Number(status), `${what}: ${text.slice(0, 400)}`);
  checkAnswer(method, url, parsed);
  if (problem) assert.equal(parsed.body.type, `urn:skedra:problem:${problem}`, what);
  assert.deepEqual(kept.map(dump), before, `${what}: the databases changed`);
  if (check) check(c, parsed.body, answer.headers);
}

test('the JSON interface keeps its OpenAPI document', { timeout: 300000 }, async (t) => {
  const result = await new Validator().validate(docPath);
  assert.deepEqual(result, { valid: true }, 'the document is valid OpenAPI 3.1');
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'skedra-api-'));
  const { base } = await serveInstalledTree(t, { sourceDir, buildDir, etcDir, artifacts, work });
  const cgi = `${base}/cgi-bin/skedra.cgi`;
  const c = { api: `${cgi}/api/v1`, ...(await credentials(cgi)) };
  for (const way of ['full', 'get and post only']) {
    await t.test(way, async (tw) => {
      for (const row of table) {
        // The second way repeats only the rows that it sends differently
        // (and so sends fewer wrong tokens than would lock the address out).
        const [method, , { as = 'write' }] = row;
        if (way !== 'full' && !['read', 'write', 'wrong'].includes(as) && !['PUT', 'DELETE'].includes(method)) {
          continue;
        }
        const url = typeof row[1] === 'function' ? row[1](c) : row[1];
        await tw.test(`${method} ${url} as ${as} -> ${row[4]}`,
          () => runRow(c, way, row));
      }
    });
  }
  // Wrong tokens from one address are refused unchecked after a few.
  await t.test('wrong tokens lock the address out', async () => {
    let status = 401;
    for (let i = 0; i < 12 && status === 401; i++) {
      const answer = await send(`${c.api}/timers`, { headers: { Authorization: 'Bearer skd_wrong' } });
      status = answer.status;
      checkAnswer('GET', '/timers', { status, headers: answer.headers, body: JSON.parse(answer.text) });
    }
    assert.equal(status, 429);
  });
});
