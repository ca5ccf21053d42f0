/* Quorvelle extension: the one long-lived port to quorvelle-native-host,
 * the link context-menu entry, and the requests of the popup and the report
 * page, which all go through here. */
'use strict';

// Firefox loads badge.js before this script (manifest); Chromium's service
// worker pulls it in here.
if (typeof importScripts === 'function' && !self.quorvelleBadge) importScripts('badge.js');

const HOST = 'net.tolvane.quorvelle';
const MENU_ID = 'quorvelle-add-link';
const MENU_TITLE = 'Add RSS/OPML/XML/RDF/ATOM Feed To Quorvelle';

let port = null;
let nextId = 1;
const pending = new Map();

function openPort() {
  if (port) return port;
  port = chrome.runtime.connectNative(HOST);
  // The host answers every message once and in order; an answer without an
  // id (a message it could not read) belongs to the oldest one waiting.
  port.onMessage.addListener((answer) => {
    if (!answer || pending.size === 0) return;
    const id = answer.id !== null && pending.has(answer.id) ? answer.id : pending.keys().next().value;
    const waiting = pending.get(id);
    pending.delete(id);
    waiting(answer);
  });
  port.onDisconnect.addListener(() => {
    const detail = (chrome.runtime.lastError && chrome.runtime.lastError.message) || 'the host ended';
    const reason = `Quorvelle could not be reached (${detail}). Install Quorvelle for this user ` +
      '(scripts/install.sh or the quorvelle package) so that this browser can start quorvelle-native-host.';
    port = null;
    for (const [id, waiting] of pending) {
      waiting({ v: 1, id, ok: false, error: { code: 'host-gone', message: reason } });
    }
    pending.clear();
  });
  return port;
}

// Sends a message to the host as it is (checks use it for bad requests too)
// and resolves with the answer; every message gets one.
function sendRaw(message) {
  return new Promise((resolve) => {
    const id = message.id;
    pending.set(id, resolve);
    try {
      openPort().postMessage(message);
    } catch (e) {
      pending.delete(id);
      resolve({ v: 1, id, ok: false, error: { code: 'host-gone', message: String(e.message || e) } });
    }
  });
}

function ask(command, args) {
  return sendRaw({ v: 1, id: nextId++, command, args: args || {} });
}

// The extension of an address as file names have it: from the last dot when
// no backslash or colon follows ("http://host.com/feed" has ".com/feed").
function fileExtension(address) {
  const dot = address.lastIndexOf('.');
  if (dot < 0 || /[\\:]/.test(address.slice(dot))) return '';
  return address.slice(dot);
}

// What the band's capture does: an OPML list is imported, anything else is
// offered in the add-feed dialog.
function captureLink(address) {
  if (fileExtension(address).toLowerCase() === '.opml') return ask('import', { url: address });
  return ask('add', { url: address, dialog: true });
}

function onMenuClicked(info) {
  if (info.menuItemId === MENU_ID && info.linkUrl) return captureLink(info.linkUrl);
  return Promise.resolve(null);
}

chrome.runtime.onInstalled.addListener((details) => {
  chrome.contextMenus.removeAll(() => {
    chrome.contextMenus.create({ id: MENU_ID, title: MENU_TITLE, contexts: ['link'] });
  });
  // A first install shows the headlines at once: the user sees that the
  // extension reaches Quorvelle, or the page says why it does not.
  if (details.reason === 'install') chrome.tabs.create({ url: chrome.runtime.getURL('report.html') });
});
chrome.contextMenus.onClicked.addListener(onMenuClicked);

chrome.runtime.onMessage.addListener((message, sender, reply) => {
  // Only the extension's own pages (popup, report) speak for the user; a
  // script run in a web page never does.
  const ownPage = sender.id === chrome.runtime.id && (sender.url || '').startsWith(chrome.runtime.getURL(''));
  if (!ownPage || !message || message.type !== 'host') return false;
  self.quorvelleBadge.onCommand(String(message.command));
  ask(String(message.command), message.args).then(reply);
  return true;
});

self.quorvelleBadge.install(ask);
self.quorvelle = { ask, sendRaw, captureLink, onMenuClicked, fileExtension, badge: self.quorvelleBadge };
self.quorvelleReady = true;
