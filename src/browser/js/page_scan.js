// Turns the page's visible, enabled controls into named tools and sums up the page.
// Evaluates to the JSON text of {url, title, toolCount, tools, headings, content}; the content
// keeps at most the placeholder's number of characters.
(function () {
  __PAGE_HELPERS__;
  const maxTextLength = __MAX_TEXT_LENGTH__;
  // A navigation that has not produced its new document yet has no body to scan.
  if (!document.body) return JSON.stringify({ error: 'the page has no document body yet' });
  // A frame whose element is not shown has no room on screen: nothing in it can be seen.
  if (window !== window.top && (innerWidth === 0 || innerHeight === 0)) {
    return JSON.stringify({ url: location.href, title: document.title, toolCount: 0, tools: [], headings: [],
      content: '' });
  }
  function isDisabled(el) {
    return !!(el.disabled || el.readOnly || el.getAttribute('aria-disabled') === 'true');
  }
  // Ids and label references count within the element's own tree (its shadow root or the
  // document).
  function labelledByText(el) {
    const id = el.getAttribute('aria-labelledby');
    const root = el.getRootNode();
    const target = id && root.getElementById ? root.getElementById(id) : null;
    return target ? trimmed(target.textContent) : '';
  }
  function forLabelText(el) {
    if (!el.id) return '';
    const label = el.getRootNode().querySelector('label[for="' + CSS.escape(el.id) + '"]');
    return label ? trimmed(label.textContent) : '';
  }
  // A label written next to its field with neither for nor nesting (TodoMVC's items): after a
  // check box or radio button, before other fields. A label that has a control of its own
  // belongs to that one.
  function siblingLabelText(el) {
    const after = el.type === 'checkbox' || el.type === 'radio';
    const sides = after ? [el.nextElementSibling, el.previousElementSibling]
      : [el.previousElementSibling, el.nextElementSibling];
    for (const sib of sides) {
      if (!sib || sib.tagName !== 'LABEL' || (sib.control && sib.control !== el)) continue;
      const text = trimmed(sib.textContent);
      if (text) return text;
    }
    return '';
  }
  // Words of a class attribute that say what an icon-only control does ("destroy",
  // "fa-trash"), leaving out those that only say it is a button or an icon.
  const genericClassWords = new Set(['btn', 'button', 'buttons', 'icon', 'icons', 'ico', 'fas', 'far', 'fab', 'mdi',
    'material', 'symbols', 'outlined', 'svg', 'css', 'jsx', 'has', 'active', 'small', 'large', 'primary',
    'secondary', 'default', 'link', 'control', 'item', 'component', 'wrapper', 'container', 'glyphicon',
    'octicon', 'lucide', 'feather', 'bootstrap']);
  function classWords(el) {
    for (const node of [el, el.firstElementChild]) {
      if (!node) continue;
      const words = String(node.getAttribute('class') || '').split(/[\s_-]+/)
        .filter((w) => /^[a-zA-Z]{3,}$/.test(w) && !genericClassWords.has(w.toLowerCase()));
      if (words.length) return words.slice(0, 3).join(' ');
    }
    return '';
  }
  const buttonInputTypes = ['submit', 'button', 'reset'];
  function getLabel(el) {
    const candidates = [
      () => trimmed(el.getAttribute('aria-label')),
      () => labelledByText(el),
      () => el.tagName === 'INPUT' && buttonInputTypes.includes(el.type)
        ? trimmed(el.value) || (el.type === 'reset' ? 'Reset' : el.type === 'submit' ? 'Submit' : '') : '',
      () => { const own = trimmed(ownText(el)); return own.length < 80 && /[\p{L}\p{N}]/u.test(own) ? own : ''; },
      () => trimmed(el.getAttribute('title')),
      () => trimmed(el.getAttribute('placeholder')) || trimmed(el.getAttribute('aria-placeholder')),
      () => { const image = el.querySelector('img[alt]'); return image ? trimmed(image.getAttribute('alt')) : ''; },
      () => el.id || '',
      () => classWords(el),
      // A glyph such as "+" or an arrow, when nothing says more.
      () => { const own = trimmed(el.textContent); return own.length < 80 ? own : ''; },
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
    return siblingLabelText(el) || labelledByText(el) || trimmed(el.getAttribute('placeholder')) ||
      trimmed(el.getAttribute('title')) || trimmed(el.getAttribute('name')) || el.id || null;
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
    // Never the options of a list it opened, which come and go.
    const own = textWithout(el, null, 40);
    return own && own.length < 40 ? own : null;
  }
  // Rows of a long table share one parent; counting its children once per scan rather than
  // once per control keeps large pages fast.
  const siblingPositions = new Map();
  function positionAmongSameTag(node) {
    const parent = node.parentNode;
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
  // A path within the element's own tree; one inside a shadow root starts with its host's
  // path and the step into the shadow root (findElement reads it).
  function cssPath(el) {
    const parts = [];
    for (let node = el; node && node.nodeType === 1; node = node.parentElement) {
      if (node.id) {
        parts.unshift('#' + CSS.escape(node.id));
        break;
      }
      let part = node.tagName.toLowerCase();
      const position = node.parentNode ? positionAmongSameTag(node) : 0;
      if (position) part += ':nth-of-type(' + position + ')';
      parts.unshift(part);
    }
    const root = el.getRootNode();
    const path = parts.join(' > ');
    return root instanceof ShadowRoot ? cssPath(root.host) + shadowStep + path : path;
  }

  // Controls shown only while the pointer is over their row (TodoMVC's delete buttons) are
  // there for the user all the same: hidden themselves in a shown parent, and displayed by a
  // :hover rule of the page's style sheets.
  let hoverReveals = null;
  function hoverRevealSelectors() {
    const found = [];
    const visit = (rules) => {
      for (const rule of rules) {
        if (!rule.selectorText) {
          if (rule.cssRules) visit(rule.cssRules);
          continue;
        }
        const style = rule.style;
        const shows = (style.display && style.display !== 'none') || style.visibility === 'visible';
        if (!shows || !rule.selectorText.includes(':hover')) continue;
        for (const part of rule.selectorText.split(',')) {
          const unhovered = part.includes(':hover') ? part.replace(/:hover/g, '').trim() : '';
          if (unhovered) found.push(unhovered);
        }
      }
    };
    for (const sheet of document.styleSheets) {
      try {
        visit(sheet.cssRules);
      } catch (e) {
        // Style sheets from other origins cannot be read.
      }
    }
    return found;
  }
  function unseen(el) {
    if (!isHidden(el)) return false;
    if (!el.parentElement || isHidden(el.parentElement) || getComputedStyle(el).display !== 'none') return true;
    if (hoverReveals === null) hoverReveals = hoverRevealSelectors();
    return !hoverReveals.some((selector) => {
      try {
        return el.matches(selector);
      } catch (e) {
        return false;
      }
    });
  }

  const portalSelector = '[data-radix-portal], [data-headlessui-portal], body > [role="dialog"], ' +
    'body > [role="alertdialog"], body > [role="listbox"], body > [role="menu"], ' +
    'body > [data-radix-popper-content-wrapper]';
  // Web components keep their controls in open shadow roots, nested as deep as they like.
  const maxShadowRoots = 500;
  const shadowRoots = [];
  function collectShadowRoots(root) {
    const walker = document.createTreeWalker(root, NodeFilter.SHOW_ELEMENT);
    while (walker.nextNode() && shadowRoots.length < maxShadowRoots) {
      const shadow = walker.currentNode.shadowRoot;
      if (!shadow) continue;
      shadowRoots.push(shadow);
      collectShadowRoots(shadow);
    }
  }
  collectShadowRoots(document);
  const roots = [document.body].concat(Array.from(document.querySelectorAll(portalSelector))
    .filter((el) => el !== document.body && document.body.contains(el)), shadowRoots);
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

  // Every control found, in category order, before names are settled.
  const candidates = [];
  // Elements offered so far: a link that is also a menu item is one tool, not two.
  const offeredElements = new Set();
  // `describeFor(context)` is the description naming the context that tells it apart.
  function offer(el, prefix, label, type, description, onTaken, describeFor, extra) {
    const item = { name: prefix + slug(label), label: label, type: type, selector: cssPath(el), description: description };
    Object.assign(item, extra || {});
    candidates.push({ item: item, el: el, prefix: prefix, onTaken: onTaken, describeFor: describeFor });
    offeredElements.add(el);
  }
  const forContext = (context) => ' for "' + context.slice(0, 40) + '"';

  // Parts of a page that change while it is used (status lines, counts announced to readers,
  // lists opened from a control): their text never names a control, or the name would change
  // with them.
  const liveSelector = '[role="status"], [role="alert"], [role="log"], [role="timer"], [role="progressbar"], ' +
    '[role="marquee"], [aria-live]:not([aria-live="off"]), output, [role="listbox"], [role="menu"], ' +
    '[role="tooltip"]';
  const unnamingSelector = 'script, style, svg, [aria-hidden="true"], ' + liveSelector;
  // The text of `root` without that of `skip` (if any), scripts, hidden decoration and live parts,
  // collapsed; reading stops a little past `limit` characters.
  function textWithout(root, skip, limit) {
    const walker = document.createTreeWalker(root, NodeFilter.SHOW_TEXT, {
      acceptNode(node) {
        const parent = node.parentElement;
        if (!parent || (skip && skip.contains(parent)) || parent.closest(unnamingSelector))
          return NodeFilter.FILTER_REJECT;
        return NodeFilter.FILTER_ACCEPT;
      },
    });
    let text = '';
    while (text.length <= limit && walker.nextNode()) text += ' ' + walker.currentNode.nodeValue;
    return text.replace(/\s+/g, ' ').trim();
  }
  // A field or select that carries no name at all is named by the short text next to it (a
  // form row's description), as a reader would.
  function nearbyText(el) {
    for (let node = el.parentElement, depth = 0; node && node !== document.body && depth < 3;
      node = node.parentElement, depth++) {
      const text = textWithout(node, el, 120);
      if (text) return text.length < 80 ? text : null;
    }
    return null;
  }
  const headingSelector = 'h1, h2, h3, h4, h5, h6, [role="heading"], legend';
  // The heading the element sits under: the nearest one before it in the document.
  function precedingHeading(el) {
    let budget = 400;
    for (let node = el; node && node !== document.body; node = node.parentElement) {
      for (let sib = node.previousElementSibling; sib && budget > 0; sib = sib.previousElementSibling, budget--) {
        const headings = sib.matches(headingSelector) ? [sib] : sib.querySelectorAll(headingSelector);
        for (let i = headings.length - 1; i >= 0; i--) {
          const text = trimmed(headings[i].textContent);
          if (text) return text.slice(0, 60);
        }
      }
    }
    return null;
  }
  const collapsed = (text) => trimmed(text).replace(/\s+/g, ' ');
  const rowSelector = 'tr, [role="row"], li, [role="listitem"]';
  const cellSelector = 'td, th, [role="gridcell"], [role="cell"], [role="rowheader"], [role="columnheader"]';
  const operableSelector = 'button, input, select, textarea, a[href], [role="button"], [role="combobox"], ' +
    '[role="checkbox"], [role="switch"], [role="slider"], [contenteditable="true"], [contenteditable=""]';
  // What a row is known by: its header cell, else its first piece of text that is neither a
  // control, nor holds one, nor changes on its own.
  function rowKey(row, el, label) {
    const header = row.querySelector('th, [role="rowheader"]');
    if (header && !header.contains(el) && !header.closest(unnamingSelector)) {
      const text = collapsed(header.textContent);
      if (text && text !== label) return text;
    }
    let budget = 200;
    const walker = document.createTreeWalker(row, NodeFilter.SHOW_ELEMENT, {
      acceptNode(node) {
        if (--budget < 0 || node.matches(operableSelector) || node.matches(unnamingSelector))
          return NodeFilter.FILTER_REJECT;
        if (node.contains(el) || node.querySelector(operableSelector)) return NodeFilter.FILTER_SKIP;
        const text = collapsed(node.textContent);
        return text && text !== label ? NodeFilter.FILTER_ACCEPT : NodeFilter.FILTER_REJECT;
      },
    });
    const key = walker.nextNode();
    return key ? collapsed(key.textContent) : '';
  }
  // Grids: a cell is known by its column and its row's key ("Age of Mary May"), never by the
  // value it shows, which is what gets edited. Header rows and row keys are read once per scan.
  const gridSelector = '[role="grid"], [role="treegrid"], [role="table"], table';
  const columnHeaderSelector = 'th, [role="columnheader"]';
  const rowCells = new Map();
  function cellsOf(row) {
    let cells = rowCells.get(row);
    if (!cells) {
      cells = Array.from(row.children).filter((child) => child.matches(cellSelector));
      rowCells.set(row, cells);
    }
    return cells;
  }
  const gridHeaders = new Map();
  function headersOf(grid) {
    let headers = gridHeaders.get(grid);
    if (!headers) {
      const headerRow = Array.from(grid.querySelectorAll('tr, [role="row"]')).slice(0, 5)
        .find((row) => cellsOf(row).some((cell) => cell.matches(columnHeaderSelector)));
      headers = headerRow ? cellsOf(headerRow) : [];
      gridHeaders.set(grid, headers);
    }
    return headers;
  }
  // A header's title, without a filter field or sort arrow it holds.
  function headerTitle(header) {
    return trimmed(header.getAttribute('aria-label')) || textWithout(header, null, 60).slice(0, 60);
  }
  // The header of the column a table or grid cell stands in.
  function cellColumn(cell, row) {
    const grid = row.closest(gridSelector);
    const header = grid ? headersOf(grid)[cellsOf(row).indexOf(cell)] : null;
    return header && header !== cell ? headerTitle(header) : '';
  }
  // The cell a row is known by: its row header, else its first cell with text and no field.
  const rowKeys = new Map();
  function keyOf(row) {
    if (rowKeys.has(row)) return rowKeys.get(row);
    const cells = cellsOf(row);
    const cell = cells.find((c) => c.matches('[role="rowheader"], tbody th')) ||
      cells.find((c) => !c.matches(columnHeaderSelector) && !c.querySelector(operableSelector) &&
        /[\p{L}\p{N}]/u.test(textWithout(c, null, 60))) || null;
    const key = { cell: cell, text: cell ? collapsed(textWithout(cell, null, 60)).slice(0, 60) : '' };
    rowKeys.set(row, key);
    return key;
  }
  // What an element inside a grid cell is called: the key cell by its own text, any other
  // cell by its column of the row's key.
  function gridCellLabel(el) {
    const cell = el.closest(cellSelector);
    const row = cell ? cell.parentElement : null;
    if (!row || !row.matches(rowSelector) || cell.matches(columnHeaderSelector)) return '';
    const { cell: keyCell, text: key } = keyOf(row);
    if (keyCell === cell) return key;
    const column = cellColumn(cell, row);
    if (column && key) return column + ' of ' + key;
    return column || '';
  }
  // The key written right before a field in its row or block (a JSON editor's property name,
  // a form row's label), passing over separators such as ":". Text that is or holds another
  // control is that control's, not a key.
  const otherControlSelector = 'button, input, select, textarea, a[href], [role]';
  function keyBeside(el) {
    for (let node = el, depth = 0; node && node !== document.body && depth < 4; node = node.parentElement, depth++) {
      let sib = node.previousElementSibling;
      for (let n = 0; sib && n < 3; sib = sib.previousElementSibling, n++) {
        if (sib.matches(otherControlSelector) || sib.querySelector(otherControlSelector)) break;
        const text = collapsed(textWithout(sib, null, 80));
        if (/[\p{L}\p{N}]/u.test(text)) return text.length <= 60 ? text : '';
      }
      if (node.matches(rowSelector)) break;
    }
    return '';
  }
  // An editable key followed by an editable value in its row names itself as that key.
  function editableKeyLabel(el) {
    const cell = el.closest(cellSelector);
    const row = cell ? cell.parentElement : null;
    if (!row) return '';
    const cells = cellsOf(row);
    const later = cells.slice(cells.indexOf(cell) + 1);
    const own = collapsed(el.textContent);
    return own && own.length <= 40 && later.some((c) => c.querySelector('[contenteditable="true"], [contenteditable=""]'))
      ? own + ' (key)' : '';
  }
  const titleSelector = headingSelector + ', label, th, dt, summary, caption';
  // What a block the page built around one control calls itself: its own label, else a
  // heading, legend, label or term inside it.
  function blockTitle(block, el, label) {
    const own = trimmed(block.getAttribute('aria-label')) || labelledByText(block);
    if (own && own !== label) return own;
    // Titles come first in a block; looking further only costs time on a large one.
    let budget = 400;
    const walker = document.createTreeWalker(block, NodeFilter.SHOW_ELEMENT);
    while (budget-- > 0 && walker.nextNode()) {
      const title = walker.currentNode;
      if (!title.matches(titleSelector) || title.contains(el) || title.closest(unnamingSelector)) continue;
      const text = collapsed(title.textContent);
      if (text && text !== label) return text;
    }
    return '';
  }
  // Numbers standing alone in a block's text are counts and amounts, which change as the page
  // is used; the words around them stay.
  const withoutNumbers = (text) => text.replace(/(^|\s)[-+]?\d[\d.,:]*(?=\s|$)/g, ' ').replace(/\s+/g, ' ').trim();
  // What tells one of several same-named controls apart, from the page's structure: the key
  // of its row (with the column's header when the row holds more than one), else the title
  // of the nearest block around it that holds none of the others (its legend, heading,
  // label or property name) or that block's steady words, else the section heading above it.
  function distinguishingContext(el, label, sharedAncestors) {
    const shared = (node) => sharedAncestors.get(node) > 1;
    const row = el.parentElement ? el.parentElement.closest(rowSelector) : null;
    if (row && row !== document.body) {
      const key = rowKey(row, el, label);
      if (key && !shared(row)) return key.slice(0, 60);
      const cell = el.closest(cellSelector);
      const column = cell && row.contains(cell) && !shared(cell) ? cellColumn(cell, cell.parentElement) : '';
      if (key && column && column !== label) return (column + ' ' + key).slice(0, 60);
    }
    for (let node = el.parentElement, depth = 0; node && node !== document.body && depth < 12;
      node = node.parentElement, depth++) {
      if (shared(node)) break;
      const title = blockTitle(node, el, label);
      if (title) return title.slice(0, 60);
      const text = withoutNumbers(textWithout(node, el, 240));
      if (!text || text === label) continue;
      if (text.length < 120) return text.slice(0, 60);
    }
    return precedingHeading(el);
  }
  // The shared label says nothing about which control it is, so the context keeps its full
  // length; names stay within the 64 characters clients accept for a tool name.
  function contextName(prefix, label, context) {
    const contextSlug = String(context).toLowerCase().replace(/[^a-z0-9]+/g, '_').replace(/^_+|_+$/g, '');
    return (prefix + slug(label) + '_' + contextSlug).slice(0, 64).replace(/_+$/, '');
  }
  // Controls that would share a name take the context that tells each apart, when it does;
  // the others keep the name and get a number below.
  function distinguishRepeated() {
    const groups = new Map();
    for (const c of candidates) {
      if (c.onTaken !== 'rename') continue;
      const group = groups.get(c.item.name);
      if (group) group.push(c);
      else groups.set(c.item.name, [c]);
    }
    for (const group of groups.values()) {
      if (group.length < 2) continue;
      const sharedAncestors = new Map();
      for (const c of group) {
        for (let node = c.el.parentElement, depth = 0; node && depth < 12; node = node.parentElement, depth++)
          sharedAncestors.set(node, (sharedAncestors.get(node) || 0) + 1);
      }
      const contexts = group.map((c) => distinguishingContext(c.el, c.item.label, sharedAncestors));
      const uses = new Map();
      for (const context of contexts) if (context) uses.set(context, (uses.get(context) || 0) + 1);
      group.forEach((c, i) => {
        const context = contexts[i];
        if (!context || uses.get(context) > 1) return;
        c.item.name = contextName(c.prefix, c.item.label, context);
        c.item.description = c.describeFor(context);
      });
    }
  }

  // A control keeps the name an earlier scan of this document gave it, as long as that name
  // still says what the control is and where: an agent that holds the name can go on using it
  // while other parts of the page come and go. The element carries its name, as elements are
  // all that scans of the same document share.
  const nameMark = 'data-velmor-tool';
  function stillFits(c, name) {
    if (name === c.item.name) return true;
    const base = c.prefix + slug(c.item.label);
    if (name.length > 64 || !name.startsWith(base)) return false;
    const rest = name.slice(base.length);
    // The label alone, or numbered, says nothing of where the control is.
    if (rest === '' || /^_[0-9]+$/.test(rest)) return true;
    // A name with a context holds while the control is still there: an element a list
    // reused for another row is named afresh.
    const context = distinguishingContext(c.el, c.item.label, new Map());
    return !!context && name === contextName(c.prefix, c.item.label, context);
  }
  // Marks each candidate that may take its remembered name back and answers those names. A
  // name two elements carry (a copied row) tells neither apart: both are named afresh.
  function rememberedNames() {
    const carriers = new Map();
    for (const c of candidates) {
      const name = c.el.getAttribute(nameMark);
      if (!name || !stillFits(c, name)) continue;
      c.remembered = name;
      carriers.set(name, (carriers.get(name) || 0) + 1);
    }
    const names = new Set();
    for (const c of candidates) {
      if (!c.remembered) continue;
      if (carriers.get(c.remembered) === 1) names.add(c.remembered);
      else c.remembered = null;
    }
    return names;
  }
  // An element with more than one tool (a field that is also a combo box) carries the first.
  const marked = new Set();
  function remember(el, name) {
    if (marked.has(el)) return;
    marked.add(el);
    if (el.getAttribute(nameMark) !== name) el.setAttribute(nameMark, name);
  }
  // The name with the first free number after it, within the 64 characters of a tool name.
  function nextFreeName(name, taken) {
    for (let n = 2; ; n++) {
      const suffix = '_' + n;
      const numbered = name.slice(0, 64 - suffix.length) + suffix;
      if (!taken.has(numbered)) return numbered;
    }
  }

  const nonButtonRoles = ['tab', 'option', 'menuitem', 'menuitemradio', 'menuitemcheckbox'];
  for (const el of queryAll('button, [role="button"], input[type="submit"], input[type="button"], input[type="reset"]')) {
    if (unseen(el) || isDisabled(el) || nonButtonRoles.includes(el.getAttribute('role'))) continue;
    const label = getLabel(el);
    if (!label) continue;
    offer(el, 'click_', label, 'click', 'Click "' + label.slice(0, 60) + '"', 'rename',
      (ctx) => 'Click "' + label.slice(0, 40) + '" for "' + ctx.slice(0, 40) + '"');
  }
  for (const el of queryAll('input:not([type="submit"]):not([type="button"]):not([type="reset"])' +
      ':not([type="hidden"]):not([type="file"]):not([type="checkbox"]):not([type="radio"]), textarea')) {
    if (unseen(el) || isDisabled(el)) continue;
    const label = getInputLabel(el) || gridCellLabel(el) || nearbyText(el);
    if (!label) continue;
    offer(el, 'fill_', label, 'fill', 'Fill "' + label.slice(0, 60) + '"', 'rename',
      (ctx) => 'Fill "' + label.slice(0, 60) + '"' + forContext(ctx));
  }
  for (const el of queryAll('input[type="checkbox"], input[type="radio"]')) {
    if (unseen(el) || isDisabled(el)) continue;
    const label = getInputLabel(el);
    if (!label) continue;
    const checkbox = el.type === 'checkbox';
    const verb = checkbox ? 'Toggle "' : 'Select "';
    const state = el.checked ? ' (checked)' : '';
    offer(el, checkbox ? 'toggle_' : 'select_', label, 'click', verb + label.slice(0, 60) + '"' + state, 'rename',
      (ctx) => verb + label.slice(0, 60) + '"' + forContext(ctx) + state);
  }
  // A widget drawn over a select may take the select's label for its own combo box.
  function widgetBesideLabel(el) {
    const sib = el.nextElementSibling;
    const combo = sib ? sib.querySelector('[role="combobox"]') : null;
    return combo ? trimmed(combo.getAttribute('aria-label')) || labelledByText(combo) : '';
  }
  for (const el of queryAll('select')) {
    if (unseen(el) || isDisabled(el)) continue;
    // Never the select's own text: that is every option run together.
    const label = trimmed(el.getAttribute('aria-label')) || forLabelText(el) || widgetBesideLabel(el) ||
      getInputLabel(el) || nearbyText(el);
    if (!label) continue;
    const options = Array.from(el.options).filter((o) => !o.disabled && o.value)
      .map((o) => trimmed(o.textContent) || o.value);
    const several = el.multiple ? ' (several may be chosen)' : '';
    offer(el, 'select_', label, 'select', 'Select from "' + label.slice(0, 60) + '"' + several, 'skip', null,
      { options: options });
  }
  for (const el of queryAll('a[href]')) {
    if (unseen(el)) continue;
    const label = getLabel(el);
    if (!label) continue;
    offer(el, 'navigate_', label, 'click', 'Navigate to "' + label.slice(0, 60) + '"', 'skip');
  }
  for (const el of queryAll('[role="combobox"]')) {
    if (unseen(el)) continue;
    const label = getWidgetLabel(el);
    if (!label) continue;
    const open = el.getAttribute('aria-expanded') === 'true' ? ' (open)' : '';
    offer(el, 'select_', label, 'click', 'Open "' + label.slice(0, 60) + '"' + open, 'skip');
  }
  for (const el of queryAll('[role="checkbox"]:not(input), [role="switch"]')) {
    if (unseen(el)) continue;
    const label = getWidgetLabel(el) || getLabel(el);
    if (!label) continue;
    const checked = el.getAttribute('aria-checked');
    const state = checked === 'true' ? ' (on)' : checked === 'false' ? ' (off)' : '';
    offer(el, 'toggle_', label, 'click', 'Toggle "' + label.slice(0, 60) + '"' + state, 'skip');
  }
  for (const el of queryAll('[role="radiogroup"]')) {
    if (unseen(el)) continue;
    const label = getWidgetLabel(el) || getLabel(el);
    if (!label) continue;
    const radios = Array.from(el.querySelectorAll('[role="radio"]'));
    const options = radios.map((r) => trimmed(r.textContent) || trimmed(r.getAttribute('aria-label')))
      .filter((text) => text);
    const current = radios.find((r) => r.getAttribute('aria-checked') === 'true');
    offer(el, 'select_', label, 'select',
      'Select from "' + label.slice(0, 50) + '" options: ' + options.slice(0, 5).join(', '), 'skip', null,
      { options: options, currentValue: current ? trimmed(current.textContent) : '' });
  }
  for (const el of queryAll('[role="slider"]')) {
    if (unseen(el)) continue;
    const label = getWidgetLabel(el) || getLabel(el);
    if (!label) continue;
    const min = el.getAttribute('aria-valuemin') || '0';
    const max = el.getAttribute('aria-valuemax') || '100';
    const now = el.getAttribute('aria-valuenow') || '';
    offer(el, 'set_', label, 'set', 'Set "' + label.slice(0, 50) + '" (' + min + '-' + max + ', current: ' + now + ')',
      'skip');
  }
  for (const tab of queryAll('[role="tab"]')) {
    if (offeredElements.has(tab) || unseen(tab) || isDisabled(tab)) continue;
    const label = getLabel(tab);
    if (!label) continue;
    const active = tab.getAttribute('aria-selected') === 'true' ? ' (active)' : '';
    offer(tab, 'switch_tab_', label, 'click', 'Switch to tab "' + label.slice(0, 60) + '"' + active, 'skip');
  }
  for (const el of queryAll('[role="option"], [role="menuitem"], [role="menuitemradio"], [role="menuitemcheckbox"], ' +
      '[role="treeitem"], .basic-typeahead__selectable, [data-basic-typeahead-option]')) {
    if (offeredElements.has(el) || unseen(el) || isDisabled(el)) continue;
    // A tree item's own text, without the branch of items it holds.
    const label = el.getAttribute('role') === 'treeitem'
      ? trimmed(el.getAttribute('aria-label')) || collapsed(textWithout(el, el.querySelector('[role="group"]'), 80))
        .slice(0, 80)
      : getLabel(el);
    if (!label) continue;
    const list = el.closest('[role="listbox"], [role="menu"], ul, ol');
    const listLabel = list ? getWidgetLabel(list) : null;
    const description = listLabel
      ? 'Select "' + label.slice(0, 50) + '" from ' + listLabel.slice(0, 30)
      : 'Select "' + label.slice(0, 60) + '"';
    const prefix = el.getAttribute('role') === 'option' ? 'select_option_' : 'click_item_';
    offer(el, prefix, label, 'click', description, 'rename',
      (ctx) => 'Select "' + label.slice(0, 50) + '"' + forContext(ctx));
  }
  // An editor with nothing beside it to name it is told apart by the section it is in.
  function editorUnderHeading(el) {
    const heading = precedingHeading(el);
    return heading ? 'rich text editor in ' + heading : 'rich text editor';
  }
  for (const el of queryAll('[contenteditable="true"], [contenteditable=""]')) {
    if (unseen(el)) continue;
    const label = trimmed(el.getAttribute('aria-label')) || labelledByText(el) ||
      trimmed(el.getAttribute('aria-placeholder')) || trimmed(el.getAttribute('data-placeholder')) ||
      trimmed(el.getAttribute('placeholder')) || keyBeside(el) || editableKeyLabel(el) || gridCellLabel(el) ||
      editorUnderHeading(el);
    offer(el, 'fill_', label, 'fill_contenteditable', 'Fill "' + label.slice(0, 60) + '" (rich text)', 'rename',
      (ctx) => 'Fill "' + label.slice(0, 60) + '"' + forContext(ctx) + ' (rich text)');
  }
  for (const header of queryAll('[role="columnheader"]')) {
    if (offeredElements.has(header) || unseen(header) || isDisabled(header)) continue;
    const label = headerTitle(header);
    if (!label) continue;
    const sort = header.getAttribute('aria-sort');
    const state = sort && sort !== 'none' ? ' (sorted ' + sort + ')' : '';
    offer(header, 'click_column_', label, 'click', 'Click column header "' + label + '"' + state, 'rename',
      (ctx) => 'Click column header "' + label + '"' + forContext(ctx) + state);
  }
  for (const cell of queryAll('[role="gridcell"]')) {
    if (offeredElements.has(cell) || unseen(cell) || isDisabled(cell) || cell.querySelector(operableSelector)) continue;
    const label = gridCellLabel(cell) || getLabel(cell);
    if (!label) continue;
    offer(cell, 'click_', label, 'click', 'Click cell "' + label.slice(0, 60) + '"', 'rename',
      (ctx) => 'Click cell "' + label.slice(0, 60) + '"' + forContext(ctx));
  }
  // Rows with cells are worked through their cells.
  for (const row of queryAll('[role="row"]')) {
    if (offeredElements.has(row) || unseen(row) || isDisabled(row) || cellsOf(row).length) continue;
    const label = getLabel(row);
    if (!label) continue;
    offer(row, 'click_row_', label, 'click', 'Click row "' + label.slice(0, 60) + '"', 'rename',
      (ctx) => 'Click row "' + label.slice(0, 60) + '"' + forContext(ctx));
  }
  // Elements a keyboard user can reach and click that are no control of any kind: their
  // listeners cannot be read from the page, so an onclick handler or a pointer cursor tells.
  // Only roles no category above takes count: a part of a composite widget (a radio of a
  // group) is worked through its widget.
  const plainRoles = ['', 'link', 'presentation', 'none', 'img', 'generic', 'group', 'region', 'article'];
  const maxFocusable = 2000;
  let focusableSeen = 0;
  for (const el of queryAll('[tabindex]')) {
    if (++focusableSeen > maxFocusable) break;
    if (el.tabIndex < 0 || offeredElements.has(el) || el.matches(operableSelector) ||
        !plainRoles.includes(el.getAttribute('role') || '')) continue;
    if (!el.onclick && !el.hasAttribute('onclick') && getComputedStyle(el).cursor !== 'pointer') continue;
    if (unseen(el) || isDisabled(el)) continue;
    const label = getLabel(el);
    if (!label) continue;
    offer(el, 'click_', label, 'click', 'Click "' + label.slice(0, 60) + '"', 'rename',
      (ctx) => 'Click "' + label.slice(0, 40) + '" for "' + ctx.slice(0, 40) + '"');
  }

  distinguishRepeated();
  const tools = [];
  const taken = rememberedNames();
  // Renaming keeps every element callable; skipping keeps one tool per name.
  for (const c of candidates) {
    const item = c.item;
    if (c.remembered) {
      item.name = c.remembered;
    } else if (taken.has(item.name)) {
      if (c.onTaken === 'skip') continue;
      item.name = nextFreeName(item.name, taken);
    }
    taken.add(item.name);
    tools.push(item);
    remember(c.el, item.name);
  }

  const headings = queryAll('h1, h2, h3')
    .filter((h) => trimmed(h.textContent))
    .map((h) => h.tagName.toUpperCase() + ': ' + trimmed(h.textContent).slice(0, 100));
  const textParts = [];
  for (let child = document.body.firstChild; child; child = child.nextSibling) collectShownText(child, textParts);
  const content = textParts.join('').replace(/\s+/g, ' ').trim().slice(0, maxTextLength);
  return JSON.stringify({
    url: location.href,
    title: document.title,
    toolCount: tools.length,
    tools: tools,
    headings: headings,
    content: content,
  });
})()
