// The playground page: it wires the editor, the runs, the output pane, the variables and the
// programs together and holds the page's state in one place. The program is checked as it is
// typed, runs in a worker so that the page never freezes, stops at breakpoints and watches,
// steps a line at a time, forward and back, is kept in the browser's storage and can be shared.
// The checker's fixes and renumbering edit it on request.
import { Text } from '@codemirror/state';
import { startEngine } from './engine.js';
import { breakpointList, closeWarningTooltip, createEditor, markRunLine, moveCursorTo, nameShownProgram, replaceText,
         replaceWhole, setBreakpointCondition, showWarnings, textOf, toggleBreakpointAtCursor } from './editor.js';
import { lineName, startsInLiteral } from './language.js';
import { applyFix, fixName, rewriteText } from './edits.js';
import { OutputPane } from './output.js';
import { download, fileNameFor, programFromFile } from './files.js';
import { ProgramsDialog, keepingRules } from './manage.js';
import { Programs, distinctNames, exampleNames, exampleText, firstLine, forgetLink, kMaxProgramChars, linkTo, programFromLink,
         programNames, readableName, titleOf, when } from './programs.js';
import { Run } from './runner.js';
import { makeVariables, showVariables } from './variables.js';
import { showChart, showStack, showTimeline } from './inspect.js';

const kWarningsListed = 200;
const kCheckDelayMs = 150;
const kRateAfterMs = 100;  // a shorter run says little about speed
const kNoVariables = new Array(26).fill(0);  // every variable 0, before any run

const $ = (id) => document.getElementById(id);
const status = $('status');
// `about` names what the status says, so that a change can take back what no longer holds;
// `actions` are buttons beside it ({ label, run }) that act on what it says.
const button = ({ label, run }) => {
  const made = Object.assign(document.createElement('button'), { type: 'button', textContent: label });
  made.addEventListener('click', run);
  return made;
};
const say = (text, about = '', actions = []) => {
  status.textContent = text;
  status.dataset.about = about;
  status.dataset.at = String(Date.now());
  $('status-actions').replaceChildren(...actions.map(button));
};

const engineModule = fetch('linebasic.wasm')
  .then((response) => response.arrayBuffer())
  .then((bytes) => WebAssembly.compile(bytes));
const checker = engineModule.then((module) => startEngine(module));

const page = {
  editor: null,
  output: new OutputPane($('output'), $('dropped')),
  programs: new Programs((entry) => storageReport(entry), () => showSource()),
  dialog: null,         // the Manage dialog
  run: null,            // the run going on or last made
  editedDuringRun: false,
  pausedDuringRun: false,  // the run stopped at a breakpoint or a step on its way
  outputRevealed: false,   // the run scrolled its output into view
  returnFocus: null,       // the button whose focus went to Stop while the run goes on
  watches: new Set(),      // the variables watched, for every run
  movesAsked: 0,           // moves on the timeline the run has not made yet
  conditionLine: 0,        // the line whose breakpoint's condition is asked for
  checkTimer: 0,
  names: new Map(),      // what messages call each program (distinctNames)
};

// ---- The program changes: typed, or replaced whole by another.

// `shown` is the program the editor says it shows: after Undo or Redo of a switch to another
// program, that one.
function programChanged(typed, shown) {
  const text = textOf(page.editor);
  const kept = typed ? page.programs.typed(text, shown) : '';
  if (kept !== '' && kept !== 'back') nameShownProgram(page.editor, page.programs.identity(), true);
  forgetLink();
  $('share-link').hidden = true;
  if (page.run?.stopped && !page.run.paused && !runsEditorText()) stopRun(false);  // its past is another program's
  if (page.run?.paused && runsEditorText()) {
    markLine(runTextLine(page.run.last.line));  // an edit that changed no line: the run stays
  } else if (page.run?.paused) {
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
          earlier: 'You are editing a new program of yours: your earlier program stays under Programs.',
          copy: 'You are editing a copy: the program as it was stays under Programs.' }[kept], 'forked');
  } else if (!page.run?.running && saysWhatAnEditTakesBack()) {
    say('');
  }
  showSource();
  clearTimeout(page.checkTimer);
  page.checkTimer = setTimeout(checkProgram, kCheckDelayMs);
}

// Whether the status says what an edit made untrue: that the address holds the program, that a
// program or a version is back, that a program is new; or, after a while, that the program is a
// new one or a copy (said on the edit that made it, which is soon followed by others).
function saysWhatAnEditTakesBack() {
  const about = status.dataset.about;
  return ['link', 'back', 'new', 'version'].includes(about) || (about === 'forked' && Date.now() - Number(status.dataset.at) > 3000);
}

// Puts a program in the editor as one undoable change; the old output and link go. `note`
// ends what the status says of it.
function showProgram(text, source, { label = '', breakpoints = [], id = null, note = '' } = {}) {
  stopRun(false);
  page.output.clear();
  showVariables($('variables'), kNoVariables);  // the last run's are not this program's
  markRunLine(page.editor, null);
  keepTyped();
  page.programs.shown(text, source, { label, breakpoints, id });
  replaceText(page.editor, text, breakpoints, page.programs.identity());
  showSource();
  say(source === 'own' ? 'Your program is back.' : `${label || readableName(source)} loaded${note}: Run runs it.`,
      source === 'own' ? 'back' : '');
}

// The Programs menu lists the user's programs and names what the editor holds.
function showSource() {
  const { source, label, entries, ownId } = page.programs;
  const own = $('own-programs');
  const menu = programNames(entries);
  const names = menu.map((name, i) => [`own:${entries[i].id}`,
    entries[i].failure === null ? name : `Not kept: ${name}`]);
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
  page.names = distinctNames(entries, menu);
  showStorageNote();
  page.dialog?.render();
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

// The breakpoints changed: by a click or F9 (`toggled` is then its line), as lines moved, or
// in their conditions.
function breakpointsChanged(breakpoints, toggled) {
  const lines = breakpoints.map((breakpoint) => breakpoint.line);
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
  if (runsEditorText()) page.run.setBreakpoints(breakpoints);
}

// A breakpoint's condition, asked for by a right-click on the gutter or Shift-F9 on its line.
function askCondition(line) {
  if (document.querySelector('dialog[open]') !== null) return;
  const breakpoint = breakpointList(page.editor.state).find((entry) => entry.line === line);
  page.conditionLine = line;
  $('condition-where').textContent = `A run stops at ${lineName(page.editor.state.doc, line)} only where this ` +
    'expression is not 0 (empty: every time), read as an if reads it.';
  $('condition-text').value = breakpoint?.condition ?? '';
  $('condition').returnValue = '';
  $('condition').showModal();
}

function conditionAsked() {
  const line = page.conditionLine;
  if ($('condition').returnValue === 'set' && line <= page.editor.state.doc.lines) {
    const condition = $('condition-text').value.trim();
    setBreakpointCondition(page.editor, line, condition);
    const name = lineName(page.editor.state.doc, line);
    say(condition === '' ? `Breakpoint set on ${name}: a run stops there every time.`
      : `Breakpoint set on ${name}: a run stops there where ${condition} is not 0.`);
  }
  page.editor.focus();
}

// New: an empty program of the user's; the one shown stays where it is kept.
function newProgram() {
  const shown = page.programs.source === 'own' ? page.programs.ownEntry() : undefined;
  if (shown?.text !== '') {
    keepTyped();
    showProgram('', 'own', { id: page.programs.add().id });
  }
  say('A new, empty program: type it in the editor. The one before is kept under Programs.', 'new');
  page.editor.focus();
}

// The program shown when it is one of the user's, else undefined.
const shownEntry = () => (page.programs.source === 'own' ? page.programs.ownEntry() : undefined);

// The file name Download offers for the program shown: its own, or one made from it.
function downloadName(entry = shownEntry()) {
  const { source, label, shownText } = page.programs;
  if (entry !== undefined) return fileNameFor(entry.name ?? firstLine(entry.text));
  if (source === 'file') return fileNameFor(label);
  if (source === 'demo' || source.endsWith('.bas')) return fileNameFor(source === 'demo' ? 'demo.bas' : source);
  return fileNameFor(firstLine(shownText));
}

function downloadProgram(entry = shownEntry()) {
  const shown = entry === shownEntry();
  const name = downloadName(entry);
  download(shown ? textOf(page.editor) : entry.text, name);
  say(`The program is offered for download as ${name}.`);
}

// A program in a message: as the menu names it where another has the same title.
const nameOf = (entry) => `“${page.names.get(entry) ?? titleOf(entry)}”`;

// A program kept after all is said in the status; what the storage does not keep, in the note
// above the editor, where it stays in sight while the user types.
function storageReport(entry) {
  showSource();
  if (entry.failure === null) say(`${nameOf(entry)} is kept in this browser's storage now.`);
}

// The note above the editor: what the page lost when it was last left, and which programs the
// storage does not keep, the one that leaving the page would lose first; drawn anew only when
// what it says changes.
function showStorageNote() {
  const { entries, held, lost } = page.programs;
  const failed = entries.filter((entry) => entry.failure !== null);
  const atRisk = failed.filter((entry) => !held.has(entry.id));
  const first = atRisk[0] ?? [shownEntry(), ...failed].find((entry) => entry !== undefined && entry.failure !== null);
  const parts = lost.length === 0 ? [] : [`When the page was last left, neither the storage nor this tab could hold ` +
    `${lost.map(({ name, since }) => (since === null ? `“${name}”, which is gone` : `your changes to “${name}” since ${when(since)}, which are gone`))
      .join(', nor ')}.`];
  const actions = [];
  if (first !== undefined) {
    const others = failed.filter((entry) => entry !== first);
    const risky = atRisk.filter((entry) => entry !== first);
    const it = risky.length === 1 ? 'it' : 'them';
    const more = others.length === 0 ? ''
      : ` ${others.length} more of your programs ${others.length === 1 ? 'is' : 'are'} not kept either` +
        (risky.length === 0 ? `: this tab holds ${others.length === 1 ? 'it' : 'them'}.`
          : `. Of them, this tab cannot hold ${risky.map(nameOf).join(' and ')}: leaving the page loses ${it}, so download ${it} first.`);
    parts.push(`${notKept(first, nameOf(first))}${more}`);
    const download = (entry, label) => ({ label, run: () => downloadProgram(page.programs.entry(entry.id) ?? entry) });
    actions.push(download(first, 'Download'), ...risky.map((entry) => download(entry, `Download ${nameOf(entry)}`)));
    if (failed.some(full)) actions.push({ label: 'Free space…', run: () => page.dialog.show() });
  }
  if (lost.length > 0) actions.push({ label: 'Dismiss', run: () => { page.programs.lost = []; showStorageNote(); } });
  const text = parts.join(' ');
  const note = $('storage-note');
  if (note.dataset.text === text) return;
  note.dataset.text = text;
  note.hidden = text === '';
  $('storage-text').textContent = text;
  $('storage-actions').replaceChildren(...actions.map(button));
}

const full = (entry) => entry.failure?.name === 'QuotaExceededError';

// What is not kept of `entry`, called `title`, why, where it is held and what the user can do.
function notKept(entry, title) {
  const large = entry.failure === 'large';
  const changes = entry.storedText !== null;
  const what = changes ? `Your changes to ${title} since ${when(entry.storedTime)} are not kept in this browser's storage`
    : `${title} is not kept in this browser's storage`;
  const why = large ? `: it is ${entry.text.length.toLocaleString('en')} characters long, more than the ` +
                      `${kMaxProgramChars.toLocaleString('en')} the page keeps of one program`
    : full(entry) ? ': the storage is full'
    : `: the browser does not let the page keep it (${entry.failure?.message})`;
  const them = changes ? 'them' : 'it';
  const held = page.programs.held.has(entry.id) ? `This tab holds ${them} until the tab is closed`
    : `Nor can this tab hold ${them}: leaving the page loses ${them}`;
  return `${what}${why}. ${held}. Download ${changes ? 'the program to keep them' : 'it to keep it'}` +
    `${full(entry) ? ', or free space under Manage' : ''}.`;
}

// ---- The Manage dialog's actions.

function deleteProgram(entry) {
  const shown = entry === shownEntry();
  keepTyped();
  page.programs.remove(entry);
  if (shown) showOwnProgram(page.programs.entries[0] ?? page.programs.add());
  const room = madeRoom();
  say(`${nameOf(entry)} is deleted, with its earlier versions${shown ? '; Ctrl-Z in the editor brings it back too' : ''}.${room}`,
      'deleted', [{ label: 'Undo delete', run: () => undeleteProgram(entry.id) }]);
  showSource();
}

// Keeps what was not kept, in the space just freed; says what that was.
function madeRoom() {
  const failed = page.programs.entries.filter((entry) => entry.failure !== null);
  page.programs.keepUnkept();
  const kept = failed.filter((entry) => entry.failure === null).map(nameOf);
  return kept.length === 0 ? '' : ` That made room: ${kept.join(' and ')} ${kept.length === 1 ? 'is' : 'are'} kept now.`;
}

function undeleteProgram(id) {
  const entry = page.programs.undelete(id);
  if (entry?.failure === null) say(`${nameOf(entry)} is back under Programs.`);
  showSource();
}

// Brings back an earlier version of `entry` as an edit that Undo takes back; the text it
// replaces is kept as a version.
function bringBack(entry, time) {
  const text = page.programs.versionText(entry, time);
  if (text === null) {
    say('That version is no longer in this browser\'s storage.');
    return;
  }
  page.dialog.dialog.close();
  if (entry !== shownEntry()) showOwnProgram(entry);
  keepTyped();
  page.programs.versionDue = true;
  replaceWhole(page.editor, text);
  keepTyped();
  say(`The version of ${when(time)} is back in the editor: the text it replaced is kept as an earlier version, ` +
      'and Ctrl-Z takes the change back.', 'version');
  page.editor.focus();
}

const dialogActions = {
  show: (entry) => {
    page.dialog.dialog.close();
    showOwnProgram(entry);
    page.editor.focus();
  },
  rename: (entry, name) => {
    page.programs.rename(entry, name);
    if (entry.failure === null) say(`The program is named “${titleOf(entry)}”.`);
    showSource();
  },
  download: downloadProgram,
  remove: deleteProgram,
  undelete: undeleteProgram,
  bringBack,
  removeVersions: (entry, times) => {
    page.programs.removeVersions(entry, times);
    const room = madeRoom();
    say(`${times.length === 1 ? 'One earlier version' : `${times.length} earlier versions`} of ${nameOf(entry)} deleted.${room}`);
    showSource();
  },
};

// The demo as an example: the engine's built-in program has blanks at the ends of its lines
// (it pads them to one width), which an example need not show; no literal holds them.
const demoExample = async () => (await checker).demoProgram().replace(/[ \t]+$/gm, '');

async function chooseExample() {
  const name = $('examples').value;
  try {
    if (name.startsWith('own:')) showOwnProgram(page.programs.entries.find((entry) => `own:${entry.id}` === name));
    else if (name === 'demo') showProgram(await demoExample(), 'demo', { label: 'Demo' });
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
    const { text, note, refused } = programFromFile(file.name, new Uint8Array(await file.arrayBuffer()));
    if (refused === undefined) showProgram(text, 'file', { label: file.name, note });
    else say(refused);
  } catch (error) {
    say(`${file.name} could not be read: ${error.message}`);
  }
}

// A link in the address whose program cannot be read is said so, not passed over.
const kBrokenLink = 'the link in the address holds a program that cannot be read (it is cut short or damaged), ' +
  'so the editor shows another.';

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
  listWarnings(warnings, showWarnings(page.editor, warnings));
}

// The column a person counts, in characters, of the byte column `column` on line `line`
// (the checker counts bytes).
function characterColumn(doc, line, column) {
  const text = line >= 1 && line <= doc.lines ? doc.line(line).text : '';
  const before = new TextEncoder().encode(text).subarray(0, Math.max(column - 1, 0));
  return [...new TextDecoder().decode(before)].length + 1;
}

// The warnings in the panel, each with a button for its fix (`fixes`, as showWarnings gives
// them); Fix all is there while one has a fix.
function listWarnings(warnings, fixes) {
  const doc = page.editor.state.doc;
  const items = warnings.slice(0, kWarningsListed).map((warning, i) => {
    const button = document.createElement('button');
    button.type = 'button';
    const where = Object.assign(document.createElement('span'),
      { className: 'where', textContent: `${lineName(doc, warning.line)}:${characterColumn(doc, warning.line, warning.column)}` });
    const name = Object.assign(document.createElement('span'),
      { className: 'name', textContent: ` [${warning.name}]` });
    button.append(where, warning.message, name);
    button.addEventListener('click', () => moveCursorTo(page.editor, warning.line, warning.column));
    const item = document.createElement('li');
    item.append(button);
    const fix = fixes[i];
    if (fix !== null) {
      const fixButton = Object.assign(document.createElement('button'), { type: 'button', className: 'fix', textContent: fixName(fix) });
      fixButton.addEventListener('click', () => applyFix(page.editor, fix) || say('The program changed since it was checked: try again.'));
      item.append(fixButton);
    }
    return item;
  });
  $('fix-all').hidden = !fixes.some((fix) => fix !== null);
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

// ---- Edits on request: Fix all, Renumber.

// Makes the program `text` as one edit that Undo takes back, the text before it kept first.
// Returns what the page said of the edit meanwhile (the program became a new one, a stopped
// run ended), to be said after what the caller says.
function editProgram(text, userEvent) {
  keepTyped();
  const said = status.dataset.at;
  rewriteText(page.editor, text, userEvent);
  keepTyped();
  return status.dataset.at === said ? '' : ` ${status.textContent}`;
}

async function fixAll() {
  const engine = await checker;
  const before = textOf(page.editor);
  const { count, text } = engine.fix(before);
  if (count < 0) say('The fixes could not be applied: the engine ran out of memory.');
  else if (count === 0) say('No warning has a fix.');
  else say(`${count} warning${count === 1 ? '' : 's'} fixed: Ctrl-Z takes the fixes back.${editProgram(text, 'input.fix')}`);
}

// Renumber asks where the numbers start and their step.
function askRenumber() {
  if (document.querySelector('dialog[open]') !== null) return;
  $('renumber').returnValue = '';
  $('renumber').showModal();
}

async function renumberProgram() {
  const [start, step] = [$('renumber-start').valueAsNumber, $('renumber-step').valueAsNumber];
  const engine = await checker;
  const before = textOf(page.editor);
  const { text, refusal } = engine.renumber(before, start, step);
  if (text === before) {
    say(`The lines are numbered from ${start} by ${step} already.`);
  } else if (text !== undefined) {
    say(`Renumbered from ${start} by ${step}, with the goto and gosub targets: Ctrl-Z takes it back.${editProgram(text, 'input.renumber')}`);
  } else if (refusal === null) {
    say('The program could not be renumbered: the engine ran out of memory.');
  } else if (refusal.line === 0) {
    say(`The program was not renumbered: ${refusal.message}.`);
  } else {
    const { line, column, message } = refusal;
    say(`The program was not renumbered, because of ${lineName(page.editor.state.doc, line)}: ${message}.`, '',
        [{ label: 'Show it', run: () => moveCursorTo(page.editor, line, column) }]);
  }
}

// F12 or a click went from a jump to its line (`jump` null: F12 was pressed off a jump).
function jumped(jump) {
  if (jump === null) say('F12 goes to the line that a goto or gosub jumps to: put the cursor on its number.', 'jump');
  else if (jump.line === null) say(`No line is numbered ${jump.number}: a jump there ends the run.`, 'jump');
  else if (status.dataset.about === 'jump') say('');
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
  const unchanged = runsEditorText();
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
  if (report.replace) page.output.clear();  // back in time: the output as it stood there
  page.output.append(report.text, report.dropped);
  if (report.text !== '') revealOutput();
  // The timeline stays where it is moved to (the run's nearest step may be before it).
  if (report.reason === 'moved') page.movesAsked -= 1;
  if (page.movesAsked === 0) showTimeline($('timeline'), $('timeline-at'), report, page.run.stopped, report.reason !== 'moved');
  if (report.state === 'running') {
    showVariables($('variables'), report.variables);
    if ($('stack').childElementCount > 0) showStack($('stack'), null);
    if (!page.editedDuringRun) say(`Running: ${stepCount(report.statements)} so far`);
    return;
  }
  page.output.flush();
  // Changes are marked at the debugger's stops, and at the end of a run that stopped before.
  const stopped = report.state === 'paused' || page.pausedDuringRun;
  showVariables($('variables'), report.variables, stopped ? report.before : null, report.state === 'paused');
  showStack($('stack'), report.stack, (line) => (runTextLine(line) === null ? `text line ${line}` : lineName(page.editor.state.doc, line)));
  if ($('expression').value.trim() !== '') evaluate();  // what it says now
  if ($('chart-variable').value !== '') chartVariable();
  if (report.state === 'paused') {
    page.pausedDuringRun = true;
    reportPause(report);
    return;
  }
  revealOutput();
  const line = runTextLine(report.line);
  const ending = endOfRun(line, report.missed);
  markLine(ending !== '' || report.reason === 'moved' ? line : null);  // where a jump missed; no mark left from a stop
  const quiet = page.output.lineCount() === 0 && page.output.dropped === 0 ? ', printing nothing' : '';
  if (report.reason === 'moved') say(`At the end of the run, after ${stepCount(report.statements)}${ending}.`);
  else say(describeRun('Done', report) + quiet + ending);
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

// The run stopped: at a breakpoint or a watch, after a step, over or out, back in time, or
// with a variable set; it waits to go on.
function reportPause(report) {
  const line = runTextLine(report.line);
  if (line === null) {  // the program changed as the run came to the stop
    endPausedRun();
    return;
  }
  markLine(line);
  say(pauseMessage(report, lineName(page.editor.state.doc, line)));
  setRunning();
}

function pauseMessage({ reason, ran, statements, undone, watch, set, variables }, where) {
  const doc = page.editor.state.doc;
  const after = ` after ${stepCount(statements)}`;
  const name = (textLine) => (runTextLine(textLine) === null ? `text line ${textLine}` : lineName(doc, textLine));
  const back = undone !== undefined;
  if (reason === 'breakpoint') {
    return back ? `Back at the breakpoint on ${where}, before it runs,${after}: Step and Continue go forward again.`
      : `Stopped at the breakpoint on ${where}, before it runs,${after}: Step runs it, Continue goes on.`;
  }
  if (reason === 'watch') {
    const change = `${watch.name} went from ${watch.before} to ${watch.after} at ${name(watch.line)}`;
    return back ? `Back where ${change}; stopped before ${where},${after}.` : `Stopped: ${change}; stopped before ${where},${after}.`;
  }
  if (reason === 'back') {
    if (undone === 0) return `At the start of the run, before ${where}: ${kNoStopBefore}`;
    return `Back one line: stopped before ${where},${after}; Step and Continue go forward again, printing again.`;
  }
  if (reason === 'moved') return `At step ${statements.toLocaleString('en')}: stopped before ${where}.`;
  if (reason === 'set') {
    const value = variables[set.name.charCodeAt(0) - 97];
    return `${set.name} is ${value} now${value === set.value ? '' : ` (it holds 8 bits: ${set.value} keeps ${value})`}: ` +
      `the run goes on from ${where} with it.`;
  }
  const from = runTextLine(ran);
  if (from === null) return `Paused before ${where},${after}: Step runs it, Continue goes on.`;
  if (reason === 'over') return `Stepped over ${lineName(doc, from)}; stopped before ${where},${after}.`;
  if (reason === 'out') return `Stepped out to ${where}, from ${lineName(doc, from)},${after}.`;
  return `Stepped: ${lineName(doc, from)} ran; stopped before ${where},${after}.`;
}

const kNoStopBefore = 'no breakpoint or watch stopped the run before, and nothing has run yet.';

// Whether the editor holds the program the run runs: its text, but for blank lines added or
// taken away at the end (a line begun there and not yet written), which change no line.
function runsEditorText() {
  const lines = (text) => text.replace(/\n[ \t\n]*$/, '');
  return page.run !== null && lines(textOf(page.editor)) === lines(page.run.text);
}

// Editing a line ends a paused run: the lines it stands on are no longer the editor's. The
// status names the first line edited, as the run had it.
function endPausedRun() {
  const { text } = page.run;
  const last = page.run.stop();
  markLine(null);
  showVariables($('variables'), last.variables);
  const where = last.number >= 0 ? ` at line ${last.number}` : '';
  const doc = page.editor.state.doc;
  const before = text.split('\n');
  let edited = 1;
  while (edited < doc.lines && doc.line(edited).text === before[edited - 1]) ++edited;
  const what = edited <= before.length ? `${lineName(Text.of(before), edited)} was edited` : 'a line was added';
  say(`The run stopped${where} has ended: ${what}. Run or Step starts it afresh.`);
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
  page.movesAsked = 0;
  const text = textOf(page.editor);
  const module = await engineModule;
  stopRun(false);  // a second Run pressed while this one waited
  const breakpoints = breakpointList(page.editor.state);
  page.run = new Run(module, text, { breakpoints, watches: [...page.watches], stepping }, {
    onReport: reportRun,
    onAnswer: ({ evaluated, expression, chart, steps, values }) => {
      if (chart !== undefined) showChart($('chart'), chart, steps, values);
      else $('evaluated').textContent = `${expression} is ${evaluated}`;
    },
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
// Over does the same, but runs a gosub on the line whole.
function step(how = 'step') {
  const run = page.run;
  if (run?.running && !page.editedDuringRun) {
    if (run.paused) say(how === 'over' ? 'Stepping over' : 'Stepping');
    run.goOn(run.paused ? how : 'step');
    setRunning();
    return;
  }
  startRun(true).catch(cannotStart);
}

// Continue, or Out: on to the next breakpoint, or until the subroutine the run is in returns.
function continueRun(how = 'continue') {
  if (!page.run?.paused) return;
  markLine(null);
  const inSubroutine = page.run.last.stack?.some((frame) => frame.gosub);
  say(how === 'out' && inSubroutine ? 'Running until the subroutine returns' : 'Running');
  page.run.goOn(how);
  setRunning();
}

// Back in time, from a stop or the end: `how` is 'back' (a line), 'rewind' (to the last
// breakpoint or watch) or 'to' (`steps`, from the timeline).
function goBack(how, steps = 0) {
  if (!canGoBack()) return;
  if (how === 'to') page.movesAsked += 1;
  page.run.goOn(how, { lines: 1, steps });
}

const canGoBack = () => page.run?.stopped === true && runsEditorText();

// A value typed in the variables panel: a whole number, set while the run is stopped. False
// when it is none.
function setVariable(name, text) {
  const value = Number(text.trim());
  if (!page.run?.paused) return false;
  if (!/^-?\d+$/.test(text.trim()) || !Number.isSafeInteger(value)) {
    say(`${name} was not set: a value is a whole number, such as 12 or -3.`);
    return false;
  }
  page.run.tell({ set: { name, value }, before: page.run.last.before });
  return true;
}

function watchVariable(name, on) {
  if (on) page.watches.add(name);
  else page.watches.delete(name);
  page.run?.tell({ watches: [[name, on]] });
  say(on ? `Watching ${name}: a run stops right after a statement changes it.` : `${name} is not watched any more.`);
}

// The variable chosen under Chart, over the run's past.
function chartVariable() {
  const name = $('chart-variable').value;
  if (name !== '' && canGoBack()) page.run.tell({ chart: name });
  else showChart($('chart'), name, [], null);
  if (name !== '' && !canGoBack()) say('A chart shows a variable over the past of a run that is stopped or has ended.');
}

// The expression in the field, read with the stopped run's variables.
function evaluate() {
  const expression = $('expression').value.trim();
  if (expression === '') return;
  if (page.run?.stopped) page.run.tell({ evaluate: expression });
  else $('evaluated').textContent = 'An expression is read with the variables of a stopped run: stop one at a breakpoint or a step.';
}

// Ends a run at once and says where it stood; `tell` false ends it without a word.
function stopRun(tell = true) {
  if (!page.run?.running) {
    if (page.run?.stopped) page.run.stop();  // an ended run's past goes
    setRunning();
    return;
  }
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

// The buttons follow the run: Stop while it is not over, Continue and Out while it is stopped,
// Back while it is stopped or ended with a past. A button about to be disabled hands the focus
// on: to Stop while the run goes on, and back at its next stop, so that Continue (or Back, or
// Out) can be pressed again and again.
function setRunning() {
  const running = page.run?.running ?? false;
  const paused = page.run?.paused ?? false;
  const focused = document.activeElement;
  $('run').disabled = $('step').disabled = $('over').disabled = false;
  $('continue').disabled = $('out').disabled = !paused;
  $('back').disabled = !canGoBack() || page.run.last.statements === 0;
  $('stop').disabled = !running;
  if (!canGoBack()) {
    showTimeline($('timeline'), $('timeline-at'), null, false);
    showStack($('stack'), null);
    showChart($('chart'), '', [], null);
  }
  if (focused?.disabled) {
    (running ? $('stop') : $('run')).focus();
    page.returnFocus = running ? focused : null;
  } else if (focused === $('stop') && page.returnFocus !== null && !page.returnFocus.disabled) {
    page.returnFocus.focus();
  } else if (focused === $('stop') && !running) {
    $('run').focus();
  }
  if (focused !== page.returnFocus && focused !== $('stop')) page.returnFocus = null;
}

// Copy: the output to the clipboard, by the clipboard API where the page may use it (a secure
// address), else by the older copy command; what happened is said either way.
async function copyOutput() {
  const text = page.output.text();
  if (text === '') {
    say('The output is empty: there is nothing to copy.');
    return;
  }
  let refusal = '';
  try {
    if (navigator.clipboard === undefined) throw new Error('the clipboard is open to the page only at a secure address');
    await navigator.clipboard.writeText(text);
    say('The output is copied.');
    return;
  } catch (error) {
    refusal = error.message;
  }
  const copied = copyByCommand(text);
  say(copied ? 'The output is copied.' : `The browser did not let the page copy the output (${refusal}): ` +
      'select it in the output pane and copy it with Ctrl-C.');
}

function copyByCommand(text) {
  const holder = Object.assign(document.createElement('textarea'), { value: text, readOnly: true });
  holder.style.position = 'fixed';
  holder.style.opacity = '0';
  const focused = document.activeElement;
  document.body.append(holder);
  holder.select();
  let copied = false;
  try {
    copied = document.execCommand('copy');
  } catch {
    // refused: said by the caller
  }
  holder.remove();
  focused?.focus();
  return copied;
}

// ---- Start.

// The debugger's keys, as browsers' developer tools have them, and the page's own.
const keys = {
  Escape: () => stopRun(),
  F8: () => (page.run?.paused ? continueRun() : say('F8 goes on from a stopped run; Ctrl-F8 goes to the next warning.')),
  'Shift-F8': () => goBack('rewind'),
  F7: () => goBack('back'),
  F10: () => step('over'),
  F11: () => step(),
  'Shift-F11': () => continueRun('out'),
  F9: () => toggleBreakpointAtCursor(page.editor),
  'Shift-F9': () => askCondition(page.editor.state.doc.lineAt(page.editor.state.selection.main.head).number),
  F2: askRenumber,
};

function wire() {
  $('run').addEventListener('click', () => startRun().catch(cannotStart));
  $('step').addEventListener('click', () => step());
  $('over').addEventListener('click', () => step('over'));
  $('out').addEventListener('click', () => continueRun('out'));
  $('back').addEventListener('click', () => goBack('back'));
  $('continue').addEventListener('click', () => continueRun());
  $('stop').addEventListener('click', () => stopRun());
  $('timeline').addEventListener('input', () => goBack('to', $('timeline').valueAsNumber));
  $('expression-form').addEventListener('submit', (event) => {
    event.preventDefault();
    evaluate();
  });
  $('condition').addEventListener('close', conditionAsked);
  $('chart-variable').addEventListener('change', chartVariable);
  document.addEventListener('keydown', (event) => {
    if (document.querySelector('dialog[open]') !== null || event.ctrlKey || event.altKey || event.metaKey) return;
    const key = `${event.shiftKey ? 'Shift-' : ''}${event.key}`;
    const action = keys[key];
    if (action === undefined || (key === 'Escape' && !page.run?.running)) return;
    event.preventDefault();
    action();
  }, true);
  $('fix-all').addEventListener('click', fixAll);
  $('renumber-button').addEventListener('click', askRenumber);
  $('renumber').addEventListener('close', () => {
    if ($('renumber').returnValue === 'renumber') renumberProgram();
    page.editor.focus();
  });
  $('examples').addEventListener('change', chooseExample);
  $('restore').addEventListener('click', () => showOwnProgram());
  $('new').addEventListener('click', newProgram);
  $('manage-button').addEventListener('click', () => page.dialog.show());
  $('open').addEventListener('click', () => $('open-file').click());
  $('open-file').addEventListener('change', openFile);
  $('download').addEventListener('click', () => downloadProgram());
  $('share').addEventListener('click', shareProgram);
  $('copy-output').addEventListener('click', copyOutput);
  $('clear-output').addEventListener('click', () => {
    page.output.clear();
    say('The output is cleared.');
  });
  $('help-button').addEventListener('click', () => $('help').showModal());
  window.addEventListener('pagehide', keepTyped);
  // Leaving the page asks first while a program is held in this tab only.
  window.addEventListener('beforeunload', (event) => {
    keepTyped();
    if (page.programs.unkept().length > 0) event.preventDefault();
  });
  // A link followed in this tab: the address changed, not the page.
  window.addEventListener('hashchange', () => {
    const linked = programFromLink();
    if (linked === undefined) say(`The link was not followed: ${kBrokenLink}`);
    else if (linked !== null && linked !== textOf(page.editor)) showProgram(linked, 'link', { label: 'Linked program' });
  });
}

async function start() {
  wire();
  const names = await exampleNames();
  for (const name of names) $('example-programs').append(new Option(readableName(name), name));
  const demo = await demoExample();
  const first = page.programs.startingProgram(demo);
  page.programs.shown(first.text, first.source, first);
  page.editor = createEditor($('program'), {
    text: first.text,
    breakpoints: first.breakpoints,
    shown: page.programs.identity(),
    onChange: programChanged,
    onBreakpoints: breakpointsChanged,
    onCondition: askCondition,
    onRun: () => $('run').click(),
    onJump: jumped,
  });
  makeVariables($('variables'), { onSet: setVariable, onWatch: watchVariable });
  $('chart-variable').append(...[...'abcdefghijklmnopqrstuvwxyz'].map((name) => new Option(name)));
  showVariables($('variables'), kNoVariables);
  page.dialog = new ProgramsDialog($('manage'), page.programs, dialogActions);
  $('keeping-rules').textContent = keepingRules;
  showSource();
  const from = first.source === 'link' ? 'the program from the link is loaded. ' : first.broken ? `${kBrokenLink} ` : '';
  say(`Ready: ${from}Run (or Ctrl-Enter) runs the program; Help tells the language.`);
  page.programs.keepUnkept();  // what this tab held before a reload, into the storage if it has room now
  setRunning();
  checkProgram();
}

start().catch((error) => say(`The playground could not start: ${error.message}`));
