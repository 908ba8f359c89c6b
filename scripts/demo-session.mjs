// A readable MCP session with tessary-mcp.exe under Wine against the running
// stand-in calendar, printed as it goes: initialize, the tool list, the
// calendars, this week's events, one event, a day-cell line added (parked,
// then confirmed), the day read back, and the audit lines the write caused.
// Messages travel one JSON text per line. Exits non-zero when a reply is
// missing, late or not what an MCP client expects.
//
// Environment: TESSARY_MCP_EXE (the program), TESSARY_AIMCP_TOKEN (the pipe
// token), TESSARY_DEMO_DATA (the stand-in calendar's data folder), TZ,
// WINE64, WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES (scripts/wine-env.sh).
import { spawn } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';

const REPLY_TIMEOUT_MS = 20_000;
const token = process.env.TESSARY_AIMCP_TOKEN ?? '';
const dataFolder = process.env.TESSARY_DEMO_DATA ?? '';

const exe = process.env.TESSARY_MCP_EXE;
const wine64 = process.env.WINE64 || '/usr/lib/wine/wine64';
if (!exe || !process.env.WINEPREFIX) {
  console.error('demo-session: TESSARY_MCP_EXE and WINEPREFIX must be set (scripts/demo.sh sets them)');
  process.exit(2);
}

class DemoFailure extends Error {}

function expect(condition, what) {
  if (!condition) throw new DemoFailure(what);
}

// An MCP client hands its server only the variables it is configured with,
// plus a few basic ones; this session does the same.
const childEnv = {
  HOME: process.env.HOME ?? '/tmp',
  PATH: process.env.PATH ?? '/usr/bin:/bin',
  WINEPREFIX: process.env.WINEPREFIX,
  WINEDEBUG: process.env.WINEDEBUG ?? '-all',
  WINEDLLOVERRIDES: process.env.WINEDLLOVERRIDES ?? 'winedbg.exe=d',
  LANG: 'C.UTF-8',
  TZ: process.env.TZ ?? 'UTC',
  TESSARY_AIMCP_TOKEN: token,
};

const child = spawn(wine64, [exe], { env: childEnv, stdio: ['pipe', 'pipe', 'pipe'] });
const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
let spawnError = null;
child.on('error', (error) => { spawnError = error; });
child.stdin.on('error', () => {});  // a dead child shows up as a missing reply

// Replies, one per line of standard output, in arrival order.
const lines = [];
let waiter = null;
let pending = '';
child.stdout.setEncoding('utf8');
child.stdout.on('data', (chunk) => {
  pending += chunk;
  let lf;
  while ((lf = pending.indexOf('\n')) >= 0) {
    lines.push(pending.slice(0, lf).replace(/\r$/, ''));
    pending = pending.slice(lf + 1);
  }
  waiter?.();
});
child.stdout.on('end', () => waiter?.());

// Diagnostics on standard error, shown indented below the message that caused them.
const stderrLines = [];
let stderrPending = '';
child.stderr.setEncoding('utf8');
child.stderr.on('data', (chunk) => {
  stderrPending += chunk;
  let lf;
  while ((lf = stderrPending.indexOf('\n')) >= 0) {
    stderrLines.push(stderrPending.slice(0, lf));
    stderrPending = stderrPending.slice(lf + 1);
  }
  waiter?.();
});

function waitFor(take, what) {
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => {
      waiter = null;
      reject(new DemoFailure(`no ${what} within ${REPLY_TIMEOUT_MS / 1000} s`));
    }, REPLY_TIMEOUT_MS);
    const check = () => {
      const value = take();
      if (value !== undefined) {
        clearTimeout(timer);
        waiter = null;
        resolve(value);
      } else if (spawnError) {
        clearTimeout(timer);
        waiter = null;
        reject(new DemoFailure(`could not start ${wine64}: ${spawnError.message}`));
      } else if (child.stdout.readableEnded && lines.length === 0) {
        clearTimeout(timer);
        waiter = null;
        reject(new DemoFailure(`tessary-mcp ended its output before sending the ${what}`));
      }
    };
    waiter = check;
    check();
  });
}

function send(message) {
  const text = JSON.stringify(message);
  console.log(`-> ${text}`);
  child.stdin.write(`${text}\n`);
}

function showDiagnostics() {
  while (stderrLines.length) console.log(`   (stderr) ${stderrLines.shift()}`);
}

async function request(id, method, params) {
  send(params === undefined ? { jsonrpc: '2.0', id, method } : { jsonrpc: '2.0', id, method, params });
  const line = await waitFor(() => lines.shift(), `reply to ${method}`);
  let reply;
  try {
    reply = JSON.parse(line);
  } catch {
    throw new DemoFailure(`the reply to ${method} is not JSON: ${line}`);
  }
  expect(reply.jsonrpc === '2.0' && reply.id === id, `the reply to ${method} (id ${id}) answers something else: ${line}`);
  expect(reply.error === undefined, `${method} failed: ${JSON.stringify(reply.error)}`);
  return { line, reply };
}

function wrapNames(names, indent, width = 100) {
  const rows = [];
  let row = '';
  for (const name of names) {
    const piece = row ? `, ${name}` : name;
    if (row && indent.length + row.length + piece.length > width) {
      rows.push(`${row},`);
      row = name;
    } else {
      row += piece;
    }
  }
  if (row) rows.push(row);
  return rows.map((r) => indent + r).join('\n');
}

async function session() {
  console.log(`Starting ${wine64} ${exe}\n`);

  const init = await request(1, 'initialize', {
    protocolVersion: '2024-11-05',
    capabilities: {},
    clientInfo: { name: 'tessary-demo', version: '1.0.0' },
  });
  console.log(`<- ${init.line}`);
  const info = init.reply.result;
  expect(info?.protocolVersion === '2024-11-05', `unexpected protocol version ${info?.protocolVersion}`);
  expect(info?.serverInfo?.name === 'Tessary', `unexpected server name ${info?.serverInfo?.name}`);
  console.log(`   server ${info.serverInfo.name} ${info.serverInfo.version}, protocol ${info.protocolVersion}\n`);

  send({ jsonrpc: '2.0', method: 'notifications/initialized' });
  await waitFor(() => (stderrLines.length ? true : undefined), 'diagnostic line for the notification');
  console.log('   (a notification gets no reply)');
  showDiagnostics();
  console.log();

  const list = await request(2, 'tools/list');
  const tools = list.reply.result?.tools;
  expect(Array.isArray(tools), 'tools/list did not return a tools array');
  const bytes = Buffer.byteLength(list.line, 'utf8');
  console.log(`<- {"jsonrpc":"2.0","id":2,"result":{"tools":[ ...${tools.length} tools, ${bytes} bytes in all... ]}}`);
  console.log(`   ${tools.length} tools:`);
  console.log(wrapNames(tools.map((t) => t.name), '     '));
  expect(tools.length === 22, `expected 22 tools, got ${tools.length}`);
  console.log();

  let nextId = 3;
  async function callTool(name, args, { expectError = false } = {}) {
    const call = await request(nextId++, 'tools/call', { name, arguments: args });
    console.log(`<- ${call.line.length > 400 ? `${call.line.slice(0, 400)}... (${call.line.length} chars)` : call.line}`);
    const result = call.reply.result;
    const text = result?.content?.[0]?.text;
    expect(typeof text === 'string', `${name}: the tool result carries no text content`);
    let outcome;
    try {
      outcome = JSON.parse(text);
    } catch {
      throw new DemoFailure(`${name}: the tool result text is not JSON: ${text}`);
    }
    showDiagnostics();
    expect(result.isError === expectError, `${name}: isError ${result.isError}: ${text}`);
    console.log(`   ${name} ${result.isError ? 'failed' : 'answered'}:`);
    console.log(JSON.stringify(outcome, null, 2).split('\n').map((l) => `     ${l}`).join('\n'));
    console.log();
    return outcome;
  }

  // Local days and instants in the zone the calendar runs in (TZ).
  const pad = (n) => String(n).padStart(2, '0');
  const dayText = (d) => `${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())}`;
  const isoMidnight = (d) => {
    const offset = -d.getTimezoneOffset();
    const sign = offset < 0 ? '-' : '+';
    return `${dayText(d)}T00:00:00${sign}${pad(Math.floor(Math.abs(offset) / 60))}:${pad(Math.abs(offset) % 60)}`;
  };
  const today = new Date();
  const monday = new Date(today.getFullYear(), today.getMonth(), today.getDate() - ((today.getDay() + 6) % 7));
  const nextMonday = new Date(monday.getFullYear(), monday.getMonth(), monday.getDate() + 7);

  console.log('-- The calendars of the running calendar');
  const calendars = await callTool('calendar_list', {});
  expect(Array.isArray(calendars.calendars) && calendars.calendars.length > 0, 'calendar_list listed no calendars');

  console.log("-- This week's events (recurring tasks, reminders, countdowns)");
  const week = await callTool('events_query', { start: isoMidnight(monday), end: isoMidnight(nextMonday) });
  expect(Array.isArray(week.events) && week.events.length > 0, 'events_query found no events this week');

  const first = week.events[0];
  console.log(`-- One occurrence: event ${first.id} on ${first.date}`);
  const [y, m, d] = first.date.split('-').map(Number);
  const one = await callTool('event_get', { id: first.id, date: isoMidnight(new Date(y, m - 1, d)) });
  expect(one.event?.id === first.id, 'event_get answered another event');

  const todayText = dayText(today);
  console.log(`-- Add a line to today's cell (${todayText}); trusted writing is off, so it waits for confirmation`);
  const parked = await callTool('items_append_line', { date: todayText, text: 'Buy milk 买牛奶' });
  expect(parked.status === 'pending_confirmation' && /^[0-9a-f]{32}$/.test(parked.confirm_token),
    `expected a pending confirmation, got ${JSON.stringify(parked)}`);

  console.log('-- The user agrees: accept the parked write');
  await callTool('event_confirm', { confirm_token: parked.confirm_token, accept: true });

  console.log("-- Today's cell, read back");
  const cell = await callTool('items_get', { date: todayText });
  expect(JSON.stringify(cell).includes('Buy milk'), "today's cell does not hold the new line");

  console.log('-- Accepting the same token again is refused');
  await callTool('event_confirm', { confirm_token: parked.confirm_token, accept: true }, { expectError: true });

  if (dataFolder) {
    const audit = `${dataFolder}/user/local/aimcp_audit.log`;
    console.log(`-- The audit lines this session wrote (${audit}):`);
    if (existsSync(audit)) {
      for (const line of readFileSync(audit, 'utf8').split(/\r?\n/).filter(Boolean)) console.log(`   ${line.replaceAll('\t', ' | ')}`);
    } else {
      console.log('   (no audit file)');
    }
    console.log();
  }

  // The server ends when its input ends, always with code 0.
  child.stdin.end();
  const end = await Promise.race([
    exited,
    new Promise((resolve) => setTimeout(() => resolve(null), REPLY_TIMEOUT_MS)),
  ]);
  expect(end !== null, `tessary-mcp did not exit within ${REPLY_TIMEOUT_MS / 1000} s of its input ending`);
  expect(end.code === 0, `tessary-mcp exited with ${end.signal ?? `code ${end.code}`}`);
  console.log('tessary-mcp exited with code 0 once its input ended.');

  console.log(`
MCP client configuration for this machine, with the stand-in calendar's
token (the calendar must be running: scripts/demo.sh stops it at the end;
start it with tessary-devhost.exe as the README shows):
`);
  const config = {
    mcpServers: {
      Tessary: {
        command: wine64,
        args: [exe],
        env: {
          WINEPREFIX: process.env.WINEPREFIX,
          WINEDEBUG: '-all',
          TZ: childEnv.TZ,
          TESSARY_AIMCP_TOKEN: token,
        },
      },
    },
  };
  console.log(JSON.stringify(config, null, 2));
}

try {
  await session();
} catch (error) {
  showDiagnostics();
  console.error(`\ndemo-session: FAILED: ${error instanceof DemoFailure ? error.message : error.stack}`);
  child.kill('SIGKILL');
  process.exit(1);
}
