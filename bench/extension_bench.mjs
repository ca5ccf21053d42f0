#!/usr/bin/env node
// Times the Quorvelle extension in headless Chromium with the real native
// host and prints each time with its target and their ratio (<= 1 meets it):
//  A. native round trip over the one open port (median of 100 "hello");
//  B. toolbar button pressed to the popup offering a page's two feeds
//     (median of 5);
//  C. "View Feeds..." to every headline shown: 40 feeds in General on 10
//     loopback hosts (127.0.0.1-10), each answered after 300 ms (median of 3).
//   node bench/extension_bench.mjs [--build build]
// Needs "npm ci" in tests/extension (puppeteer-core) and chromium.
import http from 'node:http';
import { join } from 'node:path';
import { loadPuppeteer, options, rss, serve, start } from '../tests/extension/harness.mjs';

const opts = options([...process.argv, '--source', join(import.meta.dirname || new URL('.', import.meta.url).pathname, '..')]);
const puppeteer = await loadPuppeteer();
if (!puppeteer) {
  console.error('extension_bench: run "npm ci" in tests/extension first');
  process.exit(1);
}
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const report = (what, ms, target) =>
  console.log(`${what.padEnd(64)} ${ms.toFixed(1).padStart(8)} ms (target ${target} ms, ratio ${(ms / target).toFixed(2)})`);

// Ten slow feed hosts.
const hosts = [];
for (let i = 1; i <= 10; i++) {
  const server = http.createServer((request, response) => setTimeout(() => {
    response.writeHead(200, { 'Content-Type': 'application/rss+xml' });
    response.end(rss(`Feed ${request.url}`, [`Headline of ${request.url}`]));
  }, 300));
  await new Promise((resolve) => server.listen(0, `127.0.0.${i}`, resolve));
  hosts.push(server);
}
const page = await serve({
  '/page.html': { type: 'text/html', body: '<link rel="alternate" type="application/rss+xml" title="A" href="/a.xml">' +
    '<link rel="alternate" type="application/atom+xml" title="B" href="/b.xml">' }
});

const run = await start(puppeteer, opts);
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

  for (let n = 0; n < 40; n++) {
    const { address, port } = hosts[n % 10].address();
    const answer = await run.worker.evaluate((url, title) => self.quorvelle.ask('add', { url, title, dialog: false }),
      `http://${address}:${port}/feed/${n}.xml`, `Feed ${n}`);
    if (!answer.ok) throw new Error(JSON.stringify(answer));
  }
  const views = [];
  for (let i = 0; i < 3; i++) {
    await tab.goto(page.url('/page.html'));
    const popup = await run.popup(tab);
    const t = Date.now();
    await popup.click('#view');
    await tab.waitForFunction(() => document.body.dataset.ready === 'true', { timeout: 60000 });
    const items = await tab.$$eval('.q-feed-slot.q-loaded .q-item', (l) => l.length);
    views.push(Date.now() - t);
    if (items !== 40) throw new Error(`${items} headlines shown, 40 expected`);
  }
  report('C. "View Feeds..." to all 40 feeds x 300 ms shown (median of 3)', median(views), 1000);
} finally {
  await run.stop();
  await page.close();
  for (const server of hosts) server.close();
}
