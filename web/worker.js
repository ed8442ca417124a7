// Runs one program off the page's thread and reports at most every kReportEveryMs while it
// runs, and at each stop. A report carries only what the page will show: the output is cut to
// its last kKeptLines lines here, with a count of the lines cut. Between slices the run looks
// for the page's messages (breakpoints changed, a step asked for) only as often as it reports;
// the page stops a run by ending this worker.
import { kBound, kBreakpoint, kEnded, startEngine } from './engine.js';

const kSlice = 20_000;  // statements between looks at the clock
const kReportEveryMs = 50;
const kKeptLines = 10_000;  // as many as the page shows
const kPendingBytesMax = 1 << 22;  // past this, output waiting for a report is cut at once
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

// Joins the waiting output into one chunk that holds at most kKeptLines line feeds.
function cutPending() {
  const bytes = new Uint8Array(pendingBytes);
  let at = 0;
  for (const chunk of chunks) {
    bytes.set(chunk, at);
    at += chunk.length;
  }
  let start = bytes.length;
  let feeds = 0;
  while (start > 0 && !(bytes[start - 1] === kLineFeed && ++feeds > kKeptLines)) --start;
  for (let i = 0; i < start; ++i) if (bytes[i] === kLineFeed) ++droppedLines;
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

let engine = null;
let goingOn = false;    // a slice loop is on
let stepAsked = false;  // the page asked to stop at the next line the run reaches
let busyMs = 0;         // time spent running, not stopped
let messages = Promise.resolve();  // the page's messages, handled in order

// Lets the page's messages in: a message sent to oneself comes after those already waiting,
// without the delay of a timer.
const channel = new MessageChannel();
const letMessagesIn = () => new Promise((resolve) => {
  channel.port1.onmessage = resolve;
  channel.port2.postMessage(null);
});

function report(state, fields) {
  postMessage({ state, ...takeOutput(), line: engine.runLine(), number: engine.currentLine(),
                statements: engine.statements(), ms: busyMs, variables: engine.variables(),
                ...fields });
}

// Goes on until the run stops: at a breakpoint, after a line when stepping, or at its end.
// A step that starts a run runs the first line even when it has a breakpoint.
async function goOn(stepping, fresh = false) {
  goingOn = true;
  stepAsked = false;
  const before = engine.variables();
  const ran = stepping ? engine.runLine() : -1;
  const startStatements = engine.statements();
  let started = performance.now();
  let reported = started;
  for (;;) {
    const reason = engine.goOn(kSlice, stepping);
    collect(engine.takeOutput());
    const now = performance.now();
    if (reason === kBound) {
      if (now - reported < kReportEveryMs) continue;
      busyMs += now - started;
      report('running', {});
      await letMessagesIn();
      started = reported = performance.now();
      if (stepAsked) stepping = true;
      continue;
    }
    if (reason === kBreakpoint && fresh && stepping && engine.statements() === startStatements) continue;
    busyMs += now - started;
    goingOn = false;
    const paused = reason !== kEnded;
    report(paused ? 'paused' : 'ended', {
      reason: reason === kBreakpoint ? 'breakpoint' : paused ? 'step' : null,
      ran: stepAsked ? -1 : ran, before, missed: paused ? '' : engine.missedJump(),
    });
    return;
  }
}

function handle(data) {
  if (data.breakpoints !== undefined) engine.setBreakpoints(data.breakpoints);
  if (data.go === undefined) return;
  if (goingOn) stepAsked ||= data.go === 'step';
  else goOn(data.go === 'step');
}

onmessage = ({ data }) => {
  messages = messages.then(async () => {
    if (data.module !== undefined) {
      engine = await startEngine(data.module);
      engine.load(data.text);
      engine.setBreakpoints(data.breakpoints);
      goOn(data.stepping, true);
    } else {
      handle(data);
    }
  });
};
