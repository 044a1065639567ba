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
  const action = __ACTION__;
  const selector = __SELECTOR__;
  const value = __VALUE__;
  const el = findElement(selector);
  if (!el) return JSON.stringify({ error: 'Element not found: ' + selector });
  el.scrollIntoView({ behavior: 'smooth', block: 'center' });
  switch (action) {
    case 'click':
      el.click();
      return JSON.stringify({ status: 'clicked', label: accessibleName(el).slice(0, 60) });
    case 'focus':
      el.focus();
      return JSON.stringify({ status: 'focused' });
    case 'fill': {
      fillValue(el, value);
      return JSON.stringify({ status: 'filled', value: value });
    }
    case 'select': {
      const option = el.options ? optionFor(el, value) : null;
      if (el.options && !option) return JSON.stringify({ error: 'no option "' + value + '" in ' + selector });
      const chosen = option ? option.value : value;
      const descriptor = Object.getOwnPropertyDescriptor(Object.getPrototypeOf(el), 'value');
      if (descriptor && descriptor.set) descriptor.set.call(el, chosen);
      else el.value = chosen;
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
