#!/usr/bin/env node
// Writes the unpacked extension for each browser from the one source tree:
//   node extension/build.mjs [output folder]   (default: build/extension)
// gives <out>/chromium and <out>/firefox, each with its own manifest.json,
// and <out>/ids.json with the extension ids the native host manifests allow.
// The headlines page takes its look from the report's own page template
// (data/index.html), written out as report.css: the page takes no style from
// what the host sends.
import { createHash } from 'node:crypto';
import { cpSync, mkdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const out = resolve(process.argv[2] || join(here, '..', 'build', 'extension'));
const common = JSON.parse(readFileSync(join(here, 'manifest.common.json'), 'utf8'));
const browsers = { chromium: common.chromium, firefox: common.firefox };
delete common.chromium;
delete common.firefox;

// Chromium derives the id from the public key: the first 128 bits of its
// SHA-256, each hex digit written as a letter a-p.
const chromiumId = [...createHash('sha256').update(Buffer.from(browsers.chromium.key, 'base64')).digest('hex')
  .slice(0, 32)].map((c) => String.fromCharCode(97 + parseInt(c, 16))).join('');

const template = readFileSync(join(here, '..', 'data', 'index.html'), 'utf8');
const style = /<style>([\s\S]*?)<\/style>/.exec(template);
if (!style) throw new Error('data/index.html has no <style> for the headlines page');

for (const [browser, extra] of Object.entries(browsers)) {
  const target = join(out, browser);
  rmSync(target, { recursive: true, force: true });
  mkdirSync(target, { recursive: true });
  cpSync(join(here, 'src'), target, { recursive: true });
  writeFileSync(join(target, 'report.css'), '/* From data/index.html, written by build.mjs. */' + style[1]);
  writeFileSync(join(target, 'manifest.json'), JSON.stringify({ ...common, ...extra }, null, 2) + '\n');
}
writeFileSync(join(out, 'ids.json'), JSON.stringify({
  host: 'net.tolvane.quorvelle',
  chromium: chromiumId,
  firefox: browsers.firefox.browser_specific_settings.gecko.id
}, null, 2) + '\n');
console.log(`extension: ${out}/chromium (id ${chromiumId}) and ${out}/firefox`);
