/* The headlines report: the native host renders the page (stylesheets
 * applied, feeds downloaded); this page shows it. What comes from the host
 * is parsed into an inert document first, and only markup that cannot run
 * anything is taken over. */
'use strict';

const DROP = 'script, iframe, frame, object, embed, applet, form, base, meta, link, noscript, template';

function safeHref(value) {
  if (/^report\.html\?page=/.test(value)) return true;
  try {
    const url = new URL(value);
    return url.protocol === 'http:' || url.protocol === 'https:' || url.protocol === 'mailto:';
  } catch (e) {
    return false;
  }
}

function clean(root) {
  for (const node of root.querySelectorAll(DROP)) node.remove();
  for (const element of root.querySelectorAll('*')) {
    for (const attribute of [...element.attributes]) {
      const name = attribute.name.toLowerCase();
      if (name.startsWith('on') || name === 'src' || name === 'srcset' || name === 'style' ||
          (name === 'href' && !safeHref(attribute.value))) {
        element.removeAttribute(attribute.name);
      }
    }
  }
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
}

async function show() {
  const page = new URLSearchParams(location.search).get('page') || 'index.html';
  const answer = await chrome.runtime.sendMessage({ type: 'host', command: 'report', args: { page } });
  if (!answer || !answer.ok) {
    showError((answer && answer.error && answer.error.message) || 'Quorvelle did not answer.');
    return;
  }
  const doc = new DOMParser().parseFromString(answer.result.html, 'text/html');
  const styles = [...doc.querySelectorAll('head style')];
  clean(doc.body);
  document.title = answer.result.title;
  for (const style of styles) document.head.appendChild(document.importNode(style, true));
  document.body.replaceChildren(...[...doc.body.childNodes].map((n) => document.importNode(n, true)));
  document.body.dataset.ready = 'true';
}

show().catch((e) => showError(String(e.message || e)));
