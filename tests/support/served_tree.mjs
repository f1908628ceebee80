// The project's install tree served on 127.0.0.1 for the tests that drive
// the installed program over HTTP (tests/browser/e2e.mjs, tests/api/
// contract.mjs), with a fresh demo recorder in the build's RECORDER_ETC_DIR.
//
// Environment (set by tests/browser.cmake):
//   SKEDRA_SOURCE_DIR  the source tree (demo data, firmware schema)
//   SKEDRA_BUILD_DIR   the build to install
//   SKEDRA_ETC_DIR     the build's RECORDER_ETC_DIR
//   SKEDRA_ARTIFACTS   where the server's log goes
//   CMAKE_COMMAND, SKEDRA_BUSYBOX  the tools
//   SKEDRA_HTTPD       "busybox" (the default) or "lighttpd" (mod_cgi, the
//                      binary SKEDRA_LIGHTTPD) serves the tree
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';

export function requireEnv(name) {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set`);
  return value;
}

export const httpd = process.env.SKEDRA_HTTPD || 'busybox';

// The firmware's timer database and the account database under etcDir.
export const recorderFiles = (etcDir) => ({
  timerDb: path.join(etcDir, 'dvdplayer', 'schedule_record.db'),
  authDb: path.join(etcDir, 'quibauth.db'),
});

// A fresh demo recorder in etcDir: the demo timers, the demo channel list and
// no account database (the program makes it with its initial account).
export function makeRecorder(sourceDir, etcDir) {
  const { timerDb } = recorderFiles(etcDir);
  fs.rmSync(etcDir, { recursive: true, force: true });
  fs.mkdirSync(path.dirname(timerDb), { recursive: true });
  for (const sql of ['tests/firmware_schema.sql', 'scripts/demo-timers.sql']) {
    execFileSync('sqlite3', [timerDb], { input: fs.readFileSync(path.join(sourceDir, sql)) });
  }
  fs.copyFileSync(path.join(sourceDir, 'scripts', 'demo-channels.info'),
    path.join(etcDir, 'dtv_channels.info'));
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.unref();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

async function waitForServer(url, server) {
  const deadline = Date.now() + 15000;
  while (Date.now() < deadline) {
    if (server.exitCode !== null) throw new Error(`${httpd} exited with ${server.exitCode}`);
    try {
      await fetch(url);
      return;
    } catch {
      await new Promise((r) => setTimeout(r, 100));
    }
  }
  throw new Error(`no answer from ${url}`);
}

// Installs buildDir into work/install, makes a fresh demo recorder and serves
// the tree until the test t ends. Returns the server's address and the
// install prefix.
export async function serveInstalledTree(t, { sourceDir, buildDir, etcDir, artifacts, work }) {
  const prefix = path.join(work, 'install');
  execFileSync(process.env.CMAKE_COMMAND || 'cmake', ['--install', buildDir, '--prefix', prefix],
    { stdio: 'inherit' });
  for (const file of ['www/cgi-bin/skedra.cgi', 'www/cgi-bin/skedra.shtml',
    'www/cgi-bin/login.shtml', 'www/skedra.css', 'lib/liblineup.so']) {
    assert.ok(fs.existsSync(path.join(prefix, file)), `install tree lacks ${file}`);
  }
  makeRecorder(sourceDir, etcDir);
  const { authDb } = recorderFiles(etcDir);

  const port = await freePort();
  const base = `http://127.0.0.1:${port}`;
  fs.mkdirSync(artifacts, { recursive: true });
  const serverLog = fs.openSync(path.join(artifacts, `${httpd}.log`), 'w');
  let server;
  if (httpd === 'lighttpd') {
    // lighttpd hands a program none of its own environment: the account
    // database's path (and the zone, when the test has one) are set for it.
    const setenv = [['quibauth', authDb], ...(process.env.TZ ? [['TZ', process.env.TZ]] : [])]
      .map(([k, v]) => `"${k}" => "${v}"`).join(', ');
    const conf = path.join(work, 'lighttpd.conf');
    fs.writeFileSync(conf, [
      'server.modules = ("mod_cgi", "mod_setenv")',
      `server.document-root = "${path.join(prefix, 'www')}"`,
      'server.bind = "127.0.0.1"',
      `server.port = ${port}`,
      `server.errorlog = "${path.join(artifacts, 'lighttpd-error.log')}"`,
      // One request a connection: the test's own requests may come after
      // the server's idle limit on a kept connection.
      'server.max-keep-alive-requests = 0',
      'cgi.assign = (".cgi" => "")',
      `setenv.add-environment = (${setenv})`,
      'mimetype.assign = (".css" => "text/css", ".svg" => "image/svg+xml", ' +
        '".html" => "text/html")',
      '',
    ].join('\n'));
    server = spawn(process.env.SKEDRA_LIGHTTPD || 'lighttpd', ['-D', '-f', conf],
      { stdio: ['ignore', serverLog, serverLog] });
  } else {
    server = spawn(process.env.SKEDRA_BUSYBOX || 'busybox', ['httpd', '-f', '-v',
      '-p', `127.0.0.1:${port}`, '-h', path.join(prefix, 'www')], {
      env: { ...process.env, quibauth: authDb },
      stdio: ['ignore', serverLog, serverLog],
    });
  }
  t.after(() => server.kill('SIGTERM'));
  await waitForServer(base + '/skedra.css', server);
  return { base, prefix };
}
