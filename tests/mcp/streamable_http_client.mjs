// Velmor's Streamable HTTP endpoint as the official MCP SDK client and plain HTTP clients
// meet it. Driven by sdk_http_test, which starts velmor; exits non-zero, naming the
// failed checks, when anything is not as a client expects.
//   MCP_SDK_MODULES  the folder holding the pinned SDK's node_modules
//   VELMOR_URL       http://127.0.0.1:<port>/mcp
//   VELMOR_TOKEN     the bearer token
//   SHORTCUT_FOLDER  the user's shortcut library, where a new shortcut becomes a tool
import diagnostics from 'node:diagnostics_channel';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const sdk = (file) => import(pathToFileURL(path.join(process.env.MCP_SDK_MODULES, '@modelcontextprotocol/sdk/dist/esm', file)).href);
const { Client } = await sdk('client/index.js');
const { StreamableHTTPClientTransport } = await sdk('client/streamableHttp.js');
const { ToolListChangedNotificationSchema } = await sdk('types.js');

const url = new URL(process.env.VELMOR_URL);
const token = process.env.VELMOR_TOKEN;
const failures = [];
const check = (ok, what) => {
    if (!ok) failures.push(what);
};
const withTimeout = (promise, ms, what) =>
    Promise.race([promise, new Promise((_, reject) => setTimeout(() => reject(new Error(`timed out: ${what}`)), ms))]);

// Every TCP connection node's fetch opens: reuse shows as no new ones.
let connectionsOpened = 0;
diagnostics.subscribe('undici:client:connected', () => connectionsOpened++);

const authorization = { Authorization: `Bearer ${token}` };
async function postRaw(body, headers = {}) {
    const response = await fetch(url, {
        method: 'POST',
        headers: { 'Content-Type': 'application/json', Accept: 'application/json, text/event-stream', ...authorization, ...headers },
        body,
    });
    const text = await response.text();
    return { status: response.status, headers: response.headers, text };
}

// The SDK client, as an application registers Velmor: a URL and an Authorization header.
const client = new Client({ name: 'velmor-test', version: '1.0.0' });
const transport = new StreamableHTTPClientTransport(url, { requestInit: { headers: authorization } });
let toolsChanged;
const heardToolsChanged = new Promise((resolve) => (toolsChanged = resolve));
client.setNotificationHandler(ToolListChangedNotificationSchema, () => toolsChanged());
await client.connect(transport);
check(client.getServerVersion()?.name === 'velmor', 'serverInfo names velmor');
check(transport.protocolVersion === '2025-11-25', `the SDK's own revision is agreed (${transport.protocolVersion})`);
check(/^[\x21-\x7e]+$/.test(transport.sessionId ?? ''), 'a session id of visible ASCII is issued at initialize');
check(client.getServerCapabilities()?.tools?.listChanged === true, 'tools.listChanged is advertised');
check((await client.ping()) !== undefined, 'ping answers');

// 50 calls back to back over the kept connection: none fails, and no new connection is
// needed after the first of them.
await client.listTools();
const openedBefore = connectionsOpened;
let failed = 0;
let listed = 0;
for (let i = 0; i < 50; i++) {
    try {
        listed = (await client.listTools()).tools.length;
    } catch (error) {
        failed++;
        console.error(`tools/list ${i}: ${error.message}`);
    }
}
check(failed === 0, `50 back-to-back tools/list calls, ${failed} failed`);
check(listed > 30, `tools/list lists the tools (${listed})`);
check(openedBefore > 0 && connectionsOpened - openedBefore === 0, `the calls reuse the connection (${connectionsOpened - openedBefore} opened)`);
const call = await client.callTool({ name: 'click_ok', arguments: {} });
check(call.isError === true && call.content[0].text === 'Error: no active session', 'a tool call answers as the tool does');

// A shortcut added to the library is a new tool, announced on the server's event stream.
fs.mkdirSync(process.env.SHORTCUT_FOLDER, { recursive: true });
fs.writeFileSync(path.join(process.env.SHORTCUT_FOLDER, 'Morning Greeting.shortcut'), '');
try {
    await withTimeout(heardToolsChanged, 30000, 'notifications/tools/list_changed');
    const names = (await client.listTools()).tools.map((tool) => tool.name);
    check(names.includes('shortcut_morning_greeting'), `the announced list has the new tool (${names.filter((n) => n.startsWith('shortcut_'))})`);
} catch (error) {
    check(false, error.message);
}

// Each revision is answered as asked; one this server does not speak gets the latest.
for (const version of ['2024-11-05', '2025-03-26', '2025-06-18', '2025-11-25', '2030-01-01']) {
    const answer = await postRaw(JSON.stringify({ jsonrpc: '2.0', id: 1, method: 'initialize',
        params: { protocolVersion: version, capabilities: {}, clientInfo: { name: 'raw', version: '0' } } }));
    const agreed = JSON.parse(answer.text).result?.protocolVersion;
    check(agreed === (version === '2030-01-01' ? '2025-11-25' : version), `initialize with ${version} agrees on ${agreed}`);
    check(answer.headers.get('access-control-allow-origin') === null, 'no answer grants CORS');
}

// Malformed JSON is a parse error without an id; an invalid request keeps its id.
const unparsable = JSON.parse((await postRaw('{"jsonrpc":"2.0","id":9,')).text);
check(unparsable.error?.code === -32700 && unparsable.id === null, `malformed JSON: ${JSON.stringify(unparsable)}`);
const invalid = JSON.parse((await postRaw('{"jsonrpc":"2.0","id":9,"method":5}')).text);
check(invalid.error?.code === -32600 && invalid.id === 9, `invalid request: ${JSON.stringify(invalid)}`);
check((await postRaw('{"jsonrpc":"2.0","method":"notifications/whatever"}')).status === 202, 'a notification is accepted with 202');

// Refusals a client can act on.
for (const origin of ['http://evil.example', 'null', 'http://127.0.0.1:19820'])
    check((await postRaw('{"jsonrpc":"2.0","id":1,"method":"ping"}', { Origin: origin })).status === 403, `Origin ${origin} refused`);
const unauthorised = await postRaw('{"jsonrpc":"2.0","id":1,"method":"ping"}', { Authorization: 'Bearer wrong' });
check(unauthorised.status === 401 && unauthorised.headers.get('www-authenticate') === 'Bearer', '401 challenges with Bearer');
check((await postRaw('{"jsonrpc":"2.0","id":1,"method":"ping"}', { 'MCP-Protocol-Version': '1999-01-01' })).status === 400,
    'an unknown MCP-Protocol-Version is 400');
check((await postRaw('{"jsonrpc":"2.0","id":1,"method":"ping"}', { Accept: 'text/html' })).status === 406, 'Accept without JSON or SSE is 406');

// A chunked body, written by hand on a raw socket; the list has the new shortcut's tool.
const chunked = await new Promise((resolve, reject) => {
    const body = '{"jsonrpc":"2.0","id":"chunks","method":"tools/list"}';
    const socket = net.connect(Number(url.port), url.hostname, () => {
        socket.write(`POST /mcp HTTP/1.1\r\nHost: ${url.host}\r\nAuthorization: Bearer ${token}\r\n` +
            'Content-Type: application/json\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n' +
            `${(10).toString(16)}\r\n${body.slice(0, 10)}\r\n${(body.length - 10).toString(16)}\r\n${body.slice(10)}\r\n0\r\n\r\n`);
    });
    let received = '';
    socket.on('data', (data) => (received += data));
    socket.on('end', () => resolve(received));
    socket.on('error', reject);
});
const chunkedAnswer = JSON.parse(chunked.slice(chunked.indexOf('\r\n\r\n') + 4));
check(chunked.startsWith('HTTP/1.1 200 OK') && chunkedAnswer.id === 'chunks' && chunkedAnswer.result.tools.length > listed,
    `a chunked POST is answered: ${chunked.slice(0, 80)}`);

// Ending the session: its id is unknown from then on.
const session = transport.sessionId;
await transport.terminateSession();
const ended = await postRaw('{"jsonrpc":"2.0","id":1,"method":"ping"}', { 'Mcp-Session-Id': session });
check(ended.status === 404, `a request in an ended session is 404 (${ended.status})`);
await client.close();

if (failures.length) {
    console.error(`FAILED:\n  ${failures.join('\n  ')}`);
    process.exit(1);
}
console.log('all checks passed');
