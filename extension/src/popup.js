/* The toolbar popup: the band's commands, carried out by the native host. */
'use strict';

function ask(command, args) {
  return chrome.runtime.sendMessage({ type: 'host', command, args: args || {} });
}

function status(text, failed) {
  const line = document.getElementById('status');
  line.textContent = text || '';
  line.className = failed ? 'q-error' : '';
}

async function run(command, args, done) {
  status('');
  const answer = await ask(command, args);
  if (!answer || !answer.ok) {
    status((answer && answer.error && answer.error.message) || 'Quorvelle did not answer.', true);
    return null;
  }
  if (done) status(done(answer.result));
  return answer.result;
}

async function currentTab() {
  const [tab] = await chrome.tabs.query({ active: true, currentWindow: true });
  return tab;
}

// The feeds the shown page announces, found by the host in the page's markup.
async function pageFeeds() {
  const tab = await currentTab();
  if (!tab || !/^https?:/.test(tab.url || '')) return [];
  let page = null;
  try {
    const [result] = await chrome.scripting.executeScript({ target: { tabId: tab.id }, files: ['feeds.js'] });
    page = result && result.result;
  } catch (e) {
    return [];
  }
  if (!page || typeof page.html !== 'string') return [];
  // The host finds the feeds as the band does, so both offer the same.
  const answer = await ask('discover', { html: page.html, url: page.url || tab.url });
  return answer && answer.ok ? answer.result.feeds : [];
}

function showOffers(feeds) {
  const list = document.getElementById('offers');
  list.textContent = '';
  for (const feed of feeds) {
    const item = document.createElement('li');
    const button = document.createElement('button');
    button.className = 'q-offer';
    button.dataset.url = feed.url;
    button.textContent = feed.title || feed.url;
    const address = document.createElement('small');
    address.textContent = feed.known ? feed.url + ' (already in your list)' : feed.url;
    button.appendChild(address);
    button.disabled = feed.known;
    button.addEventListener('click', () => run('add', { url: feed.url, title: feed.title, dialog: true },
      (r) => (r.added ? 'Added to your feed list.' : '')).then((r) => {
      if (r && r.added) button.disabled = true;
    }));
    item.appendChild(button);
    list.appendChild(item);
  }
  document.body.dataset.offers = String(feeds.length);
}

document.getElementById('view').addEventListener('click', async () => {
  // As the toolbar does: the report replaces the page in this tab.
  const tab = await currentTab();
  const url = chrome.runtime.getURL('report.html');
  if (tab) await chrome.tabs.update(tab.id, { url });
  else await chrome.tabs.create({ url });
  window.close();
});
document.getElementById('add').addEventListener('click', () => {
  const first = document.querySelector('.q-offer:not([disabled])');
  const args = first ? { url: first.dataset.url, title: first.firstChild.textContent, dialog: true } : { url: '', dialog: true };
  run('add', args, (r) => (r.added ? 'Added to your feed list.' : ''));
});
document.getElementById('manage').addEventListener('click', () => run('dialog', { name: 'manage' }));
document.getElementById('import').addEventListener('click', () => run('dialog', { name: 'import' }));
document.getElementById('export').addEventListener('click', () => run('dialog', { name: 'export' }));
document.getElementById('home').addEventListener('click', () => {
  status('This browser does not let an extension change its home page. To start with your headlines, ' +
    'set this address as the home page in the browser\'s settings: ' + chrome.runtime.getURL('report.html'));
});

pageFeeds().then(showOffers, () => showOffers([]));
