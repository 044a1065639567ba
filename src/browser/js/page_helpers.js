// Helpers shared by the page scripts. The build puts them in place of the helpers
// placeholder inside each script's function, so each script stays self-contained when it
// runs in the page.
function slug(text) {
  return String(text).toLowerCase().replace(/[^a-z0-9]+/g, '_').replace(/^_+|_+$/g, '').slice(0, 50);
}
function trimmed(value) {
  return value == null ? '' : String(value).trim();
}
// What the user cannot see: hidden itself or inside a hidden section (display none on any
// ancestor, visibility hidden, content-visibility hidden).
function isHidden(el) {
  if (el.hidden || el.getAttribute('aria-hidden') === 'true') return true;
  if (el.checkVisibility) return !el.checkVisibility({ checkVisibilityCSS: true, visibilityProperty: true });
  const style = getComputedStyle(el);
  return style.display === 'none' || style.visibility === 'hidden' || !el.getClientRects().length;
}
// Text as it is shown: a web component's shadow content in place of its host's children,
// which show only where its slots put them. `parts` gathers the text nodes' values.
const leftOut = 'nav, header, footer, [role="navigation"], [role="banner"], [role="contentinfo"], ' +
  'script, style, noscript, template, [aria-hidden="true"], .ad, [data-ad]';
function collectShownText(node, parts) {
  if (node.nodeType === 3) {
    parts.push(node.nodeValue);
    return;
  }
  if (node.nodeType !== 1 || node.matches(leftOut)) return;
  const assigned = node.tagName === 'SLOT' ? node.assignedNodes() : [];
  const children = node.shadowRoot ? node.shadowRoot.childNodes : assigned.length ? assigned : node.childNodes;
  for (const child of children) collectShownText(child, parts);
}
// An element's own text; inside a web component, what its slots show counts.
function ownText(el) {
  if (!el.querySelector('slot')) return el.textContent;
  const parts = [];
  for (const child of el.childNodes) collectShownText(child, parts);
  return parts.join('');
}
// What a reader names an element by, from what it carries: its ARIA name, its shown words,
// its title, a button input's value, an image's alternative text or an icon's own title, and
// only then a glyph it shows ("+", an arrow).
function accessibleName(el) {
  const root = el.getRootNode();
  const byId = (el.getAttribute('aria-labelledby') || '').split(/\s+/).filter(Boolean)
    .map((id) => (root.getElementById ? root.getElementById(id) : null))
    .filter(Boolean).map((target) => trimmed(target.textContent)).join(' ');
  const shown = trimmed(ownText(el)).replace(/\s+/g, ' ');
  const image = el.querySelector('img[alt], svg title');
  const candidates = [
    trimmed(el.getAttribute('aria-label')), trimmed(byId), /[\p{L}\p{N}]/u.test(shown) ? shown : '',
    trimmed(el.getAttribute('title')), el.tagName === 'INPUT' ? trimmed(el.value) : '',
    image ? trimmed(image.tagName === 'IMG' ? image.getAttribute('alt') : image.textContent) : '', shown,
  ];
  return candidates.find((text) => text) || '';
}
// Between the path of a shadow host and the path inside its shadow root, in a selector.
const shadowStep = ' >>> ';
// The element a selector of the scan names, stepping into shadow roots where it says so.
function findElement(selector) {
  const steps = String(selector).split(shadowStep);
  let root = document;
  for (let i = 0; ; i++) {
    const el = root.querySelector(steps[i]);
    if (!el || i === steps.length - 1) return el;
    root = el.shadowRoot;
    if (!root) return null;
  }
}
// Sets an input's or text area's value the way typing does: focus, the new value, input and
// change, then leaving the field. Frameworks that track the value themselves ignore a plain
// assignment; the prototype's setter goes underneath them. Debounced fields commit on blur.
function fillValue(el, value) {
  el.focus();
  const proto = el.tagName === 'TEXTAREA' ? HTMLTextAreaElement.prototype : HTMLInputElement.prototype;
  const descriptor = Object.getOwnPropertyDescriptor(proto, 'value');
  if (descriptor && descriptor.set) descriptor.set.call(el, value);
  else el.value = value;
  el.dispatchEvent(new InputEvent('input', { bubbles: true, composed: true, inputType: 'insertText', data: value }));
  el.dispatchEvent(new Event('change', { bubbles: true }));
  el.blur();
}
