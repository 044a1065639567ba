// Looks once for what a wait is for: text the user can see (letter case and runs of blanks
// ignored), or shown elements matching a CSS selector, or that text inside such elements.
// Open shadow roots count as part of the page. Evaluates to the JSON text of
// {state: "seen", seen, count} (what was found, and how many elements show it), {state:
// "unseen"}, or {state: "invalid", reason} for a selector the browser cannot read. The text
// and selector placeholders are replaced by JavaScript string literals; either may be empty.
(function () {
  __PAGE_HELPERS__;
  const text = __TEXT__;
  const selector = __SELECTOR__;
  // A hostile page may be endless: the walk stops after this many nodes.
  const maxNodes = 100000;
  const fold = (s) => s.replace(/\s+/g, ' ').trim().toLowerCase();
  const wanted = fold(text);
  // A frame whose element is not shown has no room on screen: nothing in it can be seen.
  if (window !== window.top && (innerWidth === 0 || innerHeight === 0)) return JSON.stringify({ state: 'unseen' });

  // Every element that shows itself, found in the document and in each open shadow root.
  const roots = [document];
  let visited = 0;
  for (let i = 0; i < roots.length && visited < maxNodes; i++) {
    const walker = document.createTreeWalker(roots[i], NodeFilter.SHOW_ELEMENT);
    while (walker.nextNode() && ++visited < maxNodes) if (walker.currentNode.shadowRoot) roots.push(walker.currentNode.shadowRoot);
  }
  let scopes;
  if (selector) {
    scopes = [];
    try {
      for (const root of roots) for (const el of root.querySelectorAll(selector)) if (!isHidden(el)) scopes.push(el);
    } catch (e) {
      return JSON.stringify({ state: 'invalid', reason: String(e.message || e) });
    }
  } else {
    scopes = document.body ? [document.body] : [];
  }
  if (!wanted) {
    if (!scopes.length) return JSON.stringify({ state: 'unseen' });
    const first = scopes[0];
    const name = accessibleName(first).replace(/\s+/g, ' ').slice(0, 80);
    return JSON.stringify({ state: 'seen', seen: first.tagName.toLowerCase() + (name ? ' "' + name + '"' : ''),
      count: scopes.length });
  }

  // The text as shown: shadow content in place of its host's children, slots filled with what
  // they show, button inputs by their faces, hidden parts and scripts left out; pieces joined
  // by blanks.
  const skipped = new Set(['SCRIPT', 'STYLE', 'NOSCRIPT', 'TEMPLATE']);
  function shownText(node, parts) {
    if (++visited > maxNodes * 2) return;
    if (node.nodeType === 3) {
      if (node.parentElement && !isHidden(node.parentElement)) parts.push(node.nodeValue);
      return;
    }
    if (node.nodeType !== 1 && node.nodeType !== 11) return;
    if (node.nodeType === 1 && skipped.has(node.tagName)) return;
    // A button input shows its value as its face.
    if (node.tagName === 'INPUT' && /^(button|submit|reset)$/.test(node.type)) {
      if (!isHidden(node)) parts.push(node.value);
      return;
    }
    const assigned = node.tagName === 'SLOT' ? node.assignedNodes() : [];
    const children = node.shadowRoot ? node.shadowRoot.childNodes : assigned.length ? assigned : node.childNodes;
    for (const child of children) shownText(child, parts);
  }
  const found = [];
  for (const scope of scopes) {
    const parts = [];
    shownText(scope, parts);
    const shown = parts.join(' ').replace(/\s+/g, ' ').trim();
    const at = shown.toLowerCase().indexOf(wanted);
    if (at >= 0) found.push(shown.slice(Math.max(0, at - 40), at + wanted.length + 40));
  }
  if (!found.length) return JSON.stringify({ state: 'unseen' });
  return JSON.stringify({ state: 'seen', seen: found[0], count: found.length });
})()
