// The playground page: an editor whose program is checked as it is typed, and runs in a worker
// so that the page never freezes. The program is kept in the browser's storage and can be
// shared as a link that carries it in the address's fragment.
import { startEngine } from './engine.js';

const kOutputLinesKept = 10_000;
const kWarningsShown = 200;
const kCheckDelayMs = 150;
const kStorageKey = 'linebasic.program';
const kLinkPrefix = '#program=';

const $ = (id) => document.getElementById(id);
const editor = $('program');
const gutter = $('gutter');
const output = $('output');
const status = $('status');
const warningsList = $('warnings');

const engineModule = fetch('linebasic.wasm')
  .then((response) => response.arrayBuffer())
  .then((bytes) => WebAssembly.compile(bytes));
const checker = engineModule.then((module) => startEngine(module));

// ---- The program: storage, links, examples. Nothing typed is ever thrown away unasked: a
// program that replaces it (a link, an example) keeps it for "Back to your program".

let stashed = null;

function keepProgram() {
  try {
    localStorage.setItem(kStorageKey, editor.value);
  } catch (error) {
    status.textContent = `The program could not be kept in this browser's storage: ${error.message}`;
  }
}

let demo = '';

function replaceProgram(text) {
  if (editor.value.trim() !== '' && editor.value !== text && editor.value !== demo) {
    stashed = editor.value;
    $('restore').hidden = false;
  }
  editor.value = text;
  programChanged();
}

function restoreProgram() {
  if (stashed === null) return;
  const text = stashed;
  stashed = null;
  $('restore').hidden = true;
  editor.value = text;
  programChanged();
}

function programFromLink() {
  if (!location.hash.startsWith(kLinkPrefix)) return null;
  try {
    return decodeURIComponent(location.hash.slice(kLinkPrefix.length));
  } catch {
    status.textContent = 'The link holds no readable program.';
    return null;
  }
}

function shareProgram() {
  let url;
  try {
    url = location.origin + location.pathname + kLinkPrefix + encodeURIComponent(editor.value);
  } catch {
    status.textContent = 'This program holds text that cannot go into a link.';
    return;
  }
  history.replaceState(null, '', url);
  const link = $('share-link');
  link.href = url;
  link.hidden = false;
  navigator.clipboard?.writeText(url).then(
    () => { status.textContent = 'The link to this program is copied.'; },
    () => {});
}

async function fillExamples() {
  try {
    const names = await (await fetch('examples/index.json')).json();
    for (const name of names) $('examples').add(new Option(name.replace(/\.bas$/, ''), name));
  } catch {
    // The demo stays; the list of further examples is optional.
  }
}

async function chooseExample() {
  const name = $('examples').value;
  $('examples').value = '';
  if (name === 'demo') {
    replaceProgram(demo);
  } else if (name !== '') {
    try {
      const response = await fetch(`examples/${encodeURIComponent(name)}`);
      if (!response.ok) throw new Error(response.statusText);
      replaceProgram(await response.text());
    } catch (error) {
      status.textContent = `The example could not be loaded: ${error.message}`;
    }
  }
}

// ---- Checking as the user types: warnings beside their lines, and listed.

let checkTimer = 0;

function programChanged() {
  clearTimeout(checkTimer);
  checkTimer = setTimeout(checkProgram, kCheckDelayMs);
  keepProgram();
}

async function checkProgram() {
  const warnings = (await checker).check(editor.value);
  showGutter(warnings);
  showWarnings(warnings);
}

function showGutter(warnings) {
  const byLine = new Map();
  for (const warning of warnings) {
    if (!byLine.has(warning.line)) byLine.set(warning.line, `${warning.message} [${warning.name}]`);
  }
  const lineCount = editor.value.split('\n').length;
  const numbers = document.createDocumentFragment();
  let plain = '';
  for (let line = 1; line <= lineCount; ++line) {
    if (!byLine.has(line)) {
      plain += `${line}\n`;
      continue;
    }
    numbers.append(plain);
    plain = '';
    const mark = document.createElement('span');
    mark.className = 'warned';
    mark.title = byLine.get(line);
    mark.textContent = `! ${line}\n`;
    numbers.append(mark);
  }
  numbers.append(plain);
  gutter.replaceChildren(numbers);
  gutter.scrollTop = editor.scrollTop;
}

function showWarnings(warnings) {
  const items = warnings.slice(0, kWarningsShown).map((warning) => {
    const item = document.createElement('li');
    const where = document.createElement('span');
    where.className = 'where';
    where.textContent = `${warning.line}:${warning.column}`;
    const name = document.createElement('span');
    name.className = 'name';
    name.textContent = ` [${warning.name}]`;
    item.append(where, warning.message, name);
    item.addEventListener('click', () => selectPosition(warning.line, warning.column));
    return item;
  });
  if (warnings.length === 0) {
    const none = document.createElement('li');
    none.className = 'none';
    none.textContent = 'No warnings.';
    items.push(none);
  }
  if (warnings.length > kWarningsShown) {
    const more = document.createElement('li');
    more.textContent = `… and ${warnings.length - kWarningsShown} more`;
    items.push(more);
  }
  warningsList.replaceChildren(...items);
}

// Puts the cursor on a line and column, the column counted in bytes as the checker counts.
function selectPosition(line, column) {
  const lines = editor.value.split('\n');
  let offset = lines.slice(0, line - 1).reduce((sum, text) => sum + text.length + 1, 0);
  const bytes = new TextEncoder().encode(lines[line - 1] ?? '');
  offset += new TextDecoder().decode(bytes.slice(0, column - 1)).length;
  editor.focus();
  editor.setSelectionRange(offset, offset);
}

// ---- Running: a worker per run, ended at once by Stop. Only the last lines of the output
// are kept, so a program that prints without end cannot fill the page.

let worker = null;
let runStarted = 0;
let lastLine = -1;
let statements = 0;
let outputLines = [''];
let outputDecoder = null;

function setRunning(running) {
  $('run').disabled = false;
  $('stop').disabled = !running;
}

let outputShown = true;

function appendOutput(bytes) {
  const text = outputDecoder.decode(bytes, { stream: true });
  if (text === '') return;
  const pieces = text.split('\n');
  outputLines[outputLines.length - 1] += pieces[0];
  for (let i = 1; i < pieces.length; ++i) outputLines.push(pieces[i]);
  if (outputLines.length > kOutputLinesKept) outputLines.splice(0, outputLines.length - kOutputLinesKept);
  if (outputShown) requestAnimationFrame(showOutput);
  outputShown = false;
}

// Shown once per frame at most, however fast the output comes.
function showOutput() {
  outputShown = true;
  output.textContent = outputLines.join('\n');
  output.scrollTop = output.scrollHeight;
}

const kRateAfterMs = 100;  // a shorter run says little about speed

function describeRun(verb, ms) {
  const perSecond = Math.round(statements / (ms / 1000)).toLocaleString('en');
  const rate = ms >= kRateAfterMs ? ` (${perSecond} statements/s)` : '';
  return `${verb} after ${statements.toLocaleString('en')} statements in ${Math.round(ms)} ms${rate}`;
}

async function runProgram() {
  endRun();
  outputLines = [''];
  outputDecoder = new TextDecoder();
  output.textContent = '';
  statements = 0;
  lastLine = -1;
  runStarted = performance.now();
  worker = new Worker(new URL('worker.js', import.meta.url), { type: 'module' });
  worker.onmessage = ({ data }) => {
    appendOutput(data.output);
    lastLine = data.line;
    statements = data.statements;
    if (data.done) {
      showOutput();
      status.textContent = describeRun('Done', data.ms);
      endRun();
    } else {
      status.textContent = `Running: ${statements.toLocaleString('en')} statements so far`;
    }
  };
  worker.onerror = (event) => {
    status.textContent = `The run failed: ${event.message}`;
    endRun();
  };
  worker.postMessage({ module: await engineModule, text: editor.value });
  status.textContent = 'Running';
  setRunning(true);
}

function stopProgram() {
  if (worker === null) return;
  endRun();
  showOutput();
  const where = lastLine >= 0 ? ` at line ${lastLine}` : '';
  status.textContent = describeRun(`Stopped${where}`, performance.now() - runStarted);
}

function endRun() {
  worker?.terminate();
  worker = null;
  setRunning(false);
}

// ---- Start.

async function start() {
  editor.addEventListener('input', () => {
    // A link in the address shows the program as it was; once it is edited, the link is old.
    if (location.hash !== '') history.replaceState(null, '', location.pathname);
    programChanged();
  });
  editor.addEventListener('scroll', () => { gutter.scrollTop = editor.scrollTop; });
  editor.addEventListener('keydown', (event) => {
    if (event.key === 'Enter' && (event.ctrlKey || event.metaKey)) {
      event.preventDefault();
      $('run').click();
    }
  });
  window.addEventListener('pagehide', keepProgram);
  $('run').addEventListener('click', () => runProgram().catch((error) => {
    status.textContent = `The run could not start: ${error.message}`;
    endRun();
  }));
  $('stop').addEventListener('click', stopProgram);
  $('share').addEventListener('click', shareProgram);
  $('restore').addEventListener('click', restoreProgram);
  $('examples').addEventListener('change', chooseExample);
  fillExamples();

  let stored = null;
  try {
    stored = localStorage.getItem(kStorageKey);
  } catch {
    // Storage may be switched off; the page works without it.
  }
  demo = (await checker).demoProgram();
  editor.value = stored ?? demo;
  const linked = programFromLink();
  if (linked !== null) replaceProgram(linked);
  status.textContent = 'Ready: Run (or Ctrl-Enter) runs the program.';
  setRunning(false);
  checkProgram();
}

start().catch((error) => {
  status.textContent = `The playground could not start: ${error.message}`;
});
