// Drives tessary-mcp.exe under Wine with the official MCP client SDK, the way
// an assistant's desktop application does: spawn it over stdio, initialize,
// list the tools and call them. The first group runs without a calendar, so
// every tool call is answered with the CALENDAR_NOT_RUNNING tool error. The
// second starts the stand-in calendar with sample data and AI access on and
// makes one confirmed event write and one confirmed note write through it.
// The stand-in holds machine-wide names (its mutex and pipe), so ctest runs
// this test under the calendar_pipe lock.
//
// Environment (ctest sets all of it):
//   TESSARY_MCP_EXE      path of tessary-mcp.exe
//   TESSARY_DEVHOST_EXE  path of tessary-devhost.exe (the plug-in beside it)
//   WINEPREFIX           the build tree's Wine prefix
//   WINEDEBUG, WINEDLLOVERRIDES  passed on to Wine
//   TESSARY_WINE64       optional, the wine64 loader (default /usr/lib/wine/wine64)
import { after, before, describe, it } from 'node:test';
import assert from 'node:assert/strict';
import { execFile, spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

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

const wine64 = () => process.env.TESSARY_WINE64 || '/usr/lib/wine/wine64';

// What a Windows program of this build needs to run under Wine here.
function wineEnvironment(tz) {
  return {
    WINEPREFIX: requireEnv('WINEPREFIX'),
    WINEDEBUG: process.env.WINEDEBUG ?? '-all',
    WINEDLLOVERRIDES: process.env.WINEDLLOVERRIDES ?? 'winedbg.exe=d',
    LANG: 'C.UTF-8',
    TZ: tz,
  };
}

// A child started by the SDK inherits only a handful of variables, so Wine's
// own settings and the token are handed over explicitly.
function serverParameters({ token = 'interop-test-token', tz = process.env.TZ ?? 'UTC' } = {}) {
  return {
    command: wine64(),
    args: [requireEnv('TESSARY_MCP_EXE')],
    env: { ...wineEnvironment(tz), TESSARY_AIMCP_TOKEN: token },
    stderr: 'pipe',
  };
}

// Connects an SDK client to a freshly started tessary-mcp.exe; the SDK's
// errors, the server's standard error and the negotiated protocol version
// are collected in the returned record.
async function connectClient(parameters) {
  const session = { transportErrors: [], stderrText: '', negotiatedVersion: undefined };
  session.transport = new StdioClientTransport(parameters);
  session.transport.stderr.on('data', (chunk) => { session.stderrText += chunk.toString('utf8'); });
  // The client hands the version it accepted from the server to a transport
  // that can take it; stdio has no use for it, so it is recorded here.
  session.transport.setProtocolVersion = (version) => { session.negotiatedVersion = version; };
  session.client = new Client({ name: 'tessary-interop-test', version: '0.0.1' });
  session.client.onerror = (error) => session.transportErrors.push(error);
  await session.client.connect(session.transport, { timeout: 60_000 });
  return session;
}

describe('official MCP SDK client against tessary-mcp.exe', () => {
  let session;
  let client;

  before(async () => {
    session = await connectClient(serverParameters());
    client = session.client;
  });

  after(async () => {
    await client?.close();
    if (session?.stderrText) console.log(`tessary-mcp stderr:\n${session.stderrText}`);
  });

  it('completes initialize, settling on protocol version 2024-11-05', () => {
    assert.notEqual(LATEST_PROTOCOL_VERSION, '2024-11-05', 'the client should offer a newer version than it gets');
    assert.equal(session.negotiatedVersion, '2024-11-05');
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
    assert.deepEqual(session.transportErrors, []);
    assert.match(session.stderrText, /tessary-mcp: notification: notifications\/initialized/);
  });
});

// ---- With the stand-in calendar running -------------------------------------

// The calendar's zone, set explicitly; the dates below are fixed, so nothing
// depends on the machine's zone or today's date.
const CALENDAR_TZ = 'Asia/Shanghai';
const SEND_TIMEOUT_MS = 20_000;

// One command to the running stand-in calendar through a second invocation
// of its program: the exit code and the reply's lines.
function sendToCalendar(words) {
  return new Promise((resolve) => {
    execFile(wine64(), [requireEnv('TESSARY_DEVHOST_EXE'), '--send', ...words],
      { env: wineEnvironment(CALENDAR_TZ), timeout: SEND_TIMEOUT_MS, encoding: 'utf8' },
      (error, stdout) => {
        const code = error ? (typeof error.code === 'number' ? error.code : -1) : 0;
        resolve({ code, lines: stdout.split(/\r?\n/).filter(Boolean) });
      });
  });
}

// The JSON answer of one tool call, which must (or, with isError, must not)
// succeed.
async function callToolJson(client, name, args, { isError = false } = {}) {
  const result = await client.callTool({ name, arguments: args });
  assert.equal(result.content?.[0]?.type, 'text', `${name} answers with text`);
  const text = result.content[0].text;
  assert.equal(result.isError, isError, `${name} isError: ${text}`);
  return JSON.parse(text);
}

function assertParked(answer, op) {
  assert.equal(answer.status, 'pending_confirmation', JSON.stringify(answer));
  assert.match(answer.confirm_token, /^[0-9a-f]{32}$/);
  assert.equal(answer.summary.op, op);
  return answer.confirm_token;
}

describe('official MCP SDK client through tessary-mcp.exe into the running stand-in calendar', () => {
  let folder;
  let calendar;
  let calendarExit;
  let calendarOutput = '';
  let session;
  let client;

  before(async () => {
    folder = mkdtempSync(join(tmpdir(), 'tessary-interop-'));
    const data = `Z:${join(folder, 'data').replaceAll('/', '\\')}`;
    calendar = spawn(wine64(), [requireEnv('TESSARY_DEVHOST_EXE'), '--data', data, '--sample'],
      { env: wineEnvironment(CALENDAR_TZ), stdio: ['ignore', 'pipe', 'pipe'] });
    calendarExit = new Promise((resolve) => calendar.on('exit', (code, signal) => resolve(signal ?? code)));
    // Should this process end early, the calendar must not outlive it and
    // keep the machine-wide names from the next test.
    process.once('exit', () => calendar.kill('SIGKILL'));
    calendar.on('error', (error) => { calendarOutput += `could not start: ${error.message}\n`; });
    for (const stream of [calendar.stdout, calendar.stderr]) {
      stream.on('data', (chunk) => { calendarOutput += chunk.toString('utf8'); });
    }

    let status;
    for (let i = 0; i < 200 && calendar.exitCode === null; ++i) {
      status = await sendToCalendar(['status']);
      if (status.code === 0) break;
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
    assert.equal(status?.code, 0, `the stand-in calendar did not come up:\n${calendarOutput}`);
    // Answered by this calendar, not by one left running elsewhere.
    assert.ok(status.lines.includes(`data folder: ${data}`), status.lines.join('\n'));
    assert.ok(status.lines.includes('plug-in: attached'), status.lines.join('\n'));

    assert.equal((await sendToCalendar(['ai', 'on'])).code, 0);
    const reply = await sendToCalendar(['setting', 'get', 'sys_aimcp_token']);
    assert.equal(reply.code, 0, reply.lines.join('\n'));
    const token = reply.lines[1];
    assert.match(token, /^[0-9a-f]{64}$/);

    session = await connectClient(serverParameters({ token, tz: CALENDAR_TZ }));
    client = session.client;
  });

  after(async () => {
    try {
      await client?.close();
      if (calendar && calendar.exitCode === null && calendar.signalCode === null) {
        const quit = await sendToCalendar(['quit']);
        const ended = await Promise.race([calendarExit, new Promise((resolve) => setTimeout(() => resolve('late'), SEND_TIMEOUT_MS))]);
        if (ended !== 0) calendar.kill('SIGKILL');
        assert.equal(quit.code, 0, `quit: ${quit.lines.join('\n')}`);
        assert.equal(ended, 0, `the stand-in calendar ended with ${ended}:\n${calendarOutput}`);
      }
      assert.deepEqual(session?.transportErrors ?? [], []);
    } finally {
      if (folder) rmSync(folder, { recursive: true, force: true });
    }
  });

  it('carries out a parked event_create once event_confirm accepts it', async () => {
    // 20:30 in New York on the 13th is the morning of the 14th in the
    // calendar's zone: the local date is the event's day.
    const title = 'Interop reminder 互通提醒';
    const parked = await callToolJson(client, 'event_create', {
      title, date: '2030-03-13T20:30:00-04:00', kind: 'reminder', recurrence: 'weekly', reminder: { trigger: '-1:20:00' },
    });
    const confirmToken = assertParked(parked, 'create');
    assert.equal(parked.summary.title, title);
    assert.equal(parked.summary.date, '2030-03-14');
    assert.equal(parked.summary.kind, 'reminder');
    assert.equal(parked.summary.start, '2030-03-14T00:00:00+08:00');

    // Two weeks from that day, in the calendar's zone.
    const range = { start: '2030-03-14T00:00:00+08:00', end: '2030-03-28T00:00:00+08:00' };
    const titlesIn = async () => (await callToolJson(client, 'events_query', range)).events.filter((e) => e.title === title);
    assert.deepEqual(await titlesIn(), [], 'a parked write changes nothing');

    const done = await callToolJson(client, 'event_confirm', { confirm_token: confirmToken, accept: true });
    assert.equal(done.status, 'ok');
    assert.match(done.id, /^evt-\d+$/);

    const { event } = await callToolJson(client, 'event_get', { id: done.id, date: range.start });
    assert.equal(event.id, done.id);
    assert.equal(event.title, title);
    assert.equal(event.kind, 'reminder');
    assert.equal(event.recurrence, 'weekly');
    assert.equal(event.date, '2030-03-14');
    assert.deepEqual(event.reminder, { trigger: '-1:20:00' });

    const occurrences = await titlesIn();
    assert.deepEqual(occurrences.map((e) => [e.id, e.date]), [[done.id, '2030-03-14'], [done.id, '2030-03-21']]);

    // The token is spent.
    const again = await callToolJson(client, 'event_confirm', { confirm_token: confirmToken, accept: true }, { isError: true });
    assert.equal(again.error.code, 'NOT_FOUND');
  });

  it('uploads a timetable once confirmed, replaces it by name and deletes it', async () => {
    const upload = {
      name: '  Interop 二班  ',
      week_count: 16,
      count_class_day: 4,
      count_class_am: 2,
      times: [
        { order: 0, start_hour: 8, start_minute: 0, end_hour: 8, end_minute: 45 },
        { order: 1, start_hour: 8, start_minute: 55, end_hour: 9, end_minute: 40 },
      ],
      lessons: [{ name: '语文', order: 0, weekday: 2, teacher: 'Mr Zhao', weeks: '0,1,2' }],
      not_a_member: 'dropped',
    };
    const parked = await callToolJson(client, 'timetable_upsert', upload);
    const confirmToken = assertParked(parked, 'timetable_upsert');
    assert.deepEqual(parked.summary, { op: 'timetable_upsert', name: 'Interop 二班', action: 'created' });
    const created = await callToolJson(client, 'event_confirm', { confirm_token: confirmToken, accept: true });
    assert.equal(created.status, 'ok');
    assert.equal(created.action, 'created');

    const { timetable } = await callToolJson(client, 'timetable_get', { name: 'Interop 二班' });
    assert.equal(timetable.timetable_id, created.id);
    assert.equal(timetable.name, 'Interop 二班');
    assert.deepEqual(timetable.lessons, upload.lessons);
    assert.deepEqual(timetable.times, upload.times);
    assert.equal(timetable.not_a_member, undefined);
    const listed = (await callToolJson(client, 'timetable_list', {})).timetables.filter((t) => t.id === created.id);
    assert.equal(listed.length, 1);
    assert.equal(listed[0].lesson_count, 1);
    assert.equal(listed[0].week_count, 16);

    // A broken upload is refused with the member it gets wrong.
    const refused = await callToolJson(client, 'timetable_upsert',
      { ...upload, lessons: [{ name: '语文', order: 0, weekday: 9 }] }, { isError: true });
    assert.deepEqual(refused, { error: { code: 'INVALID_PARAMS', message: '"weekday" must be an integer from 1 to 7' } });

    const replacing = await callToolJson(client, 'timetable_upsert', { name: 'Interop 二班', week_count: 10 });
    assert.equal(replacing.summary.action, 'replaced');
    const replaced = await callToolJson(client, 'event_confirm', { confirm_token: replacing.confirm_token, accept: true });
    assert.deepEqual(replaced, { status: 'ok', id: created.id, action: 'replaced' });
    const again = await callToolJson(client, 'timetable_get', { id: created.id });
    assert.equal(again.timetable.week_count, 10);
    assert.deepEqual(again.timetable.lessons, []);

    const deleting = await callToolJson(client, 'timetable_delete', { id: created.id });
    const deleted = await callToolJson(client, 'event_confirm', { confirm_token: deleting.confirm_token, accept: true });
    assert.deepEqual(deleted, { status: 'ok' });
    const gone = await callToolJson(client, 'timetable_get', { id: created.id }, { isError: true });
    assert.equal(gone.error.code, 'NOT_FOUND');
  });

  it('stores a confirmed notes_create byte-exact, non-ASCII text included', async () => {
    // CR LF, a character outside the BMP, quotes, a backslash and a tab
    // cross every conversion on the way: UTF-8 on stdio, UTF-16 in the
    // programs, \u escapes in the answers.
    const content = 'Grüße aus 北京 — день 1\r\n🌸 "quoted" back\\slash\ttab\nlast line é';
    const parked = await callToolJson(client, 'notes_create', { content });
    const confirmToken = assertParked(parked, 'notes_create');
    // Without a title the note takes its first line.
    assert.equal(parked.summary.title, 'Grüße aus 北京 — день 1');
    assert.equal(parked.summary.preview, content);

    const done = await callToolJson(client, 'event_confirm', { confirm_token: confirmToken, accept: true });
    assert.equal(done.status, 'ok');
    assert.match(done.id, /^note-\d+$/);

    const note = await callToolJson(client, 'notes_get', { id: done.id });
    assert.deepEqual(note, { id: done.id, title: 'Grüße aus 北京 — день 1', content });
    assert.ok(Buffer.from(note.content, 'utf8').equals(Buffer.from(content, 'utf8')));

    // The calendar holds those very characters, not just a text that reads
    // back the same through the plug-in.
    const stored = await sendToCalendar(['note', done.id]);
    assert.equal(stored.code, 0, stored.lines.join('\n'));
    assert.equal(JSON.parse(stored.lines[1]).content, content);

    const { notes } = await callToolJson(client, 'notes_list', {});
    assert.deepEqual(notes.filter((n) => n.id === done.id), [{ id: done.id, title: 'Grüße aus 北京 — день 1', preview: content }]);
  });
});
