// The playground page: it wires the editor, the runs, the output pane and the programs together
// and holds the page's state in one place. The program is checked as it is typed, runs in a
// worker so that the page never freezes, is kept in the browser's storage and can be shared.
import { startEngine } from './engine.js';
import { createEditor, markRunLine, moveCursorTo, positionOfByte, replaceText, showWarnings,
         textOf } from './editor.js';
import { lineName } from './language.js';
import { OutputPane } from './output.js';
import { Programs, asRunReads, download, exampleNames, exampleText, forgetLink, linkTo,
         readableName } from './programs.js';
import { Run } from './runner.js';

const kWarningsListed = 200;
const kCheckDelayMs = 150;
const kRateAfterMs = 100;  // a shorter run says little about speed

const $ = (id) => document.getElementById(id);
const status = $('status');
// `about` names what the status says, so that a change can take back what no longer holds.
const say = (text, about = '') => {
  status.textContent = text;
  status.dataset.about = about;
};

const engineModule = fetch('linebasic.wasm')
  .then((response) => response.arrayBuffer())
  .then((bytes) => WebAssembly.compile(bytes));
const checker = engineModule.then((module) => startEngine(module));

const page = {
  editor: null,
  output: new OutputPane($('output'), $('dropped')),
  programs: new Programs((error) => say(`The program could not be kept in this browser's storage: ${error.message}`)),
  run: null,            // the run going on or last made
  editedDuringRun: false,
  runWarnings: [],      // the checker's warnings on the text the run runs
  checkTimer: 0,
  fileName: 'program.bas',
};

// ---- The program changes: typed, or replaced whole by another.

function programChanged(typed) {
  const text = textOf(page.editor);
  if (typed) page.programs.typed(text);
  forgetLink();
  $('share-link').hidden = true;
  if (page.run?.running && !page.editedDuringRun) {
    page.editedDuringRun = true;
    say('Running the program as it was when Run was pressed; your changes count from the next run.');
  } else if (!page.run?.running && status.dataset.about === 'link') {
    say('');
  }
  showSource();
  clearTimeout(page.checkTimer);
  page.checkTimer = setTimeout(checkProgram, kCheckDelayMs);
}

// Puts a program in the editor as one undoable change; the old output and link go.
function showProgram(text, source, label = '') {
  stopRun(false);
  page.output.clear();
  markRunLine(page.editor, null);
  replaceText(page.editor, text);
  page.programs.shown(text, source, label);
  showSource();
  say(source === 'own' ? 'Your program is back.' : `${label || readableName(source)} loaded: Run runs it.`);
}

// The Examples menu names what the editor holds.
function showSource() {
  const { source, label } = page.programs;
  const loaded = $('examples').querySelector('[value="loaded"]');
  loaded.hidden = source !== 'link' && source !== 'file';
  loaded.textContent = label;
  $('examples').value = source === 'link' || source === 'file' ? 'loaded' : source;
  $('restore').hidden = !page.programs.canRestore(textOf(page.editor));
}

async function chooseExample() {
  const name = $('examples').value;
  try {
    if (name === 'own') showProgram(page.programs.own ?? '', 'own');
    else if (name === 'demo') showProgram((await checker).demoProgram(), 'demo', 'Demo');
    else if (name !== 'loaded') showProgram(await exampleText(name), name);
  } catch (error) {
    say(`The example could not be loaded: ${error.message}`);
    showSource();
  }
}

async function openFile() {
  const file = $('open-file').files[0];
  if (file === undefined) return;
  $('open-file').value = '';
  try {
    showProgram(asRunReads(await file.text()), 'file', file.name);
    page.fileName = file.name;
  } catch (error) {
    say(`${file.name} could not be read: ${error.message}`);
  }
}

function shareProgram() {
  const url = linkTo(textOf(page.editor));
  if (url === null) {
    say('This program holds text that cannot go into a link.');
    return;
  }
  Object.assign($('share-link'), { href: url, hidden: false });
  say('The address now holds the program.', 'link');
  navigator.clipboard?.writeText(url).then(
    () => say('The link to this program is copied.', 'link'), () => {});
}

// ---- Checking as the user types.

async function checkProgram() {
  page.programs.saveTyped();
  const warnings = (await checker).check(textOf(page.editor));
  showWarnings(page.editor, warnings);
  listWarnings(warnings);
}

function listWarnings(warnings) {
  const doc = page.editor.state.doc;
  const items = warnings.slice(0, kWarningsListed).map((warning) => {
    const button = document.createElement('button');
    button.type = 'button';
    const where = Object.assign(document.createElement('span'),
      { className: 'where', textContent: `${lineName(doc, warning.line)}:${warning.column}` });
    const name = Object.assign(document.createElement('span'),
      { className: 'name', textContent: ` [${warning.name}]` });
    button.append(where, warning.message, name);
    button.addEventListener('click', () => moveCursorTo(page.editor, warning.line, warning.column));
    const item = document.createElement('li');
    item.append(button);
    return item;
  });
  if (warnings.length === 0) {
    items.push(Object.assign(document.createElement('li'), { className: 'none', textContent: 'No warnings.' }));
  } else if (warnings.length > kWarningsListed) {
    items.push(Object.assign(document.createElement('li'),
      { textContent: `… and ${warnings.length - kWarningsListed} more` }));
  }
  $('warnings').replaceChildren(...items);
  const count = warnings.length;
  $('warning-count').textContent = count === 0 ? '' : `${count} warning${count === 1 ? '' : 's'}`;
}

// ---- Running.

function describeRun(verb, { statements, ms }) {
  const rate = ms >= kRateAfterMs
    ? ` (${Math.round(statements / (ms / 1000)).toLocaleString('en')} statements/s)` : '';
  return `${verb} after ${statements.toLocaleString('en')} statements in ${Math.round(ms)} ms${rate}`;
}

// The editor's line of the run's last statement (counted from 1), when the editor still holds
// the text it ran; else null.
function runStatementLine(offset) {
  const unchanged = page.run !== null && textOf(page.editor) === page.run.text;
  const position = unchanged ? positionOfByte(page.editor, offset) : null;
  return position === null ? null : page.editor.state.doc.lineAt(position).number;
}

// Why a run ended, when its last line tells: a jump to a line that does not exist.
function endOfRun(line) {
  if (line === null) return '';
  const missing = page.runWarnings.find((warning) => warning.line === line && warning.name === 'missing-line');
  const what = missing && /^no line is numbered \d+/.exec(missing.message);
  return what ? `: ended at ${lineName(page.editor.state.doc, line)}: ${what[0]}` : '';
}

function reportRun(report) {
  page.output.append(report.text, report.dropped);
  if (!report.done) {
    if (!page.editedDuringRun) say(`Running: ${report.statements.toLocaleString('en')} statements so far`);
    return;
  }
  page.output.flush();
  const line = runStatementLine(report.offset);
  const ending = endOfRun(line);
  if (ending !== '') markRunLine(page.editor, page.editor.state.doc.line(line).from);
  const quiet = page.output.lineCount() === 0 && page.output.dropped === 0 ? ', printing nothing' : '';
  say(describeRun('Done', report) + quiet + ending);
  setRunning(false);
}

async function startRun() {
  stopRun(false);
  page.output.clear();
  markRunLine(page.editor, null);
  page.editedDuringRun = false;
  const text = textOf(page.editor);
  page.runWarnings = (await checker).check(text);
  const module = await engineModule;
  stopRun(false);  // a second Run pressed while this one waited
  page.run = new Run(module, text, {
    onReport: reportRun,
    onError: (message) => {
      say(`The run failed: ${message}`);
      setRunning(false);
    },
  });
  say('Running');
  setRunning(true);
}

// Ends a run at once and says where it stood; `tell` false ends it without a word.
function stopRun(tell = true) {
  if (!page.run?.running) return;
  const last = page.run.stop();
  setRunning(false);
  if (!tell) return;
  page.output.flush();
  const line = runStatementLine(last.offset);
  if (line !== null) markRunLine(page.editor, page.editor.state.doc.line(line).from);
  // The marked line names itself; once the text is edited, the run's own line number does.
  const where = line !== null ? ` at ${lineName(page.editor.state.doc, line)}`
    : last.line >= 0 ? ` at line ${last.line}` : '';
  say(describeRun(`Stopped${where}`, last));
}

function setRunning(running) {
  const hadFocus = document.activeElement === $('stop');
  $('run').disabled = false;
  $('stop').disabled = !running;
  if (hadFocus && !running) $('run').focus();  // a disabled button would drop the focus
}

// ---- Start.

function wire() {
  $('run').addEventListener('click', () => startRun().catch((error) => {
    say(`The run could not start: ${error.message}`);
    setRunning(false);
  }));
  $('stop').addEventListener('click', () => stopRun());
  document.addEventListener('keydown', (event) => {
    if (event.key === 'Escape' && page.run?.running && !$('help').open) {
      event.preventDefault();
      stopRun();
    }
  }, true);
  $('examples').addEventListener('change', chooseExample);
  $('restore').addEventListener('click', () => showProgram(page.programs.own ?? '', 'own'));
  $('open').addEventListener('click', () => $('open-file').click());
  $('open-file').addEventListener('change', openFile);
  $('download').addEventListener('click', () => download(textOf(page.editor), page.fileName));
  $('share').addEventListener('click', shareProgram);
  $('copy-output').addEventListener('click', () => navigator.clipboard?.writeText(page.output.text())
    .then(() => say('The output is copied.'), (error) => say(`The output could not be copied: ${error.message}`)));
  $('clear-output').addEventListener('click', () => page.output.clear());
  $('help-button').addEventListener('click', () => $('help').showModal());
  window.addEventListener('pagehide', () => page.programs.saveTyped());
}

async function start() {
  wire();
  const names = await exampleNames();
  for (const name of names) $('examples').add(new Option(readableName(name), name));
  const demo = (await checker).demoProgram();
  const first = page.programs.startingProgram(demo);
  page.editor = createEditor($('program'), {
    text: first.text,
    onChange: programChanged,
    onRun: () => $('run').click(),
  });
  page.programs.shown(first.text, first.source, first.label);
  showSource();
  say('Ready: Run (or Ctrl-Enter) runs the program; Help tells the language.');
  setRunning(false);
  checkProgram();
}

start().catch((error) => say(`The playground could not start: ${error.message}`));
