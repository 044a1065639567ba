// Connects the page to Velmor's WebSocket listener, offers the page's controls as tools and
// keeps that set current while the page changes. The scheme, port and nonce placeholders are
// replaced by literals before the script runs; the host is always localhost. The nonce, fresh
// for every injection, is what tells Velmor this page agent is one it injected.
(function () {
  if (window.__velmor_ws_injected) return JSON.stringify({ status: 'already_connected' });
  window.__velmor_ws_injected = true;
  const wsUrl = __SCHEME__ + '://localhost:' + __PORT__;
  const nonce = __NONCE__;
  const ws = new WebSocket(wsUrl);
  let observer = null;
  let rescanTimer = null;
  const registered = new Map();

  function send(message) {
    if (ws.readyState === WebSocket.OPEN) ws.send(JSON.stringify(message));
  }
  __PAGE_HELPERS__;
  function getLabel(el) {
    const aria = trimmed(el.getAttribute('aria-label'));
    if (aria) return aria;
    const own = trimmed(el.textContent);
    if (own && own.length < 80) return own;
    return trimmed(el.getAttribute('title')) || trimmed(el.getAttribute('placeholder')) || el.id || null;
  }
  function getInputLabel(el) {
    const aria = trimmed(el.getAttribute('aria-label'));
    if (aria) return aria;
    if (el.id) {
      const labels = document.querySelectorAll('label[for="' + CSS.escape(el.id) + '"]');
      const text = Array.from(labels).map((l) => trimmed(l.textContent)).join(' ').trim();
      if (text) return text;
    }
    return trimmed(el.getAttribute('placeholder')) || trimmed(el.getAttribute('name')) || null;
  }
  function schemaFor(action) {
    if (action === 'click') return { type: 'object', properties: {} };
    const description = action === 'fill' ? 'Text to fill in' : 'Value to select';
    return { type: 'object', properties: { value: { type: 'string', description: description } }, required: ['value'] };
  }

  function scan() {
    const found = new Set();
    function offer(name, el, action, description) {
      found.add(name);
      registered.set(name, { el: el, action: action });
      send({ type: 'register_tool', tool: { name: name, description: description, inputSchema: schemaFor(action) } });
    }
    // The first free number, as the page scan numbers alike controls.
    function renamed(name) {
      let numbered = name;
      for (let n = 2; found.has(numbered); n++) numbered = name + '_' + n;
      return numbered;
    }
    for (const el of document.querySelectorAll('button, [role="button"], input[type="submit"], input[type="button"]')) {
      if (isHidden(el) || el.disabled) continue;
      const label = getLabel(el);
      if (!label) continue;
      offer(renamed('click_' + slug(label)), el, 'click', 'Click "' + label.slice(0, 60) + '"');
    }
    for (const el of document.querySelectorAll('input:not([type="submit"]):not([type="button"])' +
        ':not([type="hidden"]):not([type="file"]), textarea')) {
      if (isHidden(el) || el.disabled || el.readOnly) continue;
      const label = getInputLabel(el);
      if (!label) continue;
      offer(renamed('fill_' + slug(label)), el, 'fill', 'Fill "' + label.slice(0, 60) + '"');
    }
    for (const el of document.querySelectorAll('select')) {
      if (isHidden(el) || el.disabled) continue;
      const label = getInputLabel(el) || getLabel(el);
      if (!label || found.has('select_' + slug(label))) continue;
      offer('select_' + slug(label), el, 'select', 'Select from "' + label.slice(0, 60) + '"');
    }
    for (const el of document.querySelectorAll('a[href]')) {
      if (isHidden(el)) continue;
      const label = getLabel(el);
      if (!label || found.has('navigate_' + slug(label))) continue;
      offer('navigate_' + slug(label), el, 'click', 'Navigate to "' + label.slice(0, 60) + '"');
    }
    for (const el of document.querySelectorAll('[role="checkbox"]:not(input), [role="switch"]')) {
      if (isHidden(el)) continue;
      const label = getLabel(el);
      if (!label || found.has('toggle_' + slug(label))) continue;
      offer('toggle_' + slug(label), el, 'click', 'Toggle "' + label.slice(0, 60) + '"');
    }
    for (const name of Array.from(registered.keys())) {
      if (found.has(name)) continue;
      send({ type: 'unregister_tool', name: name });
      registered.delete(name);
    }
    send({ type: 'tools_ready', tools: Array.from(registered.keys()), timestamp: Date.now(),
      url: location.href, title: document.title });
    send({ type: 'page_info', url: location.href, title: document.title });
  }
  function scheduleScan() {
    clearTimeout(rescanTimer);
    rescanTimer = setTimeout(scan, 500);
  }
  function startObserver() {
    observer = new MutationObserver(scheduleScan);
    observer.observe(document.body, {
      childList: true, subtree: true, attributes: true,
      attributeFilter: ['disabled', 'aria-label', 'aria-hidden', 'hidden', 'aria-checked', 'aria-expanded', 'data-state'],
    });
  }

  function perform(tool, name, args) {
    const el = tool.el;
    if (tool.action === 'click') {
      el.click();
      return 'Clicked "' + (getLabel(el) || name) + '"';
    }
    const value = args && args.value != null ? String(args.value) : '';
    if (tool.action === 'fill') {
      fillValue(el, value);
      return 'Filled with "' + value + '"';
    }
    el.value = value;
    el.dispatchEvent(new Event('change', { bubbles: true }));
    return 'Selected "' + value + '"';
  }
  function handleToolCall(message) {
    const callId = message.callId;
    try {
      const tool = registered.get(message.name);
      if (!tool) {
        send({ type: 'tool_error', callId: callId, error: 'Tool not found: ' + message.name });
        return;
      }
      tool.el.scrollIntoView({ behavior: 'smooth', block: 'center' });
      setTimeout(function () {
        try {
          const text = perform(tool, message.name, message.args);
          send({ type: 'tool_result', callId: callId, result: { content: [{ type: 'text', text: text }] } });
          setTimeout(scan, 500);
        } catch (e) {
          send({ type: 'tool_error', callId: callId, error: String(e && e.message || e) });
        }
      }, 300);
    } catch (e) {
      send({ type: 'tool_error', callId: callId, error: String(e && e.message || e) });
    }
  }

  ws.onopen = function () {
    send({ type: 'session_auth', nonce: nonce });
    console.log('[velmor] Connected to Velmor via ' + wsUrl);
  };
  ws.onmessage = function (event) {
    let message;
    try { message = JSON.parse(event.data); } catch (e) { return; }
    if (message.type === 'session_id') {
      scan();
      startObserver();
    } else if (message.type === 'tool_call') {
      handleToolCall(message);
    }
  };
  ws.onclose = function () {
    console.log('[velmor] WebSocket disconnected');
    if (observer) observer.disconnect();
    observer = null;
    window.__velmor_ws_injected = false;
  };
  ws.onerror = function (error) {
    console.log('[velmor] WebSocket error:', error);
    window.__velmor_ws_injected = false;
  };
  setInterval(function () {
    if (ws.readyState === WebSocket.OPEN) send({ type: 'ping' });
  }, 20000);
  return JSON.stringify({ status: 'injected', wsUrl: wsUrl });
})()
