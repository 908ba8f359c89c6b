// A short MCP session with tessary-mcp.exe under Wine, printed as it goes:
// initialize, the initialized notification, tools/list and one tool call.
// Messages travel one JSON text per line. Exits non-zero when a reply is
// missing, late or not what an MCP client expects.
//
// Environment: TESSARY_MCP_EXE (the program), WINE64 (the Wine loader),
// WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES (from scripts/wine-env.sh).
import { spawn } from 'node:child_process';

const REPLY_TIMEOUT_MS = 20_000;
const TOKEN_PLACEHOLDER = '<token shown on the AI access page of Tessary>';

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
  TESSARY_AIMCP_TOKEN: 'demo-token',
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

  const call = await request(3, 'tools/call', { name: 'calendar_list', arguments: {} });
  console.log(`<- ${call.line}`);
  const result = call.reply.result;
  const text = result?.content?.[0]?.text;
  expect(typeof text === 'string', 'the tool result carries no text content');
  console.log(`   tool result text (isError ${result.isError}): ${text}`);
  let outcome;
  try {
    outcome = JSON.parse(text);
  } catch {
    throw new DemoFailure(`the tool result text is not JSON: ${text}`);
  }
  showDiagnostics();
  expect(
    result.isError === true && outcome?.error?.code === 'CALENDAR_NOT_RUNNING',
    `expected the CALENDAR_NOT_RUNNING tool error, got ${text}`,
  );

  // The server ends when its input ends, always with code 0.
  child.stdin.end();
  const end = await Promise.race([
    exited,
    new Promise((resolve) => setTimeout(() => resolve(null), REPLY_TIMEOUT_MS)),
  ]);
  expect(end !== null, `tessary-mcp did not exit within ${REPLY_TIMEOUT_MS / 1000} s of its input ending`);
  expect(end.code === 0, `tessary-mcp exited with ${end.signal ?? `code ${end.code}`}`);
  console.log(`\ntessary-mcp exited with code 0 once its input ended.`);

  console.log(`
The calendar application is not running on this machine (it is a Windows
desktop program, and only tessary-mcp runs here under Wine), so the call is
answered with the tool error CALENDAR_NOT_RUNNING: "${outcome.error.message}"
("open Tessary first, then try again"). With Tessary running and AI access
switched on, the same call returns its list of calendars.

MCP client configuration for this machine (put the token from Tessary's
AI access settings page in place of the placeholder):
`);
  const config = {
    mcpServers: {
      tessary: {
        command: wine64,
        args: [exe],
        env: {
          WINEPREFIX: process.env.WINEPREFIX,
          WINEDEBUG: '-all',
          TESSARY_AIMCP_TOKEN: TOKEN_PLACEHOLDER,
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
