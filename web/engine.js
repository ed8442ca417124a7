// The engine: linebasic's library, compiled to WebAssembly with the exports of playground.cpp
// over its C API, behind a few JavaScript functions. It runs in the page (for the checker) and in the run's
// worker.
import { File, OpenFile, WASI } from '@bjorn3/browser_wasi_shim';

const encoder = new TextEncoder();
const decoder = new TextDecoder();

// Why a slice of a run stopped, as resume and step return it.
export const kEnded = 0;
export const kBreakpoint = 1;
export const kStepped = 2;
export const kBound = 3;

export async function startEngine(module) {
  // The engine keeps what programs print; standard output and error stay unused.
  const wasi = new WASI([], [], [new OpenFile(new File([])), new OpenFile(new File([])),
                                 new OpenFile(new File([]))]);
  const instance = await WebAssembly.instantiate(module, {
    wasi_snapshot_preview1: wasi.wasiImport,
  });
  wasi.initialize(instance);
  const engine = instance.exports;
  // Views are made anew for each use: the memory's buffer changes when it grows.
  const bytesAt = (address, length) => new Uint8Array(engine.memory.buffer, address, length);
  const answer = (address) => decoder.decode(bytesAt(address, engine.answerLength()));
  const setInput = (text) => {
    const bytes = encoder.encode(text);
    bytesAt(engine.inputBuffer(bytes.length), bytes.length).set(bytes);
  };
  return {
    // Loads `text` and sets a run at its top, with every variable 0 and no breakpoints.
    load(text) {
      setInput(text);
      engine.loadProgram();
    },
    // The breakpoints become `lines` (lines of the text, from 1).
    setBreakpoints(lines) {
      engine.clearBreakpoints();
      for (const line of lines) engine.setBreakpoint(line);
    },
    // Runs at most `bound` statements, on to a breakpoint (or the next line, when stepping);
    // returns why it stopped: kEnded, kBreakpoint, kStepped or kBound.
    goOn: (bound, stepping) => (stepping ? engine.step(bound) : engine.resume(bound)),
    // Steps run since the load: a line's number counts one, as a statement does.
    statements: () => engine.statements(),
    // The text line the run stands on (or that of the statement that ended it), or -1.
    runLine: () => engine.runLine(),
    // The number of the line the run stands on, or -1 when it has none.
    currentLine: () => engine.currentLine(),
    // Once the run has ended: "no line is numbered 75" when it ended at a jump to that line.
    missedJump: () => answer(engine.missedJump()),
    // The variables a to z.
    variables: () => Array.from(new Int8Array(engine.memory.buffer, engine.variables(), 26)),
    // What the run printed since the last call, as bytes.
    takeOutput: () => bytesAt(engine.takeOutput(), engine.answerLength()).slice(),
    check(text) {
      setInput(text);
      return parseWarnings(answer(engine.checkInput()));
    },
    demoProgram: () => answer(engine.demoProgram()),
  };
}

// The checker's answer: a line per warning, its fields separated by tabs.
function parseWarnings(text) {
  return text.split('\n').filter((line) => line !== '').map((line) => {
    const [lineNumber, column, name, message] = line.split('\t');
    return { line: Number(lineNumber), column: Number(column), name, message };
  });
}
