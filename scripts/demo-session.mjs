// A readable MCP session with tessary-mcp.exe under Wine against the running
// stand-in calendar, printed as it goes, in three acts. The first: initialize,
// the tool list, the calendars, this week's events, one event, a day-cell
// line added (parked, then confirmed), the day read back, and the audit
// lines the write caused. The second, printed more briefly: a weekly
// reminder created (parked, then confirmed), trusted writing switched on in
// the calendar, the reminder renamed at once and seen in this week's events,
// a note with non-ASCII text created and read back, trusted writing off
// again, the note deleted (parked, then confirmed), and the audit lines and
// today's write quota per kind that the calendar shows. The third: a course
// timetable uploaded (parked, then confirmed), listed and read back by
// name. Messages travel one
// JSON text per line. Exits non-zero when a reply is missing, late or not
// what an MCP client expects.
//
// Settings are not the assistant's to change, so the session does what the
// user would do in the calendar through the stand-in's command channel
// (tessary-devhost.exe --send ...), run as a child process.
//
// Environment: TESSARY_MCP_EXE (the program), TESSARY_AIMCP_TOKEN (the pipe
// token), TESSARY_DEMO_DATA (the stand-in calendar's data folder),
// TESSARY_DEVHOST_EXE (the stand-in calendar program; default: beside
// tessary-mcp.exe), TZ, WINE64, WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES
// (scripts/wine-env.sh).
import { spawn } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';

const REPLY_TIMEOUT_MS = 20_000;
const token = process.env.TESSARY_AIMCP_TOKEN ?? '';
const dataFolder = process.env.TESSARY_DEMO_DATA ?? '';

const exe = process.env.TESSARY_MCP_EXE;
const wine64 = process.env.WINE64 || '/usr/lib/wine/wine64';
if (!exe || !process.env.WINEPREFIX) {
  console.error('demo-session: TESSARY_MCP_EXE and WINEPREFIX must be set (scripts/demo.sh sets them)');
  process.exit(2);
}
const devhostExe = process.env.TESSARY_DEVHOST_EXE || join(dirname(exe), 'tessary-devhost.exe');

class DemoFailure extends Error {}

function expect(condition, what) {
  if (!condition) throw new DemoFailure(what);
}

// A parked write: its token, and a summary of what it will do.
function expectParked(outcome, name) {
  expect(outcome.status === 'pending_confirmation' && /^[0-9a-f]{32}$/.test(outcome.confirm_token ?? ''),
    `${name}: expected a pending confirmation, got ${JSON.stringify(outcome)}`);
  expect(typeof outcome.summary === 'object', `${name}: the parked write carries no summary`);
  return outcome.confirm_token;
}

function expectDone(outcome, name, idPattern) {
  expect(outcome.status === 'ok' && idPattern.test(outcome.id ?? ''),
    `${name}: expected {"status":"ok","id":...}, got ${JSON.stringify(outcome)}`);
  return outcome.id;
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
  // brief: the answer on one line, without the raw reply (the second act);
  // silent: nothing printed but the request (the caller shows the answer).
  async function callTool(name, args, { expectError = false, brief = false, silent = false } = {}) {
    const call = await request(nextId++, 'tools/call', { name, arguments: args });
    if (!brief && !silent) {
      console.log(`<- ${call.line.length > 400 ? `${call.line.slice(0, 400)}... (${call.line.length} chars)` : call.line}`);
    }
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
    if (silent) return outcome;
    if (brief) {
      console.log(`   ${name} ${result.isError ? 'failed' : 'answered'}: ${JSON.stringify(outcome)}\n`);
      return outcome;
    }
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

  // The audit lines written since the last look, from the file in the user's
  // data folder.
  const audit = `${dataFolder}/user/local/aimcp_audit.log`;
  let auditShown = 0;
  function newAuditLines() {
    const all = existsSync(audit) ? readFileSync(audit, 'utf8').split(/\r?\n/).filter(Boolean) : [];
    const fresh = all.slice(auditShown);
    auditShown = all.length;
    return fresh;
  }

  if (dataFolder) {
    console.log(`-- The audit lines this session wrote (${audit}):`);
    if (existsSync(audit)) {
      for (const line of newAuditLines()) console.log(`   ${line.replaceAll('\t', ' | ')}`);
    } else {
      console.log('   (no audit file)');
    }
    console.log();
  }

  await secondAct({ callTool, newAuditLines, today, todayText, isoMidnight, monday, nextMonday, week });
  await thirdAct({ callTool, startDate: dayText(monday) });

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

// One command to the running stand-in calendar, as its user would give it:
// the reply is printed below the command line; an answer other than "ok"
// fails the session.
function calendarCommand(words) {
  console.log(`   $ tessary-devhost.exe --send ${words.join(' ')}`);
  return new Promise((resolve, reject) => {
    const sender = spawn(wine64, [devhostExe, '--send', ...words], { env: childEnv, stdio: ['ignore', 'pipe', 'pipe'] });
    let out = '';
    sender.stdout.setEncoding('utf8');
    sender.stdout.on('data', (chunk) => { out += chunk; });
    sender.stderr.resume();
    const timer = setTimeout(() => {
      sender.kill('SIGKILL');
      reject(new DemoFailure(`tessary-devhost.exe --send ${words.join(' ')} did not answer within ${REPLY_TIMEOUT_MS / 1000} s`));
    }, REPLY_TIMEOUT_MS);
    sender.on('error', (error) => {
      clearTimeout(timer);
      reject(new DemoFailure(`could not run ${devhostExe}: ${error.message}`));
    });
    sender.on('close', (code) => {
      clearTimeout(timer);
      const reply = out.split(/\r?\n/).filter(Boolean);
      for (const line of reply) console.log(`     ${line}`);
      console.log();
      if (code !== 0 || reply[0] !== 'ok') {
        reject(new DemoFailure(`the calendar refused ${words.join(' ')} (exit code ${code}): ${out.trim()}`));
      } else {
        resolve(reply.slice(1));
      }
    });
  });
}

// The second act: the event and note writes, parked and trusted.
async function secondAct({ callTool, newAuditLines, today, todayText, isoMidnight, monday, nextMonday, week }) {
  console.log('======== Second act: an event and a note, parked, confirmed and trusted\n');

  console.log(`-- A reminder every week from today (${todayText}) at 18:30; it waits for confirmation`);
  const created = await callTool('event_create', {
    title: 'Yoga class', date: isoMidnight(today), kind: 'reminder', recurrence: 'weekly', reminder: { trigger: '18:30' },
  }, { brief: true });
  const eventToken = expectParked(created, 'event_create');
  expect(created.summary.op === 'create' && created.summary.kind === 'reminder' && created.summary.date === todayText,
    `event_create: the summary does not describe the new reminder: ${JSON.stringify(created.summary)}`);

  console.log('-- The user accepts it');
  const eventId = expectDone(await callTool('event_confirm', { confirm_token: eventToken, accept: true }, { brief: true }),
    'event_confirm', /^evt-\d+$/);

  console.log('-- The user switches trusted writing on in the calendar');
  await calendarCommand(['setting', 'set-int', 'sys_aimcp_trust_write', '1']);

  const title = 'Yoga class: bring the mat 带瑜伽垫';
  console.log('-- Rename the reminder: with trusted writing the change is made at once');
  const renamed = await callTool('event_update', { id: eventId, title }, { brief: true });
  expect(expectDone(renamed, 'event_update', /^evt-\d+$/) === eventId, `event_update changed ${renamed.id}, not ${eventId}`);

  console.log("-- This week's events again, one occurrence a line (the new reminder marked)");
  const again = await callTool('events_query', { start: isoMidnight(monday), end: isoMidnight(nextMonday) }, { silent: true });
  expect(Array.isArray(again.events), 'events_query returned no events array');
  for (const e of again.events) {
    const trigger = e.reminder?.trigger ? ` (at ${e.reminder.trigger})` : '';
    const mark = e.id === eventId ? '   <- new' : '';
    console.log(`   ${e.date}  ${e.id.padEnd(7)} ${e.kind.padEnd(9)} ${e.recurrence.padEnd(8)} ${e.title}${trigger}${mark}`);
  }
  console.log();
  const mine = again.events.filter((e) => e.id === eventId);
  expect(mine.length === 1 && mine[0].date === todayText && mine[0].title === title && mine[0].kind === 'reminder' &&
    mine[0].recurrence === 'weekly' && mine[0].reminder?.trigger === '0:18:30',
  `events_query does not show the renamed weekly reminder once, today, at 18:30: ${JSON.stringify(mine)}`);
  expect(again.events.length === week.events.length + 1,
    `expected ${week.events.length + 1} occurrences this week, got ${again.events.length}`);

  const note = { title: 'Trip to Hangzhou 杭州', content: 'Pack:\n- passport 护照\n- umbrella 雨伞 ☂\n- café crème money: ¥50' };
  console.log('-- A note with non-ASCII text, made at once, and read back');
  const noteId = expectDone(await callTool('notes_create', note, { brief: true }), 'notes_create', /^note-\d+$/);
  const stored = await callTool('notes_get', { id: noteId }, { brief: true });
  expect(stored.id === noteId && stored.title === note.title && stored.content === note.content,
    `notes_get does not give the note back as written: ${JSON.stringify(stored)}`);

  console.log('-- The user switches trusted writing off again; deleting the note waits for confirmation');
  await calendarCommand(['setting', 'set-int', 'sys_aimcp_trust_write', '0']);
  const deleting = await callTool('notes_delete', { id: noteId }, { brief: true });
  const noteToken = expectParked(deleting, 'notes_delete');
  expect(deleting.summary.op === 'notes_delete' && deleting.summary.id === noteId,
    `notes_delete: the summary does not name the note: ${JSON.stringify(deleting.summary)}`);
  console.log('-- The user accepts it; the note is gone');
  const deleted = await callTool('event_confirm', { confirm_token: noteToken, accept: true }, { brief: true });
  expect(expectDone(deleted, 'event_confirm', /^note-\d+$/) === noteId, `event_confirm deleted ${deleted.id}, not ${noteId}`);
  const gone = await callTool('notes_get', { id: noteId }, { brief: true, expectError: true });
  expect(gone.error?.code === 'NOT_FOUND', `notes_get of the deleted note: ${JSON.stringify(gone)}`);

  if (dataFolder) {
    console.log('-- The audit lines of these writes:');
    checkAuditLines(newAuditLines(), title, note.title);
  }

  console.log("-- Today's write quota, as the calendar shows it:");
  const quota = await calendarCommand(['quota']);
  for (const [kind, count] of [['items', 1], ['events', 2], ['notes', 2]]) {
    expect(quota.includes(`${kind}: ${count} of 40`), `expected "${kind}: ${count} of 40" in the quota`);
  }
}

// The third act: a course timetable uploaded (parked, confirmed), listed
// and read back.
async function thirdAct({ callTool, startDate }) {
  console.log('======== Third act: a course timetable\n');
  const upload = {
    name: 'Evening Chinese 中文晚班', week_count: 12, count_class_day: 2, count_class_am: 0,
    class_time_long: 50, break_time_long: 10, start_pm_hour: 19, start_pm_minute: 0, start_date: startDate,
    times: [
      { order: 0, start_hour: 19, start_minute: 0, end_hour: 19, end_minute: 50 },
      { order: 1, start_hour: 20, start_minute: 0, end_hour: 20, end_minute: 50 },
    ],
    lessons: [
      { name: 'Speaking 口语', order: 0, weekday: 2, teacher: 'Ms Lin', location: 'Room 3' },
      { name: 'Characters 汉字', order: 1, weekday: 4, teacher: 'Mr Zhou', location: 'Room 3', period_mode: 2, weeks: '0,2,4,6,8,10' },
    ],
  };
  console.log('-- Upload a timetable read from a photo; it waits for confirmation');
  const parked = await callTool('timetable_upsert', upload, { brief: true });
  const token = expectParked(parked, 'timetable_upsert');
  expect(parked.summary.name === upload.name && parked.summary.action === 'created',
    `timetable_upsert: the summary does not describe the upload: ${JSON.stringify(parked.summary)}`);
  console.log('-- The user accepts it');
  const stored = await callTool('event_confirm', { confirm_token: token, accept: true }, { brief: true });
  expect(stored.status === 'ok' && stored.action === 'created' && /^tt-\d+$/.test(stored.id ?? ''),
    `event_confirm did not store the timetable: ${JSON.stringify(stored)}`);

  console.log('-- The timetables the calendar now has');
  const { timetables } = await callTool('timetable_list', {}, { silent: true });
  expect(Array.isArray(timetables), 'timetable_list returned no timetables array');
  for (const t of timetables) {
    const mark = t.id === stored.id ? '   <- new' : '';
    console.log(`   ${t.id.padEnd(6)} ${t.is_default ? 'default' : '       '} from ${t.start_date}, ${t.week_count} weeks, ` +
      `${t.lesson_count} lessons  ${t.name}${mark}`);
  }
  console.log();
  expect(timetables.some((t) => t.id === stored.id && t.lesson_count === 2 && t.week_count === 12),
    'timetable_list does not show the new timetable with its 2 lessons and 12 weeks');

  console.log('-- Read back by name');
  const { timetable } = await callTool('timetable_get', { name: upload.name }, { brief: true });
  expect(timetable?.timetable_id === stored.id && JSON.stringify(timetable.lessons) === JSON.stringify(
    upload.lessons.map((l) => Object.fromEntries(Object.entries(l).sort(([a], [b]) => (a < b ? -1 : a > b ? 1 : 0))))),
  `timetable_get does not give the lessons back as uploaded: ${JSON.stringify(timetable)}`);
}

// Prints the second act's audit lines and checks them: a parked write
// leaves two lines (parked, carried out), one carried out at once leaves one.
function checkAuditLines(lines, eventTitle, noteTitle) {
  for (const line of lines) console.log(`   ${line.replaceAll('\t', ' | ')}`);
  console.log();
  const expected = [
    ['event_create', 'trust=0', 'pending confirmation'], ['event_create', 'trust=0', 'Yoga class'],
    ['event_update', 'trust=1', eventTitle], ['notes_create', 'trust=1', noteTitle],
    ['notes_delete', 'trust=0', 'pending confirmation'], ['notes_delete', 'trust=0', noteTitle],
  ];
  expect(lines.length === expected.length && expected.every(([op, trust, last], i) => {
    const fields = lines[i].split('\t');
    return fields[1] === op && fields[3] === trust && fields[4] === 'ok' && fields.at(-1) === last;
  }), `the audit log does not hold the ${expected.length} lines these writes should leave`);
}

try {
  await session();
} catch (error) {
  showDiagnostics();
  console.error(`\ndemo-session: FAILED: ${error instanceof DemoFailure ? error.message : error.stack}`);
  child.kill('SIGKILL');
  process.exit(1);
}
