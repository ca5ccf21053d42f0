/* Run in the page when the popup opens: the feeds the page announces with
 * <link rel="alternate"> of a feed type, addresses already resolved by the
 * page (its base, entities, scheme-relative forms). The last expression is
 * the result handed back. */
(() => {
  const types = ['application/rss+xml', 'application/atom+xml', 'application/rdf+xml', 'application/xml', 'text/xml'];
  const found = [];
  for (const link of document.querySelectorAll('link[rel~="alternate" i][href]')) {
    const type = (link.getAttribute('type') || '').trim().toLowerCase().split(';')[0].trim();
    if (types.includes(type)) found.push({ url: link.href, title: (link.title || '').trim(), type });
  }
  return found;
})();
