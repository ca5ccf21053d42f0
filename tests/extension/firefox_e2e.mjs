// The Quorvelle extension in headless Firefox ESR with the real native host:
// the extension loads as a temporary add-on, the headlines page it opens on
// install shows a feed's headlines rendered by the host, the port to the host
// answers and refuses a bad message, and the popup's page (opened in that
// tab: WebDriver BiDi cannot open the popup or navigate to an extension page
// itself) has the commands and shows the headlines. Offering a page's feeds
// and the context menu are checked in Chromium.
//   node firefox_e2e.mjs --build <build dir> --source <source dir> [--screenshots <dir>]
// Exits 77 (skipped) without firefox-esr or the npm packages, unless
// QUORVELLE_REQUIRE_BROWSER=1.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, mkdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { SKIP, loadPuppeteer, options, prepare, rss, serve, until } from './harness.mjs';

const FIREFOX = process.env.QUORVELLE_FIREFOX || '/usr/bin/firefox-esr';
const opts = options(process.argv);
const puppeteer = await loadPuppeteer();
if (!puppeteer || !existsSync(FIREFOX)) {
  console.log(`skipped: ${!puppeteer ? 'run "npm ci" in tests/extension first' : FIREFOX + ' is missing'}`);
  process.exit(process.env.QUORVELLE_REQUIRE_BROWSER === '1' ? 1 : SKIP);
}

// One request to the host outside any browser, as the list's starting state
// (node waits for it, so it must not need this process's servers).
function hostRequest(user, request) {
  const body = Buffer.from(JSON.stringify(request));
  const length = Buffer.alloc(4);
  length.writeUInt32LE(body.length);
  const result = spawnSync(user.hostPath, [], { input: Buffer.concat([length, body]), env: user.env });
  return JSON.parse(result.stdout.subarray(4).toString());
}

const feeds = await serve({ '/d.xml': { type: 'application/rss+xml', body: rss('Delta', ['Delta one', 'Delta two']) } });
const user = prepare(opts);
let browser = null;
try {
  const added = hostRequest(user, { v: 1, id: 1, command: 'add', args: { url: feeds.url('/d.xml'), title: 'Delta', dialog: false } });
  assert.equal(added.ok, true, JSON.stringify(added));
  const hosts = join(user.env.HOME, '.mozilla', 'native-messaging-hosts');
  mkdirSync(hosts, { recursive: true });
  writeFileSync(join(hosts, `${user.ids.host}.json`), JSON.stringify({
    name: user.ids.host, description: 'Quorvelle', path: user.hostPath, type: 'stdio',
    allowed_extensions: [user.ids.firefox]
  }));

  browser = await puppeteer.launch({ browser: 'firefox', executablePath: FIREFOX, headless: true, env: user.env,
    defaultViewport: { width: 1000, height: 800 } });
  assert.equal(await browser.installExtension(user.extension('firefox')), user.ids.firefox);
  // The driver reports the extension's tab as about:blank; its own address
  // is read inside it.
  const page = await until('the headlines page', async () => {
    for (const candidate of await browser.pages()) {
      const href = await candidate.evaluate(() => location.href).catch(() => '');
      if (/^moz-extension:\/\/[^/]+\/report\.html/.test(href)) return candidate;
    }
    return null;
  });
  await page.waitForFunction(() => document.body.dataset.ready === 'true', { timeout: 30000 });
  assert.deepEqual(await page.$$eval('.q-item', (l) => l.map((i) => i.textContent.trim())), ['Delta one', 'Delta two']);
  if (opts.screenshots) await page.screenshot({ path: join(opts.screenshots, 'extension-report-firefox.png') });
  console.log('ok the extension loads and its page shows the headlines the host rendered');

  const answers = await page.evaluate(async () => [
    await browser.runtime.sendMessage({ type: 'host', command: 'hello' }),
    await browser.runtime.sendMessage({ type: 'host', command: 'add', args: { url: 'javascript:alert(1)', dialog: false } })
  ]);
  assert.equal(answers[0].ok, true, JSON.stringify(answers));
  assert.equal(answers[1].error.code, 'bad-argument', JSON.stringify(answers));
  console.log('ok the host answers through the port and refuses a bad request');

  // The popup's page, opened in the extension's own tab: its commands are
  // there and "View Feeds..." brings the headlines back into the tab.
  await page.evaluate(() => { location.href = 'popup.html'; });
  await until('the popup page', () => page.evaluate(() => /popup\.html$/.test(location.href) &&
    document.querySelectorAll('.q-command').length > 0).catch(() => false));
  assert.deepEqual(await page.$$eval('.q-command', (b) => b.map((x) => x.textContent)), ['View Feeds...',
    'Add RSS/XML/RDF/ATOM Feed...', 'Manage Feeds...', 'Set As Home Page...', 'Import XML/OPML...',
    'Export XML/OPML...']);
  await page.click('#view');
  await until('the headlines again', () => page.evaluate(() => /report\.html$/.test(location.href) &&
    document.body.dataset.ready === 'true').catch(() => false));
  assert.equal(await page.$$eval('.q-item', (l) => l.length), 2);
  console.log('ok the popup\'s commands are there and "View Feeds..." shows the headlines');
} finally {
  if (browser) await browser.close();
  await feeds.close();
  user.remove();
}
console.log('all Firefox checks passed');
