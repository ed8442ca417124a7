// Runs one program off the page's thread and reports at most every kReportEveryMs while it
// runs, and at each stop. A report carries only what the page will show: the output is cut to
// its last kKeptLines lines here, with a count of the lines cut. Between slices the run looks
// for the page's messages (breakpoints changed, a step asked for) only as often as it reports;
// the page stops a run by ending this worker. Once the run has stopped or ended, the page may
// take it back in time, set its variables, watch them and evaluate expressions.
import { kBound, kBreakpoint, kEnded, kStepped, kWatched, startEngine } from './engine.js';

const kSlice = 20_000;  // statements between looks at the clock
const kReportEveryMs = 50;
const kKeptLines = 10_000;  // as many as the page shows
const kPendingBytesMax = 1 << 22;  // past this, output waiting for a report is cut at once
const kRecordMax = 1 << 24;  // bytes of output kept for going back and forth in time
const kLineFeed = 10;

let chunks = [];
let pendingBytes = 0;
let droppedLines = 0;  // since the last report
let decoder = new TextDecoder();

function collect(bytes) {
  if (bytes.length === 0) return;
  chunks.push(bytes);
  pendingBytes += bytes.length;
  if (pendingBytes > kPendingBytesMax) cutPending();
}

// Where the last kKeptLines lines of `bytes` start, and how many line feeds come before.
function lastLines(bytes) {
  let start = bytes.length;
  let feeds = 0;
  while (start > 0 && !(bytes[start - 1] === kLineFeed && ++feeds > kKeptLines)) --start;
  let dropped = 0;
  for (let i = 0; i < start; ++i) if (bytes[i] === kLineFeed) ++dropped;
  return { start, dropped };
}

// Joins the waiting output into one chunk that holds at most kKeptLines line feeds.
function cutPending() {
  const bytes = new Uint8Array(pendingBytes);
  let at = 0;
  for (const chunk of chunks) {
    bytes.set(chunk, at);
    at += chunk.length;
  }
  const { start, dropped } = lastLines(bytes);
  droppedLines += dropped;
  chunks = [bytes.subarray(start)];
  pendingBytes = bytes.length - start;
}

// The output since the last report, as text, and how many lines before it were cut.
function takeOutput() {
  cutPending();
  const dropped = droppedLines;
  if (dropped > 0) decoder = new TextDecoder();  // a character begun before the cut is gone
  const text = decoder.decode(chunks[0], { stream: true });
  chunks = [];
  pendingBytes = 0;
  droppedLines = 0;
  return { text, dropped };
}

// What the run printed from its start, as far as it went (its first kRecordMax bytes): going
// back shows the output as it stood there, going forward without running shows it again.
const record = {
  bytes: new Uint8Array(1 << 16),
  length: 0,
  // `chunk` was printed after the first `at` bytes; what followed them before is gone.
  write(at, chunk) {
    if (at > this.length) return;
    const end = Math.min(at + chunk.length, kRecordMax);
    if (end > this.bytes.length) {
      const grown = new Uint8Array(Math.min(Math.max(end, 2 * this.bytes.length), kRecordMax));
      grown.set(this.bytes.subarray(0, this.length));
      this.bytes = grown;
    }
    this.bytes.set(chunk.subarray(0, end - at), at);
    this.length = end;
  },
};

let engine = null;
let goingOn = false;    // a slice loop is on
let stepAsked = false;  // the page asked to stop at the next line the run reaches
let busyMs = 0;         // time spent running, not stopped
let shown = 0;          // the bytes of output the page has, as far as it is told
let furthest = 0;       // the most steps the run has reached (since a variable was set)
let messages = Promise.resolve();  // the page's messages, handled in order

// Lets the page's messages in: a message sent to oneself comes after those already waiting,
// without the delay of a timer.
const channel = new MessageChannel();
const letMessagesIn = () => new Promise((resolve) => {
  channel.port1.onmessage = resolve;
  channel.port2.postMessage(null);
});

// Takes what the run printed since the last slice into the record and the next report.
function takeEngineOutput() {
  const bytes = engine.takeOutput();
  record.write(shown, bytes);
  shown += bytes.length;
  collect(bytes);
}

function report(state, fields) {
  const statements = engine.statements();
  furthest = Math.max(furthest, statements);
  postMessage({ state, ...takeOutput(), line: engine.runLine(), number: engine.currentLine(),
                statements, furthest, ms: busyMs, variables: engine.variables(), ...fields });
}

// The report of a stop: the stack, and at a watch its change, come with it.
function reportStop(fields) {
  const ended = engine.ended();
  report(ended ? 'ended' : 'paused', { stack: ended ? [] : engine.stack(), missed: ended ? engine.missedJump() : '',
                                       watch: fields.reason === 'watch' ? engine.watchHit() : null, ...fields });
}

// The slice `how` runs: a step, over or out goes on where a slice cut it short. Over and out
// run to a depth of GOSUBs (`depth`): deeper, the run goes on out; there, it steps to a line.
function slice(how, depth, first) {
  if (first || how === 'continue' || how === 'step') return engine.goOn(kSlice, how);
  return engine.goOn(kSlice, engine.gosubDepth() > depth ? 'out' : 'step');
}

// Goes on until the run stops: at a breakpoint or watch, after a line when stepping (over,
// out), or at its end. A step that starts a run runs the first line even when it has a
// breakpoint.
async function goOn(how, fresh = false) {
  goingOn = true;
  stepAsked = false;
  const before = engine.variables();
  const ran = how !== 'continue' ? engine.runLine() : -1;
  const startStatements = engine.statements();
  const depth = how === 'over' ? engine.gosubDepth() : engine.gosubDepth() - 1;
  let started = performance.now();
  let reported = started;
  for (let first = true; ; first = false) {
    let reason = slice(how, depth, first);
    takeEngineOutput();
    if (reason === kStepped && (how === 'over' || how === 'out') && engine.gosubDepth() > depth) reason = kBound;
    const now = performance.now();
    if (reason === kBound) {
      if (now - reported < kReportEveryMs) continue;
      busyMs += now - started;
      report('running', {});
      await letMessagesIn();
      started = reported = performance.now();
      if (stepAsked) how = 'step';
      continue;
    }
    if (reason === kBreakpoint && fresh && how === 'step' && engine.statements() === startStatements) continue;
    busyMs += now - started;
    goingOn = false;
    reportStop({ reason: reason === kBreakpoint ? 'breakpoint' : reason === kWatched ? 'watch' : reason === kEnded ? null : how,
                 ran: stepAsked ? -1 : ran, before });
    return;
  }
}

// The page shows the output as it stood where the run stands now: cut back to it, or with
// what the run printed up to here, from the record.
function showOutputHere() {
  const printed = engine.printed();
  if (printed >= shown) {
    collect(record.bytes.slice(shown, printed));
    shown = printed;
    return {};
  }
  shown = printed;
  chunks = [];
  pendingBytes = droppedLines = 0;
  decoder = new TextDecoder();
  if (printed > record.length) {
    // Only the run's first kRecordMax bytes are kept: what it had printed up to here is not.
    collect(new TextEncoder().encode(`(the output up to here is more than ${kRecordMax >> 20} MiB, and is not kept)\n`));
    return { replace: true };
  }
  const bytes = record.bytes.subarray(0, printed);
  const { start, dropped } = lastLines(bytes);
  collect(bytes.slice(start));
  droppedLines = dropped;
  return { replace: true };
}

// Back in time: `lines` lines, to the last stop, or to a step.
function goBack({ go, lines, steps }) {
  const before = engine.variables();
  const ran = engine.runLine();
  let fields = {};
  if (go === 'back') {
    fields = { reason: 'back', undone: engine.back(lines) };
  } else if (go === 'rewind') {
    const reason = engine.backToBreakpoint();
    fields = { reason: reason === kBreakpoint ? 'breakpoint' : reason === kWatched ? 'watch' : 'back', undone: 0 };
  } else {
    engine.goToStep(Math.min(steps, furthest));
    fields = { reason: 'moved' };
  }
  reportStop({ ...fields, ...showOutputHere(), ran, before });
}

// Variable `name` at `count` + 1 steps spread over the run's past, up to the furthest it
// reached; the run stands where it stood again after.
function chart(name, count) {
  const at = engine.statements();
  const index = name.charCodeAt(0) - 97;
  const steps = Array.from({ length: count + 1 }, (_, i) => Math.round((i * furthest) / count));
  const values = steps.map((step) => {
    engine.goToStep(step);
    return engine.variables()[index];
  });
  engine.goToStep(at);
  postMessage({ chart: name, steps, values });
}

function handle(data) {
  if (data.breakpoints !== undefined) engine.setBreakpoints(data.breakpoints);
  for (const [name, on] of data.watches ?? []) engine.watch(name, on);
  if (goingOn) {
    stepAsked ||= data.go === 'step' || data.go === 'over';
    return;
  }
  if (data.set !== undefined) {
    engine.setVariable(data.set.name, data.set.value);
    furthest = engine.statements();  // the run's future from here is another one
    record.length = Math.min(record.length, shown);
    reportStop({ reason: 'set', set: data.set, before: data.before });
  } else if (data.chart !== undefined) {
    chart(data.chart, 100);
  } else if (data.evaluate !== undefined) {
    postMessage({ evaluated: engine.evaluate(data.evaluate), expression: data.evaluate });
  } else if (['back', 'rewind', 'to'].includes(data.go)) {
    goBack(data);
  } else if (data.go !== undefined) {
    goOn(data.go);
  }
}

onmessage = ({ data }) => {
  messages = messages.then(async () => {
    if (data.module !== undefined) {
      engine = await startEngine(data.module);
      engine.load(data.text);
      engine.setBreakpoints(data.breakpoints);
      for (const name of data.watches) engine.watch(name, true);
      goOn(data.stepping ? 'step' : 'continue', true);
    } else {
      handle(data);
    }
  });
};
