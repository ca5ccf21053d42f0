// Shared set-up of the extension checks and benchmark: an isolated user with
// an installation folder named in the settings, the extension built for
// Chromium, its native host registered in a fresh profile, loopback feed
// servers, and headless Chromium with the extension installed.
import { execFileSync } from 'node:child_process';
import { cpSync, existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import http from 'node:http';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';

export const CHROMIUM = process.env.QUORVELLE_CHROMIUM || '/usr/bin/chromium';
export const SKIP = 77;

export function options(argv) {
  const get = (name, fallback) => {
    const i = argv.indexOf(name);
    return i >= 0 ? argv[i + 1] : fallback;
  };
  const screenshots = get('--screenshots', '');
  return { build: resolve(get('--build', 'build')), source: resolve(get('--source', '.')),
    screenshots: screenshots && resolve(screenshots) };
}

export async function loadPuppeteer() {
  try {
    return (await import('puppeteer-core')).default;
  } catch (e) {
    return null;
  }
}

// Answers routes { path: { type, body, delay, silent } } on 127.0.0.1 and an
// ephemeral port (a silent route never answers); url(path) gives the whole
// address.
export async function serve(routes) {
  const server = http.createServer((request, response) => {
    const route = routes[request.url] || routes[request.url.split('?')[0]];
    if (!route) {
      response.writeHead(404).end();
      return;
    }
    if (route.silent) return;
    setTimeout(() => {
      response.writeHead(200, { 'Content-Type': route.type });
      response.end(route.body);
    }, route.delay || 0);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const url = (path) => `http://127.0.0.1:${server.address().port}${path}`;
  return { server, url, close: () => new Promise((resolve) => {
    server.closeAllConnections();
    server.close(resolve);
  }) };
}

export function rss(title, items) {
  return `<?xml version="1.0"?><rss version="2.0"><channel><title>${title}</title><link>http://example.org/</link>` +
    items.map((t) => `<item><title>${t}</title><link>http://example.org/${encodeURIComponent(t)}</link></item>`).join('') +
    '</channel></rss>';
}

export async function until(what, check, ms = 20000) {
  const end = Date.now() + ms;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

// An isolated user whose settings name an installation folder (a copy of
// data/), the extension built into the work folder, and the environment the
// browser (and through it the native host) runs with.
export function prepare(opts) {
  const root = mkdtempSync(join(tmpdir(), 'quorvelle-ext-'));
  const app = join(root, 'app') + '/';
  cpSync(join(opts.source, 'data'), app, { recursive: true });
  mkdirSync(join(root, 'registry'), { recursive: true });
  const escaped = app.replace(/\\/g, '\\\\').replace(/"/g, '\\"');
  writeFileSync(join(root, 'registry', 'HKEY_CURRENT_USER.reg'),
    `; Quorvelle registry store\n\n[Software\\Tolvane\\Quorvelle]\n"AppPath"="${escaped}"\n`);
  execFileSync(process.execPath, [join(opts.source, 'extension', 'build.mjs'), join(root, 'extension')]);
  const ids = JSON.parse(readFileSync(join(root, 'extension', 'ids.json'), 'utf8'));
  const env = {
    ...process.env,
    HOME: join(root, 'home'), XDG_CONFIG_HOME: join(root, 'home', '.config'),
    XDG_DATA_HOME: join(root, 'home', '.local', 'share'), TMPDIR: join(root, 'tmp'),
    QUORVELLE_REGISTRY: join(root, 'registry'), QUORVELLE_LOG_FOLDER: join(root, 'log'),
    QT_QPA_PLATFORM: 'offscreen', QUORVELLE_NATIVE_HOST_ACCEPT_DIALOGS: '1'
  };
  for (const dir of [env.HOME, env.TMPDIR, env.QUORVELLE_LOG_FOLDER]) mkdirSync(dir, { recursive: true });
  const feedsFile = join(env.XDG_DATA_HOME, 'Quorvelle', 'Feeds.xml');
  return {
    root, env, ids, hostPath: join(opts.build, 'testbin', 'quorvelle-native-host'),
    extension: (browser) => join(root, 'extension', browser),
    feeds: () => (existsSync(feedsFile) ? readFileSync(feedsFile, 'utf8') : ''),
    remove: () => rmSync(root, { recursive: true, force: true })
  };
}

// Everything up to a running Chromium with the extension ready.
export async function start(puppeteer, opts) {
  const user = prepare(opts);
  const { root, env, ids } = user;
  const profile = join(root, 'profile');
  mkdirSync(join(profile, 'NativeMessagingHosts'), { recursive: true });
  writeFileSync(join(profile, 'NativeMessagingHosts', `${ids.host}.json`), JSON.stringify({
    name: ids.host, description: 'Quorvelle', path: user.hostPath, type: 'stdio',
    allowed_origins: [`chrome-extension://${ids.chromium}/`]
  }));
  const browser = await puppeteer.launch({
    executablePath: CHROMIUM, headless: true, userDataDir: profile, enableExtensions: true, env,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--window-size=1000,800'],
    defaultViewport: { width: 1000, height: 800 }
  });
  const id = await browser.installExtension(user.extension('chromium'));
  if (id !== ids.chromium) throw new Error(`extension id ${id}, expected ${ids.chromium}`);
  const workerTarget = await browser.waitForTarget(
    (t) => t.type() === 'service_worker' && t.url().startsWith(`chrome-extension://${id}/`));
  const worker = await workerTarget.worker();
  await until('the extension', () => worker.evaluate(() => self.quorvelleReady === true).catch(() => false));
  // The first install opens the headlines in a tab of its own; close it
  // before any check opens its page, so the check's page is the active tab
  // whatever order the two tabs would otherwise open in.
  const welcome = await browser.waitForTarget((t) => t.url().startsWith(`chrome-extension://${id}/report.html`));
  await (await welcome.asPage()).close();
  const extension = (await browser.extensions()).get(id);
  return {
    root, browser, worker, extension, id, feeds: user.feeds, hostPath: user.hostPath,
    // The popup for page, opened with the toolbar button.
    async popup(page) {
      await extension.triggerAction(page);
      const target = await browser.waitForTarget((t) => t.url() === `chrome-extension://${id}/popup.html`);
      return target.asPage();
    },
    async stop() {
      await browser.close();
      user.remove();
    }
  };
}
