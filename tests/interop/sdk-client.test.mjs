// Drives tessary-mcp.exe under Wine with the official MCP client SDK, the way
// an assistant's desktop application does: spawn it over stdio, initialize,
// list the tools and call them. No calendar runs here, so every tool call is
// answered with the CALENDAR_NOT_RUNNING tool error.
//
// Environment (ctest sets all of it):
//   TESSARY_MCP_EXE   path of tessary-mcp.exe
//   WINEPREFIX        the build tree's Wine prefix
//   WINEDEBUG, WINEDLLOVERRIDES  passed on to Wine
//   TESSARY_WINE64    optional, the wine64 loader (default /usr/lib/wine/wine64)
import { after, before, describe, it } from 'node:test';
import assert from 'node:assert/strict';

import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StdioClientTransport } from '@modelcontextprotocol/sdk/client/stdio.js';
import { LATEST_PROTOCOL_VERSION, McpError } from '@modelcontextprotocol/sdk/types.js';
import { AjvJsonSchemaValidator } from '@modelcontextprotocol/sdk/validation/ajv';

const EXPECTED_TOOLS = [
  'calendar_list', 'events_query', 'event_get', 'items_get', 'items_set', 'items_append_line',
  'item_line_update', 'item_line_delete', 'item_line_set_done', 'event_create', 'event_update',
  'event_delete', 'notes_list', 'notes_get', 'notes_create', 'notes_update', 'notes_delete',
  'timetable_list', 'timetable_get', 'timetable_upsert', 'timetable_delete', 'event_confirm',
];

const NOT_RUNNING = { code: 'CALENDAR_NOT_RUNNING', message: '请先打开Tessary后再试' };

function requireEnv(name) {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set; run this test through ctest, which sets it`);
  return value;
}

// A child started by the SDK inherits only a handful of variables, so Wine's
// own settings and the token are handed over explicitly.
function serverParameters() {
  return {
    command: process.env.TESSARY_WINE64 || '/usr/lib/wine/wine64',
    args: [requireEnv('TESSARY_MCP_EXE')],
    env: {
      WINEPREFIX: requireEnv('WINEPREFIX'),
      WINEDEBUG: process.env.WINEDEBUG ?? '-all',
      WINEDLLOVERRIDES: process.env.WINEDLLOVERRIDES ?? 'winedbg.exe=d',
      LANG: 'C.UTF-8',
      TZ: process.env.TZ ?? 'UTC',
      TESSARY_AIMCP_TOKEN: 'interop-test-token',
    },
    stderr: 'pipe',
  };
}

describe('official MCP SDK client against tessary-mcp.exe', () => {
  let client;
  let transport;
  let negotiatedVersion;
  let stderrText = '';
  const transportErrors = [];

  before(async () => {
    transport = new StdioClientTransport(serverParameters());
    transport.stderr.on('data', (chunk) => { stderrText += chunk.toString('utf8'); });
    // The client hands the version it accepted from the server to a transport
    // that can take it; stdio has no use for it, so it is recorded here.
    transport.setProtocolVersion = (version) => { negotiatedVersion = version; };
    client = new Client({ name: 'tessary-interop-test', version: '0.0.1' });
    client.onerror = (error) => transportErrors.push(error);
    await client.connect(transport, { timeout: 60_000 });
  });

  after(async () => {
    await client?.close();
    if (stderrText) console.log(`tessary-mcp stderr:\n${stderrText}`);
  });

  it('completes initialize, settling on protocol version 2024-11-05', () => {
    assert.notEqual(LATEST_PROTOCOL_VERSION, '2024-11-05', 'the client should offer a newer version than it gets');
    assert.equal(negotiatedVersion, '2024-11-05');
    assert.deepEqual(client.getServerVersion(), { name: 'Tessary', version: '1.0.0' });
    assert.deepEqual(client.getServerCapabilities(), { tools: {} });
  });

  it('lists the 22 tools in catalog order, each with a usable object input schema', async () => {
    const { tools } = await client.listTools();
    assert.equal(tools.length, 22);
    assert.equal(tools[0].name, 'calendar_list');
    assert.equal(tools.at(-1).name, 'event_confirm');
    assert.deepEqual(tools.map((t) => t.name), EXPECTED_TOOLS);

    // Clients check arguments against these schemas before a call goes out,
    // so each one has to compile with the SDK's own validator.
    const validator = new AjvJsonSchemaValidator();
    for (const tool of tools) {
      assert.equal(typeof tool.description, 'string', `${tool.name} has a description`);
      assert.ok(tool.description.includes(' English: '), `${tool.name} description carries its English part`);
      assert.equal(tool.inputSchema.type, 'object', `${tool.name} input schema type`);
      assert.equal(typeof tool.inputSchema.properties, 'object', `${tool.name} input schema properties`);
      assert.doesNotThrow(() => validator.getValidator(tool.inputSchema), `${tool.name} schema compiles`);
    }
  });

  it('answers calendar_list with a CALENDAR_NOT_RUNNING tool error', async () => {
    const result = await client.callTool({ name: 'calendar_list', arguments: {} });
    assert.equal(result.isError, true);
    assert.equal(result.content.length, 1);
    assert.equal(result.content[0].type, 'text');
    assert.deepEqual(JSON.parse(result.content[0].text), { error: NOT_RUNNING });
  });

  it('refuses tool calls the catalog does not know with JSON-RPC error -32602', async () => {
    const cases = [
      { name: 'no_such_tool', message: 'unknown tool: no_such_tool' },
      { name: 'Calendar_List', message: 'unknown tool: Calendar_List' },
    ];
    for (const { name, message } of cases) {
      await assert.rejects(client.callTool({ name, arguments: {} }), (error) => {
        assert.ok(error instanceof McpError, `${name}: ${error}`);
        assert.equal(error.code, -32602);
        assert.match(error.message, new RegExp(message));
        return true;
      });
    }
  });

  it('keeps the connection healthy: nothing unexpected reached the client', async () => {
    // A reply to the initialized notification, or any line the SDK cannot
    // parse, would show up here.
    await client.ping();
    assert.deepEqual(transportErrors, []);
    assert.match(stderrText, /tessary-mcp: notification: notifications\/initialized/);
  });
});
