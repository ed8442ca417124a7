// The engine: linebasic's interpreter and checker, compiled to WebAssembly, behind a few
// JavaScript functions. It runs in the page (for the checker) and in the run's worker.
import { ConsoleStdout, File, OpenFile, WASI } from '@bjorn3/browser_wasi_shim';

const encoder = new TextEncoder();
const decoder = new TextDecoder();

// Starts an engine from the compiled module; `onOutput` receives what programs print, as bytes.
export async function startEngine(module, onOutput = () => {}) {
  const wasi = new WASI([], [], [
    new OpenFile(new File([])),  // standard input: empty
    new ConsoleStdout(onOutput),
    new ConsoleStdout(() => {}),
  ]);
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
    load(text) {
      setInput(text);
      engine.loadProgram();
    },
    // Runs at most `steps` statements; fewer ran only when the run is over.
    runSlice: (steps) => engine.runSlice(steps),
    // The number of the line the run stands on, or -1 when it has none.
    currentLine: () => engine.currentLine(),
    // The byte offset of the last statement the run began, or -1 before the first.
    statementOffset: () => engine.statementOffset(),
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
