/* The headlines report: the native host renders the page; this page shows
 * its frame at once and places each feed's box as the host sends it. What
 * comes from the host is parsed into an inert document first, and only the
 * elements and attributes the report's own markup uses are taken over. */
'use strict';

const ELEMENTS = new Set(['a', 'article', 'b', 'br', 'code', 'div', 'em', 'footer', 'h1', 'h2', 'h3', 'header', 'i', 'li',
  'main', 'nav', 'ol', 'p', 'section', 'small', 'span', 'strong', 'time', 'ul']);
const ATTRIBUTES = new Set(['class', 'id', 'href', 'rel', 'role', 'datetime', 'title', 'lang', 'aria-busy',
  'aria-live', 'aria-label', 'data-src', 'data-limit']);

function safeHref(value) {
  if (/^report\.html\?page=[^:]*$/.test(value)) return true;
  try {
    const url = new URL(value);
    return url.protocol === 'http:' || url.protocol === 'https:' || url.protocol === 'mailto:';
  } catch (e) {
    return false;
  }
}

// Keeps what the report's markup is made of: any other element goes with
// its content, any other attribute goes, comments go; text stays text.
function clean(root) {
  const walker = root.ownerDocument.createTreeWalker(root, NodeFilter.SHOW_ELEMENT | NodeFilter.SHOW_COMMENT |
    NodeFilter.SHOW_PROCESSING_INSTRUCTION);
  const drop = [];
  for (let node = walker.nextNode(); node; node = walker.nextNode()) {
    if (node.nodeType !== Node.ELEMENT_NODE || node.namespaceURI !== 'http://www.w3.org/1999/xhtml' ||
        !ELEMENTS.has(node.localName)) {
      drop.push(node);
      continue;
    }
    for (const attribute of [...node.attributes]) {
      const name = attribute.name.toLowerCase();
      if (!ATTRIBUTES.has(name) || attribute.namespaceURI || (name === 'href' && !safeHref(attribute.value))) {
        node.removeAttributeNode(attribute);
      }
    }
  }
  for (const node of drop) node.remove();
  return root;
}

function parse(html) {
  return clean(new DOMParser().parseFromString(html, 'text/html').body);
}

function showError(text) {
  const main = document.createElement('main');
  main.className = 'q-main';
  const box = document.createElement('div');
  box.className = 'q-error';
  box.setAttribute('role', 'alert');
  const p = document.createElement('p');
  p.textContent = text;
  box.appendChild(p);
  main.appendChild(box);
  document.body.replaceChildren(main);
  document.body.dataset.ready = 'true';
}

let title = '';

function showFrame(frame) {
  const body = parse(frame.html);
  title = frame.title;
  document.title = title;
  document.body.replaceChildren(...[...body.childNodes].map((n) => document.importNode(n, true)));
}

// A box: the slot's new content and the state it takes; a later box for the
// same slot (the site's answer after a kept copy) replaces it.
function placeBox(box) {
  const slot = document.getElementById(box.id);
  if (slot && box.state === 'q-counted' && slot.classList.contains('q-category-new')) {
    // A category's count of new headlines: text only.
    slot.textContent = typeof box.html === 'string' ? box.html : '';
    return;
  }
  if (!slot || !slot.classList.contains('q-feed-slot')) return;
  const content = parse(`<div>${box.html}</div>`).firstElementChild;
  slot.replaceChildren(...(content ? [...content.childNodes].map((n) => document.importNode(n, true)) : []));
  slot.classList.remove('q-loaded', 'q-failed');
  if (box.state === 'q-loaded' || box.state === 'q-failed') slot.classList.add(box.state);
  slot.removeAttribute('aria-busy');
  if (box.title) document.title = `${box.title} \u2013 ${title}`;
}

function show() {
  const page = new URLSearchParams(location.search).get('page') || 'index.html';
  const port = chrome.runtime.connect({ name: 'report' });
  let ended = false;
  port.onMessage.addListener((answer) => {
    if (!answer || !answer.ok) {
      ended = true;
      showError((answer && answer.error && answer.error.message) || 'Quorvelle did not answer.');
      return;
    }
    if (answer.part === 'frame') {
      showFrame(answer.result);
    } else if (answer.part === 'box') {
      placeBox(answer.result);
    } else if (answer.part === 'end') {
      ended = true;
      document.body.dataset.ready = 'true';
      port.disconnect();
    }
  });
  port.onDisconnect.addListener(() => {
    if (!ended) showError('Quorvelle did not answer.');
  });
  port.postMessage({ page });
}

try {
  show();
} catch (e) {
  showError(String(e.message || e));
}
