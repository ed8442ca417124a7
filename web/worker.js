// Runs one program off the page's thread and reports at most every kReportEveryMs. A report
// carries only what the page will show: the output is cut to its last kKeptLines lines here,
// with a count of the lines cut. The page stops a run by ending this worker, so the loop never
// needs to look for messages.
import { startEngine } from './engine.js';

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
  chunks.push(bytes.slice());
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

onmessage = async ({ data: { module, text } }) => {
  const engine = await startEngine(module, collect);
  engine.load(text);
  const started = performance.now();
  let statements = 0;
  let reported = started;
  for (;;) {
    const ran = engine.runSlice(kSlice);
    statements += ran;
    const now = performance.now();
    const done = ran < kSlice;
    if (done || now - reported >= kReportEveryMs) {
      postMessage({ done, ...takeOutput(), line: engine.currentLine(),
                    offset: engine.statementOffset(), statements, ms: now - started });
      reported = now;
    }
    if (done) return;
  }
};
