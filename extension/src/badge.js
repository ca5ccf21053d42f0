/* The toolbar button's badge: how many headlines of the enabled feeds no
 * view has shown yet. A background check asks the native host every 30
 * minutes (the host reads the feeds through its cache: a fresh copy costs no
 * request, a site that asked to wait is left alone; it marks nothing and
 * writes no list); the badge is cleared as soon as the user views the
 * headlines. */
'use strict';

self.quorvelleBadge = (() => {
  const ALARM = 'quorvelle-new-count';
  const PERIOD_MINUTES = 30;
  let ask = null;
  // Bumped by every view, so a check that was under way when the user looked
  // does not put back a count from before.
  let views = 0;

  function badgeText(count) {
    if (!Number.isInteger(count) || count <= 0) return '';
    return count > 99 ? '99+' : String(count);
  }

  async function show(count) {
    await chrome.action.setBadgeText({ text: badgeText(count) });
  }

  // One background check; a host that cannot be reached leaves no badge.
  async function check() {
    const before = views;
    const answer = await ask('new-count', {});
    const count = answer && answer.ok && answer.result ? answer.result.count : 0;
    if (before !== views) return null;
    await show(count);
    return count;
  }

  function schedule() {
    chrome.alarms.get(ALARM, (alarm) => {
      if (!alarm) chrome.alarms.create(ALARM, { delayInMinutes: 1, periodInMinutes: PERIOD_MINUTES });
    });
  }

  // Called with every command an extension page sends: showing the
  // headlines clears the count.
  function onCommand(command) {
    if (command !== 'report') return;
    ++views;
    show(0);
  }

  function install(askHost) {
    ask = askHost;
    chrome.action.setBadgeBackgroundColor({ color: '#1a5fb4' });
    chrome.alarms.onAlarm.addListener((alarm) => {
      if (alarm.name === ALARM) check();
    });
    chrome.runtime.onStartup.addListener(schedule);
    chrome.runtime.onInstalled.addListener(schedule);
    schedule();
  }

  return { install, check, onCommand, badgeText, ALARM };
})();
