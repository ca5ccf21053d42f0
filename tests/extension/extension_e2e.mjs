// The Quorvelle extension in headless Chromium, end to end with the real
// native host: feeds a page announces are offered and added, an OPML link
// from the context menu is imported, "View Feeds..." shows the headlines of
// every enabled feed, and bad native messages change nothing.
//   node extension_e2e.mjs --build <build dir> --source <source dir> [--screenshots <dir>]
// Exits 77 (skipped) without chromium or without the npm packages.
import assert from 'node:assert/strict';
import { existsSync } from 'node:fs';
import { join } from 'node:path';
import { CHROMIUM, SKIP, loadPuppeteer, options, rss, serve, start, until } from './harness.mjs';

const opts = options(process.argv);
const puppeteer = await loadPuppeteer();
if (!puppeteer || !existsSync(CHROMIUM)) {
  console.log(`skipped: ${!puppeteer ? 'run "npm ci" in tests/extension first' : CHROMIUM + ' is missing'}`);
  // Where the browser is required (the test command), a missing one fails.
  process.exit(process.env.QUORVELLE_REQUIRE_BROWSER === '1' ? 1 : SKIP);
}

const feeds = await serve({
  '/a.xml': { type: 'application/rss+xml', body: rss('Alpha', ['Alpha one', 'Alpha two']) },
  '/b.xml': { type: 'application/atom+xml', body:
    '<?xml version="1.0"?><feed xmlns="http://www.w3.org/2005/Atom"><title>Beta</title>' +
    '<entry><title type="html">&lt;b&gt;Beta&lt;/b&gt; one&lt;img src=x onerror=alert(1)&gt;</title>' +
    '<link href="/b1"/></entry></feed>' },
  '/c.xml': { type: 'application/rss+xml', body: rss('Gamma', ['Gamma one']) }
});
const routes = {};
const pages = await serve(routes);
Object.assign(routes, {
  '/page.html': { type: 'text/html', body:
    `<!DOCTYPE html><html><head><base href="${feeds.url('/')}">` +
    '<link rel="alternate" type="application/rss+xml" title="Alpha feed" href="a.xml">' +
    '<link rel="stylesheet alternate" type="text/css" href="x.css">' +
    `<link rel="ALTERNATE" type="application/atom+xml" title="Beta feed" href="//127.0.0.1:${new URL(feeds.url('/')).port}/b.xml">` +
    '</head><body><a id="list" href="/more.opml">Our list</a></body></html>' },
  '/more.opml': { type: 'text/x-opml', body:
    `<?xml version="1.0"?><opml version="1.1"><head><title>More</title></head><body>` +
    `<outline text="Gamma" type="rss" xmlUrl="${feeds.url('/c.xml')}"/></body></opml>` }
});

const run = await start(puppeteer, opts);
const failures = [];
async function check(name, body) {
  try {
    await body();
    console.log(`ok ${name}`);
  } catch (e) {
    failures.push(name);
    console.log(`FAILED ${name}: ${e.stack || e}`);
  }
}

try {
  const page = await run.browser.newPage();
  await page.goto(pages.url('/page.html'));

  await check('the popup offers every feed the page announces and adds one through the host', async () => {
    const popup = await run.popup(page);
    await popup.waitForFunction(() => document.body.dataset.offers !== undefined, { timeout: 20000 });
    const offered = await popup.$$eval('.q-offer', (b) => b.map((x) => x.dataset.url));
    assert.deepEqual(offered, [feeds.url('/a.xml'), feeds.url('/b.xml')]);
    if (opts.screenshots) await popup.screenshot({ path: join(opts.screenshots, 'extension-popup.png') });
    for (const url of offered) {
      await popup.click(`.q-offer[data-url="${url}"]`);
      await until(`${url} in Feeds.xml`, () => run.feeds().includes(url.replace(/&/g, '&amp;')));
    }
    await popup.close();
  });

  await check('the context-menu entry on an OPML link imports the list', async () => {
    const answer = await run.worker.evaluate((url) => self.quorvelle.onMenuClicked(
      { menuItemId: 'quorvelle-add-link', linkUrl: url }), pages.url('/more.opml'));
    assert.equal(answer.ok, true, JSON.stringify(answer));
    assert.ok(run.feeds().includes(feeds.url('/c.xml')), run.feeds());
  });

  await check('"View Feeds..." shows the headlines of every enabled feed', async () => {
    const popup = await run.popup(page);
    await popup.click('#view');
    await page.waitForFunction(() => document.body.dataset.ready === 'true', { timeout: 30000 });
    assert.ok(page.url().startsWith(`chrome-extension://${run.id}/report.html`), page.url());
    const top = await page.$$eval('.q-item', (items) => items.map((i) => i.textContent.trim()));
    assert.deepEqual(top, ['Alpha one', 'Alpha two', 'Beta one']);
    assert.equal(await page.$$eval('.q-loading', (l) => l.length), 0);
    assert.equal(await page.$$eval('script, img', (l) => l.length), 1, 'only the page\'s own script');
    if (opts.screenshots) await page.screenshot({ path: join(opts.screenshots, 'extension-report.png'), fullPage: true });
    await Promise.all([page.waitForNavigation(), page.click('a.q-category-link')]);
    await page.waitForFunction(() => document.body.dataset.ready === 'true', { timeout: 30000 });
    assert.deepEqual(await page.$$eval('.q-item', (items) => items.map((i) => i.textContent.trim())), ['Gamma one']);
  });

  await check('malformed and oversized native messages get error answers and change nothing', async () => {
    const before = run.feeds();
    const answers = await run.worker.evaluate(async () => {
      const q = self.quorvelle;
      return [
        await q.sendRaw({ v: 1, id: 'w1', command: 'add', args: { url: 5 } }),
        await q.sendRaw({ id: 'w2', command: 'list' }),
        await q.sendRaw({ v: 1, id: 'w3', command: 'format-disk' }),
        await q.sendRaw({ v: 1, id: 'w4', command: 'add', args: { url: 'http://big.example/' + 'x'.repeat(1100000), dialog: false } }),
        await q.sendRaw({ v: 1, id: 'w5', command: 'import', args: { path: '/etc/passwd', category: '' } }),
        await q.ask('hello')
      ];
    });
    assert.deepEqual(answers.map((a) => a.ok), [false, false, false, false, false, true], JSON.stringify(answers));
    assert.deepEqual(answers.slice(0, 5).map((a) => a.error.code),
      ['bad-argument', 'bad-request', 'unknown-command', 'too-large', 'bad-argument']);
    assert.equal(run.feeds(), before);
  });
} finally {
  await run.stop();
  await feeds.close();
  await pages.close();
}
if (failures.length) {
  console.log(`${failures.length} check(s) failed`);
  process.exit(1);
}
console.log('all extension checks passed');
