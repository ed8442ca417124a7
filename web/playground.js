// The playground page: it wires the editor, the runs, the output pane, the variables and the
// programs together and holds the page's state in one place. The program is checked as it is
// typed, runs in a worker so that the page never freezes, stops at breakpoints and steps a
// line at a time, is kept in the browser's storage and can be shared.
import { startEngine } from './engine.js';
import { breakpointLines, closeWarningTooltip, createEditor, markRunLine, moveCursorTo, nameShownProgram, replaceText,
         showWarnings, textOf } from './editor.js';
import { lineName, startsInLiteral } from './language.js';
import { OutputPane } from './output.js';
import { Programs, asRunReads, download, exampleNames, exampleText, forgetLink, kKeptPrograms, linkTo,
         programFromLink, programNames, readableName, storageErrorMessage } from './programs.js';
import { Run } from './runner.js';
import { showVariables } from './variables.js';

const kWarningsListed = 200;
const kCheckDelayMs = 150;
const kRateAfterMs = 100;  // a shorter run says little about speed
const kNoVariables = new Array(26).fill(0);  // every variable 0, before any run

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
  programs: new Programs((error) => say(storageErrorMessage(error)), () => showSource()),
  run: null,            // the run going on or last made
  editedDuringRun: false,
  pausedDuringRun: false,  // the run stopped at a breakpoint or a step on its way
  outputRevealed: false,   // the run scrolled its output into view
  continueFocus: false,    // the focus went from Continue to Stop while the run goes on
  checkTimer: 0,
  fileName: 'program.bas',
};

// ---- The program changes: typed, or replaced whole by another.

// `shown` is the program the editor says it shows: after Undo or Redo of a switch to another
// program, that one.
function programChanged(typed, shown) {
  const text = textOf(page.editor);
  const kept = typed ? page.programs.typed(text, shown) : '';
  if (kept !== '' && kept !== 'back') nameShownProgram(page.editor, page.programs.identity());
  forgetLink();
  $('share-link').hidden = true;
  if (page.run?.paused) {
    endPausedRun();
  } else if (page.run?.running && !page.editedDuringRun) {
    page.run.setBreakpoints([]);  // its lines are no longer the editor's
    page.editedDuringRun = true;
    say('Running the program as it was when Run was pressed, without breakpoints; ' +
        'your changes count from the next run.');
  } else if (kept === 'back') {
    const { source, label } = page.programs;
    say(source === 'own' ? 'Your program is back.' : `${label || readableName(source)} is back: Run runs it.`, 'back');
  } else if (kept !== '') {
    say({ new: 'You are editing a new program of yours, kept in this browser under Programs.',
          earlier: 'You are editing a new program of yours: your earlier program is kept under Programs.',
          copy: 'You are editing a copy: the program as it was is kept under Programs.' }[kept] +
        (page.programs.dropped === null ? ''
          : ` It takes the place of your oldest program, "${page.programs.dropped}": the page keeps ` +
            `your newest ${kKeptPrograms}.`));
  } else if (!page.run?.running && ['link', 'back'].includes(status.dataset.about)) {
    say('');
  }
  showSource();
  clearTimeout(page.checkTimer);
  page.checkTimer = setTimeout(checkProgram, kCheckDelayMs);
}

// Puts a program in the editor as one undoable change; the old output and link go.
function showProgram(text, source, { label = '', breakpoints = [], id = null } = {}) {
  stopRun(false);
  page.output.clear();
  showVariables($('variables'), kNoVariables);  // the last run's are not this program's
  markRunLine(page.editor, null);
  keepTyped();
  page.programs.shown(text, source, { label, breakpoints, id });
  replaceText(page.editor, text, breakpoints, page.programs.identity());
  showSource();
  say(source === 'own' ? 'Your program is back.' : `${label || readableName(source)} loaded: Run runs it.`,
      source === 'own' ? 'back' : '');
}

// The Programs menu lists the user's programs and names what the editor holds.
function showSource() {
  const { source, label, entries, ownId } = page.programs;
  const own = $('own-programs');
  const names = programNames(entries).map((name, i) => [`own:${entries[i].id}`, name]);
  if (own.dataset.shown !== JSON.stringify(names)) {  // unchanged on most keystrokes
    own.dataset.shown = JSON.stringify(names);
    own.replaceChildren(...names.map(([value, name]) => new Option(name, value)));
  }
  own.hidden = entries.length === 0;
  const loaded = $('examples').querySelector('[value="loaded"]');
  loaded.hidden = source !== 'link' && source !== 'file';
  loaded.textContent = label;
  $('examples').value = source === 'own' ? `own:${ownId}` : source === 'link' || source === 'file' ? 'loaded' : source;
  $('restore').hidden = !page.programs.canRestore();
}

function showOwnProgram(entry = page.programs.restorable()) {
  showProgram(entry?.text ?? '', 'own', { breakpoints: entry?.breakpoints, id: entry?.id ?? null });
}

// Keeps what was typed, and says so when another tab had changed the same program.
function keepTyped() {
  if (page.programs.saveTyped()) {
    if (page.editor !== null) nameShownProgram(page.editor, page.programs.identity());  // a copy now
    say('Another tab changed this program too: both versions are kept under Programs.');
  }
  if (page.editor !== null) showSource();
}

// The breakpoints changed: by a click or F9 (`toggled` is then its line), or as lines moved.
function breakpointsChanged(lines, toggled) {
  page.programs.setBreakpoints(lines);
  if (toggled !== null) {
    keepTyped();
    const doc = page.editor.state.doc;
    const name = lineName(doc, toggled);
    const never = doc.line(toggled).text.trim() === '' ? 'it has nothing to run'
      : startsInLiteral(doc, toggled) ? 'it is inside a literal that runs on from a line above' : null;
    if (!lines.includes(toggled)) say(`Breakpoint cleared on ${name}.`);
    else if (never === null) say(`Breakpoint set on ${name}: a run stops there, before the line runs.`);
    else say(`Breakpoint set on ${name}, but no run stops there: ${never}.`);
  }
  if (page.run?.running && textOf(page.editor) === page.run.text) page.run.setBreakpoints(lines);
}

async function chooseExample() {
  const name = $('examples').value;
  try {
    if (name.startsWith('own:')) showOwnProgram(page.programs.entries.find((entry) => `own:${entry.id}` === name));
    else if (name === 'demo') showProgram((await checker).demoProgram(), 'demo', { label: 'Demo' });
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
    showProgram(asRunReads(await file.text()), 'file', { label: file.name });
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
  keepTyped();
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

// A run counts its steps: each statement is one, and so is each line's number (Help says so).
const stepCount = (n) => `${n.toLocaleString('en')} step${n === 1 ? '' : 's'}`;

function describeRun(verb, { statements, ms }) {
  const rate = ms >= kRateAfterMs
    ? ` (${Math.round(statements / (ms / 1000)).toLocaleString('en')} steps/s)` : '';
  return `${verb} after ${stepCount(statements)} in ${Math.round(ms)} ms${rate}`;
}

// Text line `line` of the run as the editor's line, when the editor still holds the text the
// run runs; else null.
function runTextLine(line) {
  const unchanged = page.run !== null && textOf(page.editor) === page.run.text;
  return unchanged && line >= 1 && line <= page.editor.state.doc.lines ? line : null;
}

// Marks the editor's line `line` (or none, for null) as the one the run stands on.
function markLine(line) {
  markRunLine(page.editor, line === null ? null : page.editor.state.doc.line(line).from);
}

// How the page names where the run stands: by the editor's line while it holds the run's text,
// else by the run's own line number.
function runLineName({ line, number }) {
  const editorLine = runTextLine(line);
  if (editorLine !== null) return lineName(page.editor.state.doc, editorLine);
  return number >= 0 ? `line ${number}` : null;
}

// Why a run ended, when the engine tells: at a jump to a line that does not exist (`missed`).
function endOfRun(line, missed) {
  return line === null || !missed ? '' : `: ended at ${lineName(page.editor.state.doc, line)}: ${missed}`;
}

function reportRun(report) {
  page.output.append(report.text, report.dropped);
  if (report.text !== '') revealOutput();
  if (report.state === 'running') {
    showVariables($('variables'), report.variables);
    if (!page.editedDuringRun) say(`Running: ${stepCount(report.statements)} so far`);
    return;
  }
  page.output.flush();
  // Changes are marked at the debugger's stops, and at the end of a run that stopped before.
  const stopped = report.state === 'paused' || page.pausedDuringRun;
  showVariables($('variables'), report.variables, stopped ? report.before : null);
  if (report.state === 'paused') {
    page.pausedDuringRun = true;
    reportPause(report);
    return;
  }
  revealOutput();
  const line = runTextLine(report.line);
  const ending = endOfRun(line, report.missed);
  markLine(ending !== '' ? line : null);  // where a jump missed; no mark left from a stop
  const quiet = page.output.lineCount() === 0 && page.output.dropped === 0 ? ', printing nothing' : '';
  say(describeRun('Done', report) + quiet + ending);
  setRunning();
}

// On a narrow screen the output is below the editor: a run that did not stop on the way
// scrolls it into view once, when it prints or ends.
function revealOutput() {
  if (page.pausedDuringRun || page.outputRevealed) return;
  page.outputRevealed = true;
  const pane = document.querySelector('.output-scroll');
  if (pane.getBoundingClientRect().top > window.innerHeight - 80) pane.scrollIntoView({ block: 'nearest' });
}

// The run stopped at a breakpoint or after a step, and waits for Step or Continue.
function reportPause(report) {
  const line = runTextLine(report.line);
  if (line === null) {  // the program changed as the run came to the stop
    endPausedRun();
    return;
  }
  markLine(line);
  const doc = page.editor.state.doc;
  const where = lineName(doc, line);
  const after = ` after ${stepCount(report.statements)}`;
  const ran = runTextLine(report.ran);
  if (report.reason === 'breakpoint') {
    say(`Stopped at the breakpoint on ${where}, before it runs,${after}: Step runs it, Continue goes on.`);
  } else if (ran !== null) {
    say(`Stepped: ${lineName(doc, ran)} ran; stopped before ${where},${after}.`);
  } else {
    say(`Paused before ${where},${after}: Step runs it, Continue goes on.`);
  }
  setRunning();
}

// Editing the program ends a paused run: the lines it stands on are no longer the editor's.
function endPausedRun() {
  const last = page.run.stop();
  markLine(null);
  showVariables($('variables'), last.variables);
  const where = last.number >= 0 ? ` at line ${last.number}` : '';
  say(`The run stopped${where} has ended: the program was edited. Run or Step starts it afresh.`);
  setRunning();
}

async function startRun(stepping = false) {
  stopRun(false);
  page.output.clear();
  markLine(null);
  closeWarningTooltip(page.editor);
  page.editedDuringRun = false;
  page.pausedDuringRun = false;
  page.outputRevealed = false;
  const text = textOf(page.editor);
  const module = await engineModule;
  stopRun(false);  // a second Run pressed while this one waited
  const breakpoints = breakpointLines(page.editor.state);
  page.run = new Run(module, text, { breakpoints, stepping }, {
    onReport: reportRun,
    onError: (message) => {
      say(`The run failed: ${message}`);
      setRunning();
    },
  });
  say('Running');
  setRunning();
}

// Step: runs one line of a paused run; asked while a run goes on, stops it at the next line;
// with no run (or one of a text edited since), starts a run and stops after its first line.
function step() {
  const run = page.run;
  if (run?.running && !page.editedDuringRun) {
    if (run.paused) say('Stepping');
    run.goOn('step');
    setRunning();
    return;
  }
  startRun(true).catch(cannotStart);
}

function continueRun() {
  if (!page.run?.paused) return;
  markLine(null);
  say('Running');
  page.run.goOn('continue');
  setRunning();
}

// Ends a run at once and says where it stood; `tell` false ends it without a word.
function stopRun(tell = true) {
  if (!page.run?.running) return;
  const last = page.run.stop();
  setRunning();
  if (!tell) return;
  page.output.flush();
  const line = runTextLine(last.line);
  markLine(line);
  const where = runLineName(last);
  say(describeRun(`Stopped${where === null ? '' : ` at ${where}`}`, last));
}

function cannotStart(error) {
  say(`The run could not start: ${error.message}`);
  setRunning();
}

// The buttons follow the run: Stop while it is not over, Continue while it is stopped. A
// button about to be disabled hands the focus on: Continue's goes to Stop while the run goes
// on, and back at its next stop, so that Continue can be pressed again and again.
function setRunning() {
  const running = page.run?.running ?? false;
  const paused = page.run?.paused ?? false;
  const focused = document.activeElement;
  $('run').disabled = false;
  $('step').disabled = false;
  $('continue').disabled = !paused;
  $('stop').disabled = !running;
  if (focused === $('continue') && !paused) {
    (running ? $('stop') : $('run')).focus();
    page.continueFocus = running;
  } else if (focused === $('stop') && page.continueFocus && paused) {
    $('continue').focus();
  } else if (focused === $('stop') && !running) {
    $('run').focus();
  }
  if (focused !== $('continue') && focused !== $('stop')) page.continueFocus = false;
}

// ---- Start.

function wire() {
  $('run').addEventListener('click', () => startRun().catch(cannotStart));
  $('step').addEventListener('click', step);
  $('continue').addEventListener('click', continueRun);
  $('stop').addEventListener('click', () => stopRun());
  document.addEventListener('keydown', (event) => {
    if ($('help').open) return;
    if (event.key === 'Escape' && page.run?.running) {
      event.preventDefault();
      stopRun();
    } else if (event.key === 'F10') {
      event.preventDefault();
      step();
    }
  }, true);
  $('examples').addEventListener('change', chooseExample);
  $('restore').addEventListener('click', () => showOwnProgram());
  $('open').addEventListener('click', () => $('open-file').click());
  $('open-file').addEventListener('change', openFile);
  $('download').addEventListener('click', () => {
    download(textOf(page.editor), page.fileName);
    say(`The program is offered for download as ${page.fileName}.`);
  });
  $('share').addEventListener('click', shareProgram);
  $('copy-output').addEventListener('click', () => navigator.clipboard?.writeText(page.output.text())
    .then(() => say('The output is copied.'), (error) => say(`The output could not be copied: ${error.message}`)));
  $('clear-output').addEventListener('click', () => {
    page.output.clear();
    say('The output is cleared.');
  });
  $('help-button').addEventListener('click', () => $('help').showModal());
  window.addEventListener('pagehide', keepTyped);
  // A link followed in this tab: the address changed, not the page.
  window.addEventListener('hashchange', () => {
    const linked = programFromLink();
    if (linked !== null && linked !== textOf(page.editor)) showProgram(linked, 'link', { label: 'Linked program' });
  });
}

async function start() {
  wire();
  const names = await exampleNames();
  for (const name of names) $('example-programs').append(new Option(readableName(name), name));
  const demo = (await checker).demoProgram();
  const first = page.programs.startingProgram(demo);
  page.programs.shown(first.text, first.source, first);
  page.editor = createEditor($('program'), {
    text: first.text,
    breakpoints: first.breakpoints,
    shown: page.programs.identity(),
    onChange: programChanged,
    onBreakpoints: breakpointsChanged,
    onRun: () => $('run').click(),
  });
  showVariables($('variables'), kNoVariables);
  showSource();
  const from = first.source === 'link' ? 'the program from the link is loaded. ' : '';
  say(`Ready: ${from}Run (or Ctrl-Enter) runs the program; Help tells the language.`);
  setRunning();
  checkProgram();
}

start().catch((error) => say(`The playground could not start: ${error.message}`));
