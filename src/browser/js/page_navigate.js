// Sends the tab to another address; relative paths are resolved by the page. The path
// placeholder is replaced by a JavaScript string literal, so any path arrives exactly as given.
(function () {
  const path = __PATH__;
  window.location.href = path;
  return JSON.stringify({ status: 'navigating', path: path });
})()
