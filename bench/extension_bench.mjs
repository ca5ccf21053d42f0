#!/usr/bin/env node
// Times the Quorvelle extension in headless Chromium with the real native
// host and prints each time with its target and their ratio (<= 1 meets it):
//  A. native round trip over the one open port (median of 100 "hello");
//  B. toolbar button pressed to the popup offering a page's two feeds
//     (median of 5);
//  C. "View Feeds..." to every headline shown: 40 feeds in General on 10
//     loopback hosts (127.0.0.1-10), each answered after 300 ms (median of 3);
//  D. the same 40 with 2 feeds that never answer (a category page): the 38
//     others shown, and a request of the popup answered while that page
//     still loads (median of 3);
//  E. 200 and 1,000 feeds in one category on 50 loopback hosts x 300 ms, no
//     report on disk: first headline, all headlines, and the native host's
//     peak memory (VmHWM) afterwards;
//  F. (--large) the native host alone on a pipe: a category of 100 feeds of
//     30 MiB each (the download cap is 32 MiB) on one loopback host, its
//     report streamed: peak memory of the host (target 300 MiB).
//   node bench/extension_bench.mjs [--build build] [--skip-scale] [--large]
// Needs "npm ci" in tests/extension (puppeteer-core) and chromium.
import { spawn } from 'node:child_process';
import { readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import http from 'node:http';
import { join } from 'node:path';
import { loadPuppeteer, options, prepare, rss, serve, start } from '../tests/extension/harness.mjs';

const opts = options([...process.argv, '--source', join(import.meta.dirname || new URL('.', import.meta.url).pathname, '..')]);
const skipScale = process.argv.includes('--skip-scale');
const large = process.argv.includes('--large');
const puppeteer = await loadPuppeteer();
if (!puppeteer) {
  console.error('extension_bench: run "npm ci" in tests/extension first');
  process.exit(1);
}
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const report = (what, value, target, unit = 'ms') =>
  console.log(`${what.padEnd(72)} ${value.toFixed(1).padStart(8)} ${unit} (target ${target} ${unit}, ratio ${(value / target).toFixed(2)})`);

// Slow feed hosts 127.0.0.1-50: /feed/<n>.xml after 300 ms, /quiet/<n>.xml never.
const hosts = [];
for (let i = 1; i <= 50; i++) {
  const server = http.createServer((request, response) => {
    if (request.url.startsWith('/quiet/')) return;
    setTimeout(() => {
      response.writeHead(200, { 'Content-Type': 'application/rss+xml' });
      response.end(rss(`Feed ${request.url}`, [`Headline of ${request.url}`]));
    }, 300);
  });
  server.keepAliveTimeout = 30000;
  await new Promise((resolve) => server.listen(0, `127.0.0.${i}`, resolve));
  hosts.push(server);
}
const feedUrl = (n, hostCount, path = 'feed') => {
  const { address, port } = hosts[n % hostCount].address();
  return `http://${address}:${port}/${path}/${n}.xml`;
};
const page = await serve({
  '/page.html': { type: 'text/html', body: '<link rel="alternate" type="application/rss+xml" title="A" href="/a.xml">' +
    '<link rel="alternate" type="application/atom+xml" title="B" href="/b.xml">' }
});

// The native host's peak memory in MiB (the one the browser started for us).
function hostPeakMiB(hostPath) {
  for (const pid of readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      if (!readFileSync(`/proc/${pid}/cmdline`, 'utf8').startsWith(hostPath)) continue;
      const hwm = /VmHWM:\s+(\d+) kB/.exec(readFileSync(`/proc/${pid}/status`, 'utf8'));
      if (hwm) return Number(hwm[1]) / 1024;
    } catch (e) {
      // gone meanwhile
    }
  }
  return NaN;
}

// F: the host on a pipe, as the browser starts it.
async function largeFeeds() {
  const user = prepare(opts);
  const item = `<item><title>Big item</title><link>http://example.org/big</link><description>${'d'.repeat(64 * 1024)}</description></item>`;
  const body = Buffer.from('<?xml version="1.0"?><rss version="2.0"><channel><title>Big</title>' +
    item.repeat(Math.floor((30 * 1024 * 1024) / item.length)) + '</channel></rss>');
  const server = await serve({});
  server.server.removeAllListeners('request');
  server.server.on('request', (request, response) => {
    response.writeHead(200, { 'Content-Type': 'application/rss+xml', 'Content-Length': body.length });
    response.end(body);
  });
  const host = spawn(user.hostPath, [], { env: user.env, stdio: ['pipe', 'pipe', 'inherit'] });
  let buffer = Buffer.alloc(0);
  const waiting = [];
  const queue = [];
  host.stdout.on('data', (chunk) => {
    buffer = Buffer.concat([buffer, chunk]);
    while (buffer.length >= 4 && buffer.length >= 4 + buffer.readUInt32LE(0)) {
      const length = buffer.readUInt32LE(0);
      const message = JSON.parse(buffer.subarray(4, 4 + length).toString('utf8'));
      buffer = buffer.subarray(4 + length);
      if (waiting.length) waiting.shift()(message);
      else queue.push(message);
    }
  });
  const next = () => (queue.length ? Promise.resolve(queue.shift()) : new Promise((resolve) => waiting.push(resolve)));
  let id = 0;
  const send = (command, args) => {
    const text = Buffer.from(JSON.stringify({ v: 2, id: ++id, command, args }));
    const length = Buffer.alloc(4);
    length.writeUInt32LE(text.length);
    host.stdin.write(Buffer.concat([length, text]));
    return next();
  };
  for (let n = 0; n < 100; n++) {
    const answer = await send('add', { url: server.url(`/big/${n}.xml`), title: `Big ${n}`, dialog: false, category: 'Big' });
    if (!answer.ok) throw new Error(JSON.stringify(answer));
  }
  const t = Date.now();
  const text = Buffer.from(JSON.stringify({ v: 2, id: ++id, command: 'report', args: { page: 'Big/index.html' } }));
  const length = Buffer.alloc(4);
  length.writeUInt32LE(text.length);
  host.stdin.write(Buffer.concat([length, text]));
  let loaded = 0;
  for (;;) {
    const message = await next();
    if (message.part === 'box' && message.result.state === 'q-loaded') loaded++;
    if (message.part === 'end' || !message.ok) break;
  }
  const status = readFileSync(`/proc/${host.pid}/status`, 'utf8');
  const peak = Number(/VmHWM:\s+(\d+) kB/.exec(status)[1]) / 1024;
  console.log(`F. 100 feeds x 30 MiB: ${loaded} shown in ${Date.now() - t} ms`);
  report('F. 100 feeds x 30 MiB: native host peak memory', peak, 300, 'MiB');
  host.stdin.end();
  await new Promise((resolve) => host.on('exit', resolve));
  await server.close();
  user.remove();
}
if (large) {
  await largeFeeds();
  for (const server of hosts) server.close();
  await page.close();
  process.exit(0);
}

const run = await start(puppeteer, opts);
const ask = (command, args) => run.worker.evaluate((c, a) => self.quorvelle.ask(c, a), command, args);
const add = async (url, category) => {
  const answer = await ask('add', { url, title: url, dialog: false, category });
  if (!answer.ok) throw new Error(JSON.stringify(answer));
};
// Opens a report page in tab and resolves with the times at which the
// first and the wanted number of feeds were shown (ms after the start).
async function view(tab, pageArg, wanted, before) {
  const t = Date.now();
  if (before) await before();
  await tab.goto(`chrome-extension://${run.id}/report.html${pageArg ? `?page=${encodeURIComponent(pageArg)}` : ''}`);
  await tab.waitForFunction(() => document.querySelector('.q-feed-slot.q-loaded .q-item'), { timeout: 60000, polling: 10 });
  const first = Date.now() - t;
  await tab.waitForFunction((n) => document.querySelectorAll('.q-feed-slot.q-loaded .q-item').length >= n,
    { timeout: 120000, polling: 10 }, wanted);
  return { first, all: Date.now() - t };
}

try {
  const trips = await run.worker.evaluate(async () => {
    const times = [];
    for (let i = 0; i < 100; i++) {
      const t = performance.now();
      await self.quorvelle.ask('hello');
      times.push(performance.now() - t);
    }
    return times;
  });
  report('A. native round trip (median of 100)', median(trips), 5);

  const tab = await run.browser.newPage();
  await tab.goto(page.url('/page.html'));
  const popups = [];
  for (let i = 0; i < 5; i++) {
    const t = Date.now();
    const popup = await run.popup(tab);
    await popup.waitForFunction(() => document.body.dataset.offers === '2', { timeout: 20000 });
    popups.push(Date.now() - t);
    await popup.close();
  }
  report('B. popup opened to both feeds offered (median of 5)', median(popups), 500);

  for (let n = 0; n < 40; n++) await add(feedUrl(n, 10), '');
  const views = [];
  for (let i = 0; i < 3; i++) {
    await tab.goto(page.url('/page.html'));
    const popup = await run.popup(tab);
    const t = Date.now();
    await popup.click('#view');
    await tab.waitForFunction(() => document.querySelectorAll('.q-feed-slot.q-loaded .q-item').length >= 40,
      { timeout: 60000, polling: 10 });
    views.push(Date.now() - t);
  }
  report('C. "View Feeds..." to all 40 feeds x 300 ms shown (median of 3)', median(views), 1000);

  for (let n = 0; n < 40; n++) await add(feedUrl(100 + n, 10, n < 2 ? 'quiet' : 'feed'), 'Quiet');
  const others = [];
  const answers = [];
  for (let i = 0; i < 3; i++) {
    await tab.goto(page.url('/page.html'));
    const t = Date.now();
    await tab.goto(`chrome-extension://${run.id}/report.html?page=${encodeURIComponent('Quiet/index.html')}`);
    await tab.waitForFunction(() => document.querySelector('.q-feed-slot'), { timeout: 60000, polling: 10 });
    // The popup's own request while the page waits for its silent feeds.
    const popup = await run.browser.newPage();
    await popup.goto(`chrome-extension://${run.id}/popup.html`);
    answers.push(await popup.evaluate(async () => {
      const s = performance.now();
      const answer = await chrome.runtime.sendMessage({ type: 'host', command: 'list', args: {} });
      if (!answer.ok) throw new Error(JSON.stringify(answer));
      return performance.now() - s;
    }));
    await popup.close();
    await tab.waitForFunction(() => document.querySelectorAll('.q-feed-slot.q-loaded .q-item').length >= 38,
      { timeout: 60000, polling: 10 });
    others.push(Date.now() - t);
    if (await tab.evaluate(() => document.body.dataset.ready === 'true')) throw new Error('the silent feeds arrived');
  }
  report('D. 40 feeds, 2 silent: the 38 others shown (median of 3)', median(others), 1000);
  report('D. a popup request answered while that page loads (median of 3)', median(answers), 100);

  if (!skipScale) {
    for (const count of [200, 1000]) {
      const category = `Scale${count}`;
      await add(feedUrl(10000 * count, 50), category);
      const opml = join(run.root, `scale${count}.opml`);
      writeFileSync(opml, '<?xml version="1.0"?><opml version="1.0"><head><title>Scale</title></head><body>' +
        Array.from({ length: count - 1 }, (_, n) => `<outline text="Feed ${n}" type="rss" xmlUrl="${feedUrl(10000 * count + n + 1, 50)}"/>`).join('') +
        '</body></opml>');
      const imported = await ask('import', { path: opml, category });
      if (!imported.ok) throw new Error(JSON.stringify(imported));
      const times = await view(tab, `${category}/index.html`, count,
        () => rmSync(join(run.root, 'app', 'headlines'), { recursive: true, force: true }));
      report(`E. ${count} feeds on 50 hosts x 300 ms: first headline`, times.first, 3000);
      report(`E. ${count} feeds on 50 hosts x 300 ms: all headlines`, times.all, 3000);
      console.log(`E. ${count} feeds: native host peak memory so far ${hostPeakMiB(run.hostPath).toFixed(1)} MiB`);
    }
  }
} finally {
  await run.stop();
  await page.close();
  for (const server of hosts) {
    server.closeAllConnections();
    server.close();
  }
}
