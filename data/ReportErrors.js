/* Quorvelle headlines report.
 *
 * In the Quorvelle browser the browser renders the page itself: the script
 * asks it for the page's frame (quorvelle-feed:?report=<this page>) and then,
 * one answer after the other, for each feed's box as it arrives; it only
 * places what the browser rendered, through an inert parse that keeps
 * nothing active. Elsewhere (the report folder opened in another browser, or
 * served over http) it loads the report's XML files, renders them with the
 * report's stylesheets, fetches every feed and shows, in place and per feed,
 * what went wrong when a feed cannot be shown.
 *
 * Feed text never becomes markup: the stylesheets write it as text, links
 * are kept only for http, https and mailto, and text that its feed declares
 * as HTML is reduced to its plain text here. */
var QuorvelleReport = (function () {
  'use strict';

  // The same texts, under the same names, as the renderer in the core
  // (report/headlines_renderer.cpp); one test holds them together.
  var MESSAGES = {
    unreachable: 'This feed could not be reached. The site may be down, the address may have changed, or this computer may be offline. Try again later.',
    httpError: 'The site answered with an error (%s) instead of the feed. The address may have changed.',
    notFeed: 'The address answered, but what came back is not a news feed (RSS, RDF or Atom) that this report can show.',
    outside: 'Headlines are fetched by the Quorvelle browser. This page was opened in another browser, which does not let a page read feeds from other web sites. Open the report from the Quorvelle toolbar to see the headlines.',
    refused: 'Quorvelle does not fetch this address. Only http, https and ftp addresses can be read.',
    tooLarge: 'This feed is too large to be shown.',
    timedOut: 'This feed did not arrive in time. The site may be slow or busy at the moment. Try again later.',
    empty: 'The feed has no headlines at the moment.',
    report: 'This part of the report could not be read. Choose "View Feeds..." again to rebuild the report.',
    noCategory: 'No feeds yet'
  };

  // Runs inside the Quorvelle browser, which offers the feed proxy.
  function inHost() {
    return /Quorvelle/.test(navigator.userAgent || '');
  }

  // The proxy address of a feed: quorvelle-feed:?url=<percent-encoded address>
  function proxyUrl(src) {
    return 'quorvelle-feed:?url=' + encodeURIComponent(src);
  }

  function isLocalPage() {
    return location.protocol === 'file:';
  }

  function sameOrigin(address) {
    try {
      return new URL(address, location.href).origin === location.origin && location.origin !== 'null';
    } catch (e) {
      return false;
    }
  }

  // How long the Quorvelle browser may take for one feed; the page waits a
  // little longer, so the browser's answer always says what happened.
  var PROXY_TIME_LIMIT = 30000;

  // GET url as XML; callback(error, document). error is null or
  // {kind: 'network' | 'http' | 'parse' | 'timeout', status: n}.
  function getXml(url, callback, timeLimit) {
    var xhr = new XMLHttpRequest();
    var done = false;
    function finish(error, doc) {
      if (!done) {
        done = true;
        callback(error, doc);
      }
    }
    try {
      xhr.open('GET', url, true);
      xhr.overrideMimeType('application/xml');
    } catch (e) {
      finish({ kind: 'network', status: 0 });
      return;
    }
    xhr.onload = function () {
      var status = xhr.status;
      // The Quorvelle browser's feed proxy says why it could not hand a feed
      // over with an answer of its own type whose text is the status.
      var type = xhr.getResponseHeader('Content-Type') || '';
      if (type.indexOf('application/x-quorvelle-proxy-error') === 0) {
        finish({ kind: 'http', status: parseInt(xhr.responseText, 10) || 502 });
        return;
      }
      // Files of the report (file:) answer with status 0.
      if (status >= 400 || (status === 0 && !xhr.responseText)) {
        finish(status >= 400 ? { kind: 'http', status: status } : { kind: 'network', status: 0 });
        return;
      }
      var doc = xhr.responseXML;
      if (!doc || !doc.documentElement || doc.getElementsByTagName('parsererror').length > 0) {
        finish({ kind: 'parse', status: status });
        return;
      }
      finish(null, doc);
    };
    xhr.onerror = function () { finish({ kind: 'network', status: 0 }); };
    xhr.ontimeout = function () { finish({ kind: 'timeout', status: 0 }); };
    xhr.timeout = timeLimit || 30000;
    try {
      xhr.send();
    } catch (e) {
      finish({ kind: 'network', status: 0 });
    }
  }

  // A feed: through the browser's proxy the page waits past the proxy's own
  // limit, so the proxy's answer (504 when time ran out) decides the message.
  function getFeed(address, viaProxy, callback) {
    getXml(address, callback, viaProxy ? PROXY_TIME_LIMIT + 5000 : 30000);
  }

  // A message box shown in place of what could not be shown.
  function showError(target, text) {
    var box = document.createElement('div');
    box.className = 'q-error';
    box.setAttribute('role', 'alert');
    var p = document.createElement('p');
    p.textContent = text;
    box.appendChild(p);
    while (target.firstChild) {
      target.removeChild(target.firstChild);
    }
    target.appendChild(box);
  }

  function messageForFeed(error, src, viaProxy) {
    if (error.kind === 'parse') {
      return MESSAGES.notFeed;
    }
    if (error.kind === 'timeout') {
      return MESSAGES.timedOut;
    }
    if (viaProxy) {
      if (error.status === 403) return MESSAGES.refused;
      if (error.status === 413) return MESSAGES.tooLarge;
      if (error.status === 504) return MESSAGES.timedOut;
      return MESSAGES.unreachable;
    }
    if (error.kind === 'http') {
      return MESSAGES.httpError.replace('%s', String(error.status));
    }
    if (isLocalPage() || !sameOrigin(src)) {
      return MESSAGES.outside;
    }
    return MESSAGES.unreachable;
  }

  var stylesheets = {};

  // The stylesheet of this folder, loaded once; callback(error, processor).
  function processorFor(name, callback) {
    if (stylesheets[name]) {
      callback(null, stylesheets[name]);
      return;
    }
    getXml(name, function (error, doc) {
      if (error) {
        callback(error);
        return;
      }
      try {
        var processor = new XSLTProcessor();
        processor.importStylesheet(doc);
        stylesheets[name] = processor;
        callback(null, processor);
      } catch (e) {
        callback({ kind: 'parse', status: 0 });
      }
    });
  }

  function transform(processor, doc, params) {
    processor.clearParameters();
    for (var key in params) {
      if (Object.prototype.hasOwnProperty.call(params, key)) {
        processor.setParameter(null, key, params[key]);
      }
    }
    return processor.transformToFragment(doc, document);
  }

  // HTML held as text (escaped summaries, Atom html titles) reduced to its
  // plain text. The parsed document is inert: nothing in it runs or loads.
  function plainText(html) {
    var doc = new DOMParser().parseFromString('<body>' + html + '</body>', 'text/html');
    var drop = doc.querySelectorAll('script, style, noscript, template, iframe, object');
    for (var i = 0; i < drop.length; i++) {
      drop[i].parentNode.removeChild(drop[i]);
    }
    var text = (doc.body ? doc.body.textContent : '') || '';
    return text.replace(/\s+/g, ' ').trim();
  }

  function shorten(text, max) {
    if (text.length <= max) return text;
    var cut = text.lastIndexOf(' ', max);
    return text.substring(0, cut > max * 0.6 ? cut : max) + '\u2026';
  }

  var MONTHS = ['Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun', 'Jul', 'Aug', 'Sep', 'Oct', 'Nov', 'Dec'];

  // "Apr 25, 2005, 7:39 PM" in local time, as every window shows a date.
  function readableDate(d) {
    var hour = d.getHours() % 12 === 0 ? 12 : d.getHours() % 12;
    var minute = (d.getMinutes() < 10 ? '0' : '') + d.getMinutes();
    return MONTHS[d.getMonth()] + ' ' + d.getDate() + ', ' + d.getFullYear() + ', ' + hour + ':' + minute +
      (d.getHours() < 12 ? ' AM' : ' PM');
  }

  function isSafeLink(url) {
    return url.protocol === 'http:' || url.protocol === 'https:' || url.protocol === 'mailto:';
  }

  // Finishes a rendered feed: plain-text summaries and titles, readable
  // dates, relative item links resolved against the feed's address.
  function polish(root, feedAddress) {
    var i;
    var texts = root.querySelectorAll('[data-html], [data-max]');
    for (i = 0; i < texts.length; i++) {
      var limit = parseInt(texts[i].getAttribute('data-max') || '0', 10);
      var text = texts[i].hasAttribute('data-html') ? plainText(texts[i].textContent) : texts[i].textContent;
      texts[i].textContent = limit > 0 ? shorten(text, limit) : text;
      texts[i].removeAttribute('data-html');
    }
    // A summary that only repeats its headline says nothing new.
    var items = root.querySelectorAll('.q-item');
    for (i = 0; i < items.length; i++) {
      var title = items[i].querySelector('.q-item-title');
      var summary = items[i].querySelector('.q-item-summary');
      if (title && summary && summary.textContent === title.textContent) {
        summary.parentNode.removeChild(summary);
      }
    }
    var dates = root.querySelectorAll('[data-date]');
    for (i = 0; i < dates.length; i++) {
      var raw = dates[i].getAttribute('data-date');
      var parsed = new Date(raw.replace(/^\s+|\s+$/g, ''));
      if (!isNaN(parsed.getTime())) {
        dates[i].textContent = readableDate(parsed);
        dates[i].setAttribute('datetime', parsed.toISOString());
        dates[i].setAttribute('title', raw);
      }
    }
    var relative = root.querySelectorAll('[data-link]');
    for (i = 0; i < relative.length; i++) {
      var span = relative[i];
      var base = feedAddress;
      var bases = (span.getAttribute('data-bases') || '').split('\n');
      try {
        for (var b = 0; b < bases.length; b++) {
          if (bases[b]) base = new URL(bases[b], base).href;
        }
        var resolved = new URL(span.getAttribute('data-link'), base);
        if (isSafeLink(resolved)) {
          var a = document.createElement('a');
          a.setAttribute('href', resolved.href);
          a.setAttribute('rel', 'noopener noreferrer');
          a.textContent = span.textContent;
          span.parentNode.replaceChild(a, span);
        }
      } catch (e) {
        // No usable link: the title stays plain text.
      }
    }
  }

  // Fetches one feed and renders it into slot (an element holding
  // data-src and, optionally, data-limit).
  function renderFeed(slot, onTitle) {
    var src = slot.getAttribute('data-src') || '';
    var limit = parseInt(slot.getAttribute('data-limit') || '0', 10);
    var viaProxy = inHost();
    var address = viaProxy ? proxyUrl(src) : src;
    slot.setAttribute('aria-busy', 'true');
    function failed(text) {
      slot.removeAttribute('aria-busy');
      slot.className += ' q-failed';
      showError(slot, text);
    }
    processorFor('details.xsl', function (xslError, processor) {
      if (xslError) {
        failed(MESSAGES.report);
        return;
      }
      getFeed(address, viaProxy, function (error, doc) {
        if (error) {
          failed(messageForFeed(error, src, viaProxy));
          return;
        }
        var name = doc.documentElement.localName;
        if (name !== 'rss' && name !== 'RDF' && name !== 'feed' && name !== 'channel') {
          failed(MESSAGES.notFeed);
          return;
        }
        var fragment = null;
        try {
          fragment = transform(processor, doc, { limit: limit });
        } catch (e) {
          fragment = null;
        }
        if (!fragment || !fragment.firstChild) {
          failed(MESSAGES.notFeed);
          return;
        }
        var holder = document.createElement('div');
        holder.appendChild(fragment);
        polish(holder, src);
        while (slot.firstChild) slot.removeChild(slot.firstChild);
        while (holder.firstChild) slot.appendChild(holder.firstChild);
        if (!slot.querySelector('.q-item')) {
          var p = document.createElement('p');
          p.className = 'q-note';
          p.textContent = MESSAGES.empty;
          slot.appendChild(p);
        }
        slot.removeAttribute('aria-busy');
        slot.className += ' q-loaded';
        if (onTitle) {
          var t = slot.querySelector('.q-feed-title');
          if (t && t.textContent) onTitle(t.textContent);
        }
      });
    });
  }

  // Category links carry the folder name; the address is built here so that
  // any character of a name (#, ?, %) leads to the right folder. Links to
  // the categories of the whole list (data-root) and back to the start page
  // (data-root-link) lead to the report's top folder, however deep this page
  // lies.
  function fixCategoryLinks(root) {
    var links = root.querySelectorAll('a[data-folder]');
    var toTop = [];
    for (var i = 0; i < links.length; i++) {
      if (links[i].hasAttribute('data-root')) {
        toTop.push(links[i]);
      } else {
        linkCategory(links[i], links[i].getAttribute('data-prefix') || '');
      }
    }
    var home = root.querySelectorAll('a[data-root-link]');
    if (!toTop.length && !home.length) return;
    findTopFolder('../', 0, function (top) {
      for (var t = 0; t < toTop.length; t++) {
        linkCategory(toTop[t], top);
      }
      for (var h = 0; h < home.length; h++) {
        home[h].setAttribute('href', top + home[h].getAttribute('data-root-link'));
      }
    });
  }

  function linkCategory(a, prefix) {
    var folder = prefix + encodeURIComponent(a.getAttribute('data-folder'));
    a.setAttribute('href', folder + '/index.html');
    if (a.hasAttribute('data-probe')) {
      probeCategory(a, folder + '/index.xml');
    }
  }

  // The relative address of the report's top folder: the nearest folder up
  // whose index lists the whole feed list (named "General"); '../' when
  // none is found.
  function findTopFolder(prefix, depth, callback) {
    getXml(prefix + 'index.xml', function (error, doc) {
      if (!error && doc.documentElement.localName === 'Quorvelle_Feeds' &&
          doc.documentElement.getAttribute('name') === 'General') {
        callback(prefix);
      } else if (depth < 16) {
        findTopFolder('../' + prefix, depth + 1, callback);
      } else {
        callback('../');
      }
    });
  }

  // A category without feeds has no folder in the report: its link becomes
  // plain text.
  function probeCategory(a, indexAddress) {
    getXml(indexAddress, function (error) {
      if (!error) return;
      var span = document.createElement('span');
      span.className = 'q-category-empty';
      span.textContent = a.textContent;
      var note = document.createElement('small');
      note.textContent = ' \u2013 ' + MESSAGES.noCategory;
      span.appendChild(note);
      a.parentNode.replaceChild(span, a);
    });
  }

  function output() {
    return document.getElementById('OutputResult');
  }

  // A page of the report: the XML file of the page rendered with the
  // stylesheet of this folder, then every feed slot filled.
  function showPage(xmlFile, stylesheet, onFeedTitle) {
    var target = output();
    if (!target) return;
    processorFor(stylesheet, function (xslError, processor) {
      if (xslError) {
        showError(target, MESSAGES.report);
        return;
      }
      getXml(xmlFile, function (error, doc) {
        if (error) {
          showError(target, MESSAGES.report);
          return;
        }
        var fragment = null;
        try {
          fragment = transform(processor, doc, {});
        } catch (e) {
          fragment = null;
        }
        if (!fragment) {
          showError(target, MESSAGES.report);
          return;
        }
        while (target.firstChild) target.removeChild(target.firstChild);
        target.appendChild(fragment);
        fixCategoryLinks(target);
        var slots = target.querySelectorAll('.q-feed-slot');
        for (var i = 0; i < slots.length; i++) {
          renderFeed(slots[i], onFeedTitle);
        }
      });
    });
  }

  // ---- in the Quorvelle browser: the browser renders, the page places

  var ALLOWED_ELEMENTS = /^(DIV|P|A|SPAN|H1|H2|H3|OL|UL|LI|TIME|HEADER|NAV|ARTICLE|SECTION|SMALL|B|I|EM|STRONG|BR)$/;
  var ALLOWED_ATTRIBUTES = /^(class|id|href|rel|datetime|title|role|lang|dir|aria-[a-z]+|data-[a-z-]+)$/;

  // A link the browser wrote: the web, mail, or a page of the report.
  function isPlaceableLink(href) {
    if (/^(https?|mailto):/i.test(href)) return true;
    var colon = href.indexOf(':');
    return colon < 0 || (href.indexOf('/') >= 0 && colon > href.indexOf('/'));
  }

  // Nodes from HTML the browser rendered, made in an inert document (nothing
  // in it runs or loads) and kept only as far as they are plain content.
  function inertNodes(html) {
    var doc = new DOMParser().parseFromString('<body>' + html + '</body>', 'text/html');
    var all = doc.body.querySelectorAll('*');
    for (var i = all.length - 1; i >= 0; i--) {
      var el = all[i];
      if (!ALLOWED_ELEMENTS.test(el.tagName)) {
        el.parentNode.removeChild(el);
        continue;
      }
      for (var a = el.attributes.length - 1; a >= 0; a--) {
        var name = el.attributes[a].name;
        if (!ALLOWED_ATTRIBUTES.test(name) || (name === 'href' && !isPlaceableLink(el.attributes[a].value))) {
          el.removeAttribute(name);
        }
      }
    }
    var nodes = [];
    while (doc.body.firstChild) nodes.push(document.adoptNode(doc.body.removeChild(doc.body.firstChild)));
    return nodes;
  }

  function place(target, html) {
    while (target.firstChild) target.removeChild(target.firstChild);
    var nodes = inertNodes(html);
    for (var i = 0; i < nodes.length; i++) target.appendChild(nodes[i]);
  }

  // GET url as JSON; callback(error, value).
  function getJson(url, callback) {
    var xhr = new XMLHttpRequest();
    var done = false;
    function finish(error, value) {
      if (!done) {
        done = true;
        callback(error, value);
      }
    }
    try {
      xhr.open('GET', url, true);
    } catch (e) {
      finish({ kind: 'network' });
      return;
    }
    xhr.onload = function () {
      var value = null;
      try {
        value = JSON.parse(xhr.responseText);
      } catch (e) {
        value = null;
      }
      if (!value || typeof value !== 'object') {
        finish({ kind: 'parse' });
        return;
      }
      finish(null, value);
    };
    xhr.onerror = function () { finish({ kind: 'network' }); };
    xhr.timeout = PROXY_TIME_LIMIT + 35000;
    xhr.ontimeout = function () { finish({ kind: 'timeout' }); };
    try {
      xhr.send();
    } catch (e) {
      finish({ kind: 'network' });
    }
  }

  function isReload() {
    try {
      var entries = performance.getEntriesByType('navigation');
      return entries.length > 0 && entries[0].type === 'reload';
    } catch (e) {
      return false;
    }
  }

  // One box the browser rendered, in its slot: a later box of the same feed
  // (the site's answer after a kept copy) replaces the earlier one.
  function placeBox(box, pageTitle) {
    var slot = document.getElementById(box.slot);
    if (!slot || typeof box.html !== 'string') return;
    if (box.state === 'q-counted') {
      // A category's count of new headlines: text only.
      slot.textContent = box.html;
      return;
    }
    place(slot, box.html);
    slot.className = slot.className.replace(/\s*\bq-(loaded|failed)\b/g, '') + ' ' +
      (box.state === 'q-failed' ? 'q-failed' : 'q-loaded');
    if (box.final) slot.removeAttribute('aria-busy');
    if (pageTitle && box.title) document.title = box.title + ' \u2013 ' + pageTitle;
  }

  // Asks for the boxes that arrived after the last one placed, until the
  // browser says every feed of the page is in.
  function pollBoxes(session, after, pageTitle) {
    getJson('quorvelle-feed:?session=' + encodeURIComponent(session) + '&after=' + after, function (error, answer) {
      if (error) {
        var waiting = output().querySelectorAll('.q-feed-slot[aria-busy]');
        for (var i = 0; i < waiting.length; i++) {
          if (waiting[i].querySelector('.q-loading')) {
            waiting[i].className += ' q-failed';
            showError(waiting[i], MESSAGES.timedOut);
          }
          waiting[i].removeAttribute('aria-busy');
        }
        return;
      }
      var boxes = answer.boxes || [];
      for (var b = 0; b < boxes.length; b++) placeBox(boxes[b], pageTitle);
      if (!answer.done) pollBoxes(session, answer.next, pageTitle);
    });
  }

  function showPageInHost(feedPage) {
    var target = output();
    if (!target) return;
    var pageTitle = feedPage ? document.title : '';
    var address = 'quorvelle-feed:?report=' + encodeURIComponent(location.href.split('#')[0]) +
      (isReload() ? '&reload=1' : '');
    getJson(address, function (error, frame) {
      if (error || typeof frame.content !== 'string') {
        showError(target, frame && frame.message ? frame.message : MESSAGES.report);
        return;
      }
      place(target, frame.content);
      if (frame.session) pollBoxes(frame.session, 0, pageTitle);
    });
  }

  return {
    messages: MESSAGES,
    proxyUrl: proxyUrl,
    showIndexPage: function (xmlFile) {
      if (inHost()) {
        showPageInHost(false);
      } else {
        showPage(xmlFile, 'index.xsl');
      }
    },
    showFeedPage: function (xmlFile) {
      if (inHost()) {
        showPageInHost(true);
        return;
      }
      showPage(xmlFile, 'details.xsl', function (title) {
        document.title = title + ' \u2013 ' + document.title;
      });
    }
  };
})();
