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

const feedRoutes = {
  '/a.xml': { type: 'application/rss+xml', body: rss('Alpha', ['Alpha one', 'Alpha two']) },
  '/b.xml': { type: 'application/atom+xml', body:
    '<?xml version="1.0"?><feed xmlns="http://www.w3.org/2005/Atom"><title>Beta</title>' +
    '<entry><title type="html">&lt;b&gt;Beta&lt;/b&gt; one&lt;img src=x onerror=alert(1)&gt;</title>' +
    '<link href="/b1"/></entry></feed>' },
  '/c.xml': { type: 'application/rss+xml', body: rss('Gamma', ['Gamma one']) },
  '/quiet.xml': { type: 'application/rss+xml', silent: true },
  '/big.xml': { type: 'application/rss+xml', body: rss('Big', [1, 2, 3].map((n) => 'x'.repeat(400 * 1024) + n)) },
  '/d.xml': { type: 'application/rss+xml', body:
    '<?xml version="1.0"?><rss version="2.0" xmlns:svg="http://www.w3.org/2000/svg"><channel><title>Delta</title>' +
    '<item><title>Delta one</title><link>http://example.org/d1</link><pubDate>Mon, 25 Apr 2005 19:39:00 GMT</pubDate>' +
    '<description>&lt;style&gt;body{display:none}&lt;/style&gt;&lt;svg&gt;&lt;image xlink:href="x"/&gt;&lt;/svg&gt;' +
    '&lt;video poster="http://example.org/p.png"&gt;&lt;/video&gt;Delta words</description></item></channel></rss>' }
};
const feeds = await serve(feedRoutes);
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
    // Republished with one item more, the start page counts it beside its category.
    feedRoutes['/c.xml'].body = rss('Gamma', ['Gamma two', 'Gamma one']);
    await page.goto(`chrome-extension://${run.id}/report.html?page=index.html`);
    await page.waitForFunction(() => document.body.dataset.ready === 'true', { timeout: 30000 });
    assert.equal(await page.$eval('a.q-category-link + .q-category-new', (c) => c.textContent), '1 new headline');
  });

  await check('a page with a silent feed and a huge one shows the others at once, the popup answered meanwhile', async () => {
    for (const path of ['/quiet.xml', '/big.xml', '/d.xml']) {
      const added = await run.worker.evaluate((url) => self.quorvelle.ask('add', { url, title: url, dialog: false,
        category: 'Slow' }), feeds.url(path));
      assert.equal(added.ok, true, JSON.stringify(added));
    }
    await page.goto(`chrome-extension://${run.id}/report.html?page=${encodeURIComponent('Slow/index.html')}`);
    await page.waitForFunction(() => document.querySelectorAll('.q-feed-slot.q-loaded').length === 2, { timeout: 20000 });
    // Three titles of 400 KiB are shortened in their own box; the others show.
    const titles = await page.$$eval('.q-item-title', (l) => l.map((i) => i.textContent.trim()));
    assert.equal(titles.length, 4, JSON.stringify(titles).slice(0, 300));
    assert.ok(titles.slice(0, 3).every((t) => t.startsWith('xxx') && t.length <= 301), 'shortened titles');
    assert.equal(titles[3], 'Delta one');
    assert.equal(await page.$$eval('.q-loading', (l) => l.length), 1, 'the silent feed is still loading');
    // Nothing but the report's own markup: no style, SVG, media or their
    // attributes from the feed; a readable date.
    assert.equal(await page.$$eval('style, svg, image, video, [style], [poster]', (l) => l.length), 0);
    const date = await page.$eval('.q-item-date', (d) => d.textContent);
    assert.doesNotMatch(date, /2005-04-25T|GMT/, date);
    const popup = await run.browser.newPage();
    await popup.goto(`chrome-extension://${run.id}/popup.html`);
    const answer = await popup.evaluate(() => chrome.runtime.sendMessage({ type: 'host', command: 'list', args: {} }));
    await popup.close();
    assert.equal(answer.ok, true, JSON.stringify(answer));
    assert.notEqual(await page.evaluate(() => document.body.dataset.ready), 'true', 'the report is still loading');
    if (opts.screenshots) await page.screenshot({ path: join(opts.screenshots, 'extension-report-slow.png'), fullPage: true });
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
