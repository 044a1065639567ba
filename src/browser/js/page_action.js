// Acts on one element the way a person would, so that the page's own listeners (framework
// change tracking included) see the change. The action, selector and value placeholders
// below are replaced by JavaScript string literals before the script runs.
(function () {
  __PAGE_HELPERS__;
  const action = __ACTION__;
  const selector = __SELECTOR__;
  const value = __VALUE__;
  const el = document.querySelector(selector);
  if (!el) return JSON.stringify({ error: 'Element not found: ' + selector });
  el.scrollIntoView({ behavior: 'smooth', block: 'center' });
  switch (action) {
    case 'click':
      el.click();
      return JSON.stringify({ status: 'clicked', label: (el.textContent || '').trim().slice(0, 60) });
    case 'fill': {
      fillValue(el, value);
      return JSON.stringify({ status: 'filled', value: value });
    }
    case 'select':
      el.value = value;
      el.dispatchEvent(new Event('change', { bubbles: true }));
      return JSON.stringify({ status: 'selected', value: value });
    case 'fill_contenteditable':
      el.focus();
      document.execCommand('selectAll', false, null);
      document.execCommand('insertText', false, value);
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
