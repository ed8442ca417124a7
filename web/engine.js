// The engine: linebasic's library, compiled to WebAssembly with the exports of playground.cpp
// over its C API, behind a few JavaScript functions. It runs in the page (for the checker, its
// fixes and renumbering) and in the run's worker.
const encoder = new TextEncoder();
const decoder = new TextDecoder();

// Why a slice of a run stopped, as resume and step return it.
export const kEnded = 0;
export const kBreakpoint = 1;
export const kStepped = 2;
export const kBound = 3;
export const kWatched = 7;

// The engine's calls to the system, through WASI: the clock, and the standard files, which it
// never uses (what a program prints stays in the engine): a write to one takes the bytes and
// drops them. Any other call answers that it is not supported, so the page carries no general
// WASI layer. `memory()` is the engine's memory.
const kNotSupported = 52;  // WASI's ENOSYS

function systemCalls(memory) {
  const view = () => new DataView(memory().buffer);
  const calls = {
    clock_time_get(clock, precision, at) {
      const ms = clock === 0 ? Date.now() : performance.now();  // the real-time clock, else monotonic
      view().setBigUint64(at, BigInt(Math.round(ms * 1e6)), true);
      return 0;
    },
    fd_write(file, pieces, count, written) {
      let bytes = 0;
      for (let i = 0; i < count; ++i) bytes += view().getUint32(pieces + 8 * i + 4, true);
      view().setUint32(written, bytes, true);
      return 0;
    },
  };
  return new Proxy(calls, { get: (known, name) => known[name] ?? (() => kNotSupported) });
}

export async function startEngine(module) {
  let engine = null;
  const instance = await WebAssembly.instantiate(module, {
    wasi_snapshot_preview1: systemCalls(() => engine.memory),
  });
  engine = instance.exports;
  engine._initialize();
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
    // The breakpoints become `breakpoints` ({ line, condition }, lines of the text from 1; a
    // breakpoint stops only where its condition, when not empty, is not 0).
    setBreakpoints(breakpoints) {
      engine.clearBreakpoints();
      for (const { line, condition } of breakpoints) {
        engine.setBreakpoint(line);
        setInput(condition);
        engine.setCondition(line);
      }
    },
    // Runs at most `bound` statements, on to a breakpoint, a watch's change or the end, or
    // with `how` 'step', 'over' or 'out' to where that goes; returns why it stopped: kEnded,
    // kBreakpoint, kStepped, kBound or kWatched.
    goOn: (bound, how) => engine[how === 'continue' ? 'resume' : how](bound),
    // Back in time: `lines` lines back (returns how many it went), back to the last breakpoint
    // or watch (returns kBreakpoint or kWatched, or kStepped at the start), or to a step.
    back: (lines) => engine.back(lines),
    backToBreakpoint: () => engine.backToBreakpoint(),
    goToStep: (steps) => engine.goToStep(steps),
    // Bytes printed up to where the run stands, and whether it has ended there.
    printed: () => engine.printed(),
    ended: () => engine.ended() !== 0,
    gosubDepth: () => engine.gosubDepth(),
    setVariable: (name, value) => engine.setVariable(name.charCodeAt(0) - 97, value),
    watch: (name, on) => engine.watch(name.charCodeAt(0) - 97, on ? 1 : 0),
    // After a stop at a watch: { name, before, after, line }; else null.
    watchHit() {
      const hit = answer(engine.watchHit());
      if (hit === '') return null;
      const [name, before, after, line] = hit.split('\t');
      return { name, before: Number(before), after: Number(after), line: Number(line) };
    },
    evaluate(expression) {
      setInput(expression);
      return engine.evaluateInput();
    },
    // The active GOSUBs ({ gosub: true, line }, the text line it returns to) and FOR loops
    // ({ gosub: false, line, variable, limit }), innermost first.
    stack: () => answer(engine.stack()).split('\n').filter((frame) => frame !== '').map((frame) => {
      const [kind, line, variable, limit] = frame.split(' ');
      return { gosub: kind === 'gosub', line: Number(line), variable, limit: Number(limit) };
    }),
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
    // The checker's warnings on `text`: { line, column, name, message, fix }, where a fix is
    // null or { offset, length, text }, in bytes of the text as UTF-8.
    check(text) {
      setInput(text);
      return parseWarnings(answer(engine.checkInput()));
    },
    // `text` with every fix applied, and how many warnings that mended (-1: it failed).
    fix(text) {
      setInput(text);
      const fixed = answer(engine.fixInput());
      const end = fixed.indexOf('\n');
      return { count: Number(fixed.slice(0, end)), text: fixed.slice(end + 1) };
    },
    // `text` renumbered from `start` by `step`: { text }, or { refusal: { line, column,
    // message } } (line 0 for numbers out of range), or { refusal: null } when it failed.
    renumber(text, start, step) {
      setInput(text);
      const renumbered = answer(engine.renumberInput(start, step));
      if (renumbered.startsWith('done\n')) return { text: renumbered.slice(5) };
      const [status, line, column, ...message] = renumbered.split('\t');
      return { refusal: status === 'refused' ? { line: Number(line), column: Number(column), message: message.join('\t') } : null };
    },
    demoProgram: () => answer(engine.demoProgram()),
  };
}

// The checker's answer: a line per warning, its fields separated by tabs; a fix's text has its
// backslashes, tabs and line-feeds escaped.
const kEscaped = { '\\': '\\', t: '\t', n: '\n' };

function parseWarnings(text) {
  return text.split('\n').filter((line) => line !== '').map((line) => {
    const [lineNumber, column, name, message, offset, length, fixText] = line.split('\t');
    const fix = offset === undefined ? null
      : { offset: Number(offset), length: Number(length), text: fixText.replace(/\\(.)/g, (_, c) => kEscaped[c]) };
    return { line: Number(lineNumber), column: Number(column), name, message, fix };
  });
}
