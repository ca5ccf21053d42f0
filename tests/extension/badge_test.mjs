// The toolbar button's badge (extension/src/badge.js) against a stand-in of
// the browser's API: the count as the badge writes it, the 30-minute alarm,
// and a view that clears the badge, also while a check is under way.
//   node badge_test.mjs <source dir>
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import vm from 'node:vm';

const source = process.argv[2] || '.';
const listeners = { alarm: [], startup: [], installed: [] };
const alarms = new Map();
let badge = 'unset';
const chrome = {
  action: { setBadgeText: async ({ text }) => { badge = text; }, setBadgeBackgroundColor: () => {} },
  alarms: {
    get: (name, done) => done(alarms.get(name)),
    create: (name, info) => alarms.set(name, { name, ...info }),
    onAlarm: { addListener: (f) => listeners.alarm.push(f) }
  },
  runtime: { onStartup: { addListener: (f) => listeners.startup.push(f) },
    onInstalled: { addListener: (f) => listeners.installed.push(f) } }
};
const context = { chrome };
context.self = context;
vm.createContext(context);
vm.runInContext(readFileSync(join(source, 'extension', 'src', 'badge.js'), 'utf8'), context);
const api = context.quorvelleBadge;

assert.deepEqual([0, 1, 99, 100, 5000, -1, undefined, 2.5].map((n) => api.badgeText(n)),
  ['', '1', '99', '99+', '99+', '', '', '']);

// The host's answer, held until the test lets it go.
const asked = [];
let answer = (count) => ({ v: 1, ok: true, result: { count, feeds: 3, unread: 0 } });
let release = null;
api.install((command, args) => {
  asked.push([command, args]);
  return new Promise((resolve) => { release = resolve; });
});
const alarm = alarms.get(api.ALARM);
assert.equal(alarm.periodInMinutes, 30, 'checked every 30 minutes');

// A background check puts the count on the badge.
for (const f of listeners.alarm) f({ name: api.ALARM });
assert.equal(JSON.stringify(asked), JSON.stringify([['new-count', {}]]));
release(answer(140));
await new Promise((r) => setImmediate(r));
assert.equal(badge, '99+');

// Viewing the headlines clears it at once; a check that was under way then
// does not put the old count back; the next one does show its count.
const underWay = api.check();
api.onCommand('report');
await new Promise((r) => setImmediate(r));
assert.equal(badge, '');
release(answer(7));
assert.equal(await underWay, null);
assert.equal(badge, '');
const next = api.check();
release(answer(7));
assert.equal(await next, 7);
assert.equal(badge, '7');
api.onCommand('list');
assert.equal(badge, '7', 'other commands leave it');

// A host that cannot be reached leaves no badge.
const failing = api.check();
release({ v: 1, ok: false, error: { code: 'host-gone', message: 'gone' } });
await failing;
assert.equal(badge, '');
console.log('ok badge');
