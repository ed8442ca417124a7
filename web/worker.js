// Runs one program off the page's thread and reports what it prints every few milliseconds.
// The page stops a run by ending this worker, so the loop never needs to look for messages.
import { startEngine } from './engine.js';

const kSlice = 20_000;             // statements between looks at the clock
const kReportEveryMs = 40;
const kKeptOutputBytes = 1 << 20;  // of output not yet reported; the page shows less anyway
const kKeptOutputLines = 10_000;   // as many as the page shows

let pending = [];
let pendingBytes = 0;

function collect(bytes) {
  pending.push(bytes.slice());
  pendingBytes += bytes.length;
  while (pendingBytes - pending[0].length > kKeptOutputBytes) pendingBytes -= pending.shift().length;
}

// The output not yet reported, from the start of its last kKeptOutputLines lines.
function takeOutput() {
  const output = new Uint8Array(pendingBytes);
  let at = 0;
  for (const chunk of pending) {
    output.set(chunk, at);
    at += chunk.length;
  }
  pending = [];
  pendingBytes = 0;
  let start = output.length;
  for (let feeds = 0; start > 0 && feeds <= kKeptOutputLines; --start) {
    if (output[start - 1] === 10) ++feeds;
  }
  return start === 0 ? output : output.slice(start + 1);
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
      const output = takeOutput();
      postMessage({ done, output, line: engine.currentLine(), statements, ms: now - started },
                  [output.buffer]);
      reported = now;
    }
    if (done) return;
  }
};
