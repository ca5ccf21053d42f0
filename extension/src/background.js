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

const VERSION = 2;

let port = null;
let nextId = 1;
// id -> { resolve, onPart }: onPart gets the parts of a report (frame,
// boxes) before the end resolves the request.
const pending = new Map();

// Protocol 2: answers name their request and may come in any order; a
// report comes in parts ("frame", "box"...) closed by "end". An answer
// without an id (a message the host could not read) belongs to the oldest
// request waiting for a single answer.
function waiterFor(answer) {
  if (answer.id !== null && answer.id !== undefined && pending.has(answer.id)) return answer.id;
  for (const [id, waiting] of pending) if (!waiting.onPart) return id;
  return pending.keys().next().value;
}

function openPort() {
  if (port) return port;
  port = chrome.runtime.connectNative(HOST);
  port.onMessage.addListener((answer) => {
    if (!answer || pending.size === 0) return;
    const id = waiterFor(answer);
    const waiting = pending.get(id);
    if (answer.ok && (answer.part === 'frame' || answer.part === 'box')) {
      if (waiting.onPart) waiting.onPart(answer);
      return;
    }
    pending.delete(id);
    if (answer.part === 'end' && waiting.onPart) waiting.onPart(answer);
    waiting.resolve(answer);
  });
  port.onDisconnect.addListener(() => {
    const detail = (chrome.runtime.lastError && chrome.runtime.lastError.message) || 'the host ended';
    const reason = `Quorvelle could not be reached (${detail}). Install Quorvelle for this user ` +
      '(scripts/install.sh or the quorvelle package) so that this browser can start quorvelle-native-host.';
    port = null;
    for (const [id, waiting] of pending) {
      waiting.resolve({ v: VERSION, id, ok: false, error: { code: 'host-gone', message: reason } });
    }
    pending.clear();
  });
  return port;
}

// Sends a message to the host as it is (checks use it for bad requests too)
// and resolves with its last answer; every message gets one. onPart, when
// given, sees every part of a report as it comes.
function sendRaw(message, onPart) {
  return new Promise((resolve) => {
    const id = message.id;
    pending.set(id, { resolve, onPart });
    try {
      openPort().postMessage(message);
    } catch (e) {
      pending.delete(id);
      resolve({ v: VERSION, id, ok: false, error: { code: 'host-gone', message: String(e.message || e) } });
    }
  });
}

function ask(command, args, onPart) {
  return sendRaw({ v: VERSION, id: nextId++, command, args: args || {} }, onPart);
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

// The report page: a port of its own, on which every part of the report is
// handed on as the host sends it.
chrome.runtime.onConnect.addListener((page) => {
  const sender = page.sender || {};
  const ownPage = sender.id === chrome.runtime.id && (sender.url || '').startsWith(chrome.runtime.getURL(''));
  if (!ownPage || page.name !== 'report') {
    page.disconnect();
    return;
  }
  let open = true;
  page.onDisconnect.addListener(() => { open = false; });
  const forward = (part) => {
    if (!open) return;
    try {
      page.postMessage(part);
    } catch (e) {
      open = false;
    }
  };
  page.onMessage.addListener((message) => {
    if (!message || typeof message !== 'object') return;
    self.quorvelleBadge.onCommand('report');
    ask('report', { page: String(message.page || 'index.html') }, forward).then((last) => {
      if (last.part !== 'end') forward(last);
    });
  });
});

self.quorvelleBadge.install(ask);
self.quorvelle = { ask, sendRaw, captureLink, onMenuClicked, fileExtension, badge: self.quorvelleBadge };
self.quorvelleReady = true;
