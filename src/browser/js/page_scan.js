// Turns the page's visible, enabled controls into named tools and sums up the page.
// Evaluates to the JSON text of {url, title, toolCount, tools, headings, content}.
(function () {
  __PAGE_HELPERS__;
  function isDisabled(el) {
    return !!(el.disabled || el.readOnly || el.getAttribute('aria-disabled') === 'true');
  }
  function labelledByText(el) {
    const id = el.getAttribute('aria-labelledby');
    const target = id ? document.getElementById(id) : null;
    return target ? trimmed(target.textContent) : '';
  }
  function forLabelText(el) {
    if (!el.id) return '';
    const label = document.querySelector('label[for="' + CSS.escape(el.id) + '"]');
    return label ? trimmed(label.textContent) : '';
  }
  function getLabel(el) {
    const candidates = [
      () => trimmed(el.getAttribute('aria-label')),
      () => labelledByText(el),
      () => { const own = trimmed(el.textContent); return own.length < 80 ? own : ''; },
      () => trimmed(el.getAttribute('title')),
      () => trimmed(el.getAttribute('placeholder')) || trimmed(el.getAttribute('aria-placeholder')),
      () => el.id || '',
    ];
    for (const candidate of candidates) {
      const text = candidate();
      if (text) return text;
    }
    return null;
  }
  function getInputLabel(el) {
    const aria = trimmed(el.getAttribute('aria-label'));
    if (aria) return aria;
    const forText = forLabelText(el);
    if (forText) return forText;
    const enclosing = el.closest('label');
    if (enclosing) {
      const copy = enclosing.cloneNode(true);
      copy.querySelectorAll('input, textarea, select').forEach((n) => n.remove());
      const text = trimmed(copy.textContent);
      if (text) return text;
    }
    return trimmed(el.getAttribute('placeholder')) || trimmed(el.getAttribute('name')) || null;
  }
  function getWidgetLabel(el) {
    const aria = trimmed(el.getAttribute('aria-label'));
    if (aria) return aria;
    const labelledBy = labelledByText(el);
    if (labelledBy) return labelledBy;
    const forText = forLabelText(el);
    if (forText) return forText;
    for (let sib = el.previousElementSibling; sib; sib = sib.previousElementSibling) {
      if (sib.tagName === 'LABEL' || sib.hasAttribute('data-label')) {
        const text = trimmed(sib.textContent);
        if (text) return text;
      }
    }
    const placeholder = el.querySelector('[data-placeholder]');
    if (placeholder && trimmed(placeholder.textContent)) return trimmed(placeholder.textContent);
    const own = trimmed(el.textContent);
    return own && own.length < 40 ? own : null;
  }
  // Rows of a long table share one parent; counting its children once per scan rather than
  // once per control keeps large pages fast.
  const siblingPositions = new Map();
  function positionAmongSameTag(node) {
    const parent = node.parentElement;
    let positions = siblingPositions.get(parent);
    if (!positions) {
      positions = { counts: new Map(), index: new Map() };
      for (const child of parent.children) {
        const n = (positions.counts.get(child.tagName) || 0) + 1;
        positions.counts.set(child.tagName, n);
        positions.index.set(child, n);
      }
      siblingPositions.set(parent, positions);
    }
    return positions.counts.get(node.tagName) > 1 ? positions.index.get(node) : 0;
  }
  function cssPath(el) {
    const parts = [];
    for (let node = el; node && node.nodeType === 1; node = node.parentElement) {
      if (node.id) {
        parts.unshift('#' + CSS.escape(node.id));
        break;
      }
      let part = node.tagName.toLowerCase();
      const position = node.parentElement ? positionAmongSameTag(node) : 0;
      if (position) part += ':nth-of-type(' + position + ')';
      parts.unshift(part);
    }
    return parts.join(' > ');
  }

  const portalSelector = '[data-radix-portal], [data-headlessui-portal], body > [role="dialog"], ' +
    'body > [role="alertdialog"], body > [role="listbox"], body > [role="menu"], ' +
    'body > [data-radix-popper-content-wrapper]';
  const roots = [document.body].concat(Array.from(document.querySelectorAll(portalSelector))
    .filter((el) => el !== document.body && document.body.contains(el)));
  // Portal content lies inside the body as well; it is listed once, from the body.
  function queryAll(selector) {
    const seen = new Set();
    const found = [];
    for (const root of roots) {
      for (const el of root.querySelectorAll(selector)) {
        if (seen.has(el)) continue;
        seen.add(el);
        found.push(el);
      }
    }
    return found;
  }

  const tools = [];
  const taken = new Set();
  // Renaming keeps every element callable; skipping keeps one tool per name.
  function add(entry, onTaken) {
    if (taken.has(entry.name)) {
      if (onTaken === 'skip') return;
      entry.name = entry.name + '_' + taken.size;
    }
    taken.add(entry.name);
    tools.push(entry);
  }
  function entry(el, name, label, type, description) {
    return { name: name, label: label, type: type, selector: cssPath(el), description: description };
  }

  const nonButtonRoles = ['tab', 'option', 'menuitem', 'menuitemradio', 'menuitemcheckbox'];
  for (const el of queryAll('button, [role="button"], input[type="submit"], input[type="button"]')) {
    if (isHidden(el) || isDisabled(el) || nonButtonRoles.includes(el.getAttribute('role'))) continue;
    const label = getLabel(el);
    if (!label) continue;
    const context = getContextLabel(el, label);
    if (context) {
      add(entry(el, 'click_' + slug(label + ' ' + context), label, 'click',
        'Click "' + label.slice(0, 40) + '" for "' + context.slice(0, 40) + '"'), 'rename');
    } else {
      add(entry(el, 'click_' + slug(label), label, 'click', 'Click "' + label.slice(0, 60) + '"'), 'rename');
    }
  }
  for (const el of queryAll('input:not([type="submit"]):not([type="button"]):not([type="hidden"])' +
      ':not([type="file"]):not([type="checkbox"]):not([type="radio"]), textarea')) {
    if (isHidden(el) || isDisabled(el)) continue;
    const label = getInputLabel(el);
    if (!label) continue;
    add(entry(el, 'fill_' + slug(label), label, 'fill', 'Fill "' + label.slice(0, 60) + '"'), 'rename');
  }
  for (const el of queryAll('input[type="checkbox"], input[type="radio"]')) {
    if (isHidden(el) || isDisabled(el)) continue;
    const label = getInputLabel(el);
    if (!label) continue;
    const checkbox = el.type === 'checkbox';
    const description = (checkbox ? 'Toggle "' : 'Select "') + label.slice(0, 60) + '"' +
      (el.checked ? ' (checked)' : '');
    add(entry(el, (checkbox ? 'toggle_' : 'select_') + slug(label), label, 'click', description), 'rename');
  }
  for (const el of queryAll('select')) {
    if (isHidden(el) || isDisabled(el)) continue;
    const label = getInputLabel(el) || getLabel(el);
    if (!label) continue;
    const item = entry(el, 'select_' + slug(label), label, 'select', 'Select from "' + label.slice(0, 60) + '"');
    item.options = Array.from(el.options).filter((o) => !o.disabled && o.value)
      .map((o) => trimmed(o.textContent) || o.value);
    add(item, 'skip');
  }
  for (const el of queryAll('a[href]')) {
    if (isHidden(el)) continue;
    const label = getLabel(el);
    if (!label) continue;
    add(entry(el, 'navigate_' + slug(label), label, 'click', 'Navigate to "' + label.slice(0, 60) + '"'), 'skip');
  }
  for (const el of queryAll('[role="combobox"]')) {
    if (isHidden(el)) continue;
    const label = getWidgetLabel(el);
    if (!label) continue;
    const open = el.getAttribute('aria-expanded') === 'true' ? ' (open)' : '';
    add(entry(el, 'select_' + slug(label), label, 'click', 'Open "' + label.slice(0, 60) + '"' + open), 'skip');
  }
  for (const el of queryAll('[role="checkbox"]:not(input), [role="switch"]')) {
    if (isHidden(el)) continue;
    const label = getWidgetLabel(el) || getLabel(el);
    if (!label) continue;
    const checked = el.getAttribute('aria-checked');
    const state = checked === 'true' ? ' (on)' : checked === 'false' ? ' (off)' : '';
    add(entry(el, 'toggle_' + slug(label), label, 'click', 'Toggle "' + label.slice(0, 60) + '"' + state), 'skip');
  }
  for (const el of queryAll('[role="radiogroup"]')) {
    if (isHidden(el)) continue;
    const label = getWidgetLabel(el) || getLabel(el);
    if (!label) continue;
    const radios = Array.from(el.querySelectorAll('[role="radio"]'));
    const options = radios.map((r) => trimmed(r.textContent) || trimmed(r.getAttribute('aria-label')))
      .filter((text) => text);
    const current = radios.find((r) => r.getAttribute('aria-checked') === 'true');
    const item = entry(el, 'select_' + slug(label), label, 'select',
      'Select from "' + label.slice(0, 50) + '" options: ' + options.slice(0, 5).join(', '));
    item.options = options;
    item.currentValue = current ? trimmed(current.textContent) : '';
    add(item, 'skip');
  }
  for (const el of queryAll('[role="slider"]')) {
    if (isHidden(el)) continue;
    const label = getWidgetLabel(el) || getLabel(el);
    if (!label) continue;
    const min = el.getAttribute('aria-valuemin') || '0';
    const max = el.getAttribute('aria-valuemax') || '100';
    const now = el.getAttribute('aria-valuenow') || '';
    add(entry(el, 'set_' + slug(label), label, 'set',
      'Set "' + label.slice(0, 50) + '" (' + min + '-' + max + ', current: ' + now + ')'), 'skip');
  }
  for (const list of queryAll('[role="tablist"]')) {
    if (isHidden(list)) continue;
    for (const tab of list.querySelectorAll('[role="tab"]')) {
      const label = getLabel(tab);
      if (!label) continue;
      const active = tab.getAttribute('aria-selected') === 'true' ? ' (active)' : '';
      add(entry(tab, 'switch_tab_' + slug(label), label, 'click',
        'Switch to tab "' + label.slice(0, 60) + '"' + active), 'skip');
    }
  }
  for (const el of queryAll('[role="listbox"] [role="option"], [role="menu"] [role="menuitem"], ' +
      '[role="menu"] [role="menuitemradio"], [role="menu"] [role="menuitemcheckbox"], ' +
      '.basic-typeahead__selectable, [data-basic-typeahead-option]')) {
    if (isHidden(el)) continue;
    const label = getLabel(el);
    if (!label) continue;
    const list = el.closest('[role="listbox"], [role="menu"], ul, ol');
    const listLabel = list ? getWidgetLabel(list) : null;
    const description = listLabel
      ? 'Select "' + label.slice(0, 50) + '" from ' + listLabel.slice(0, 30)
      : 'Select "' + label.slice(0, 60) + '"';
    const prefix = el.getAttribute('role') === 'option' ? 'select_option_' : 'click_item_';
    add(entry(el, prefix + slug(label), label, 'click', description), 'rename');
  }
  for (const el of queryAll('[contenteditable="true"], [contenteditable=""]')) {
    if (isHidden(el)) continue;
    const label = trimmed(el.getAttribute('aria-label')) || trimmed(el.getAttribute('aria-placeholder')) ||
      trimmed(el.getAttribute('data-placeholder')) || trimmed(el.getAttribute('placeholder')) ||
      'rich text editor';
    add(entry(el, 'fill_' + slug(label), label, 'fill_contenteditable',
      'Fill "' + label.slice(0, 60) + '" (rich text)'), 'rename');
  }

  const headings = Array.from(document.querySelectorAll('h1, h2, h3'))
    .filter((h) => trimmed(h.textContent))
    .map((h) => h.tagName.toUpperCase() + ': ' + trimmed(h.textContent).slice(0, 100));
  const body = document.body.cloneNode(true);
  body.querySelectorAll('nav, header, footer, [role="navigation"], [role="banner"], [role="contentinfo"], ' +
    'script, style, noscript, [aria-hidden="true"], .ad, [data-ad]').forEach((n) => n.remove());
  const content = body.textContent.replace(/\s+/g, ' ').trim().slice(0, 2000);
  return JSON.stringify({
    url: location.href,
    title: document.title,
    toolCount: tools.length,
    tools: tools,
    headings: headings,
    content: content.slice(0, 1500),
  });
})()
