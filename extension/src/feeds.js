/* Run in the page when the popup opens: the page's markup and address, for
 * the native host to find the feeds in as the band does on the same page.
 * The whole page as the browser serialises it, when it fits in one message
 * to the host; else its link and base elements, which are all that
 * discovery reads. The last expression is the result handed back. */
(() => {
  const limit = 900 * 1024; // bytes of the message, below the host's 1 MiB
  const size = (text) => new TextEncoder().encode(JSON.stringify(text)).length;
  let html = document.documentElement ? document.documentElement.outerHTML : '';
  if (size(html) > limit) {
    html = Array.from(document.querySelectorAll('link, base'), (e) => e.outerHTML).join('\n');
    while (size(html) > limit) html = html.slice(0, Math.floor(html.length / 2));
  }
  return { html, url: document.URL };
})();
