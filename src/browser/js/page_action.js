// Acts on one element the way a person would, so that the page's own listeners (framework
// change tracking included) see the change. The action, selector and value placeholders
// below are replaced by JavaScript string literals before the script runs.
(function () {
  __PAGE_HELPERS__;
  // Rich-text editors take their input from beforeinput; one that handles it itself cancels
  // the event, and the browser's own insertion is then left out.
  function fillEditable(el, value) {
    el.focus();
    const range = document.createRange();
    range.selectNodeContents(el);
    const selection = window.getSelection();
    selection.removeAllRanges();
    selection.addRange(range);
    const before = new InputEvent('beforeinput', {
      bubbles: true, cancelable: true, composed: true, inputType: 'insertText', data: value,
    });
    if (el.dispatchEvent(before) && !document.execCommand('insertText', false, value)) {
      el.textContent = value;
      el.dispatchEvent(new InputEvent('input', { bubbles: true, composed: true, inputType: 'insertText', data: value }));
    }
    el.blur();
  }
  // The scan lists options by their text, so a text is as good as a value.
  function optionFor(el, value) {
    const options = Array.from(el.options);
    return options.find((o) => o.value === value) || options.find((o) => o.textContent.trim() === value);
  }
  // One value, or several given as a JSON list; an option whose text is the whole value wins.
  function valuesFor(el, value) {
    if (optionFor(el, value)) return [value];
    try {
      const list = JSON.parse(value);
      if (Array.isArray(list) && list.length && list.every((v) => typeof v === 'string')) return list;
    } catch (e) {
      // Not a list: one value.
    }
    return [value];
  }
  const optionText = (o) => o.textContent.replace(/\s+/g, ' ').trim();
  const shown = (el) => el.getClientRects().length > 0 && !isHidden(el);
  // A native select drawn over by the page's own widget is squeezed out of sight, and the
  // widget sits right beside it.
  function widgetOver(el) {
    const box = el.getBoundingClientRect();
    if (box.width > 2 && box.height > 2 && shown(el)) return null;
    for (const sib of [el.nextElementSibling, el.previousElementSibling]) if (sib && sib.tagName !== 'LABEL' && shown(sib)) return sib;
    return null;
  }
  // The widget's own list of options: the one its combo box controls, else one inside it.
  function widgetOptions(widget) {
    const combo = widget.matches('[role="combobox"]') ? widget : widget.querySelector('[role="combobox"]');
    const id = combo ? combo.getAttribute('aria-controls') : null;
    const list = (id && document.getElementById(id)) || widget.querySelector('[role="listbox"]');
    return list ? Array.from(list.querySelectorAll('[role="option"]')).slice(0, 500) : [];
  }
  // Picks each option with the widget's own controls, as a person would: opens it, then
  // clicks the option. Answers the texts it could not find there.
  function pickInWidget(widget, texts) {
    const combo = widget.querySelector('[role="combobox"]') || widget;
    pointerClick(combo);
    const missing = [];
    for (const text of texts) {
      const option = widgetOptions(widget).find((o) => optionText(o) === text);
      if (option) pointerClick(option);
      else missing.push(text);
    }
    combo.dispatchEvent(new KeyboardEvent('keydown', { key: 'Escape', bubbles: true }));
    return missing;
  }
  // What the widget shows of its choice: its text less the list of options it opens.
  function shownText(widget) {
    const walker = document.createTreeWalker(widget, NodeFilter.SHOW_TEXT, {
      acceptNode: (node) => node.parentElement.closest('[role="listbox"], [role="option"], [role="menu"]')
        ? NodeFilter.FILTER_REJECT : NodeFilter.FILTER_ACCEPT,
    });
    let text = '';
    for (let n = 0; n < 2000 && walker.nextNode(); n++) text += ' ' + walker.currentNode.nodeValue;
    return text.replace(/\s+/g, ' ');
  }
  function setNatively(el, options) {
    if (el.multiple) for (const option of options) option.selected = true;
    else el.value = options[0].value;
    el.dispatchEvent(new Event('input', { bubbles: true }));
    el.dispatchEvent(new Event('change', { bubbles: true }));
  }
  // A multi-select adds to what it holds; a single one takes the value. The answer is what
  // the select then holds, and whether the widget over it shows that.
  function selectOptions(el, value) {
    const wanted = valuesFor(el, value);
    if (!el.multiple && wanted.length > 1) return { error: 'the select takes one value, not ' + wanted.length };
    const options = [];
    for (const v of wanted) {
      const option = optionFor(el, v);
      if (!option) return { error: 'no option "' + v + '" in the select' };
      options.push(option);
    }
    const widget = widgetOver(el);
    let via = 'select';
    if (widget && widgetOptions(widget).length + widget.querySelectorAll('[role="combobox"]').length > 0) {
      const missing = pickInWidget(widget, options.filter((o) => !o.selected || !el.multiple).map(optionText));
      via = 'widget';
      const left = options.filter((o) => !o.selected && missing.includes(optionText(o)));
      if (left.length) setNatively(el, left);
    } else {
      setNatively(el, options);
    }
    const selected = Array.from(el.selectedOptions).map(optionText);
    const answer = { selected: selected };
    const notTaken = options.filter((o) => !o.selected).map(optionText);
    if (notTaken.length) return Object.assign(answer, { status: 'not_selected',
      note: 'the page did not keep ' + notTaken.join(', ') + ' selected' });
    const showing = widget ? shownText(widget) : '';
    const unshown = widget ? options.map(optionText).filter((text) => !showing.includes(text)) : [];
    if (unshown.length) return Object.assign(answer, { status: 'not_shown',
      note: 'the select holds ' + unshown.join(', ') + ' but the page\'s own widget beside it does not show it' });
    return Object.assign(answer, { status: 'selected', via: via });
  }
  // Custom controls listen for the pointer (pressed, released) rather than for click alone,
  // and one that can take the focus gets it, as under a real click.
  function pointerClick(el) {
    const box = el.getBoundingClientRect();
    const at = { bubbles: true, cancelable: true, composed: true, view: window, button: 0,
      clientX: box.left + box.width / 2, clientY: box.top + box.height / 2 };
    el.dispatchEvent(new PointerEvent('pointerdown', at));
    el.dispatchEvent(new MouseEvent('mousedown', at));
    if (el.tabIndex >= 0 || el.isContentEditable || el.matches('input, textarea, select')) el.focus();
    el.dispatchEvent(new PointerEvent('pointerup', at));
    el.dispatchEvent(new MouseEvent('mouseup', at));
    el.click();
  }
  const nativeClickable = 'button, input, select, textarea, a[href], label, summary, option';
  const action = __ACTION__;
  const selector = __SELECTOR__;
  const value = __VALUE__;
  const el = findElement(selector);
  if (!el) return JSON.stringify({ error: 'Element not found: ' + selector });
  el.scrollIntoView({ behavior: 'smooth', block: 'center' });
  switch (action) {
    case 'click':
      if (el.matches(nativeClickable)) el.click();
      else pointerClick(el);
      return JSON.stringify({ status: 'clicked', label: accessibleName(el).slice(0, 60) });
    case 'focus':
      el.focus();
      return JSON.stringify({ status: 'focused' });
    case 'fill': {
      fillValue(el, value);
      return JSON.stringify({ status: 'filled', value: value });
    }
    case 'select': {
      if (el.options) return JSON.stringify(selectOptions(el, value));
      const descriptor = Object.getOwnPropertyDescriptor(Object.getPrototypeOf(el), 'value');
      if (descriptor && descriptor.set) descriptor.set.call(el, value);
      else el.value = value;
      el.dispatchEvent(new Event('input', { bubbles: true }));
      el.dispatchEvent(new Event('change', { bubbles: true }));
      return JSON.stringify({ status: 'selected', value: value });
    }
    case 'fill_contenteditable':
      fillEditable(el, value);
      return JSON.stringify({ status: 'filled', value: value, method: 'contenteditable' });
    case 'set': {
      const number = parseFloat(value);
      el.setAttribute('aria-valuenow', String(number));
      el.dispatchEvent(new Event('input', { bubbles: true }));
      el.dispatchEvent(new Event('change', { bubbles: true }));
      return JSON.stringify({ status: 'set', value: number });
    }
    default:
      return JSON.stringify({ error: 'unknown action: ' + action });
  }
})()
