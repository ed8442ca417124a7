// Which program the editor holds, and where programs come from: the user's own, the examples,
// links and files. Nothing typed is lost: the user's last kKeptPrograms programs are kept in the
// browser's storage, newest first, each reachable from the Programs menu; editing an example
// starts a new one and leaves the one before it there. Each tab remembers (in its session
// storage, which outlives a reload) which program it shows, and changes only the programs it
// made: editing one made by another tab, or before the browser was closed, makes a copy.
const kProgramsKey = 'linebasic.programs';  // [{ id, tab, text, breakpoints, time }], newest first
const kTabKey = 'linebasic.tab';            // this tab's { tabId, ownId, shown }
export const kKeptPrograms = 20;
const kNameChars = 28;
const kOldKeys = ['linebasic.program', 'linebasic.breakpoints', 'linebasic.shown'];
const kLinkPrefix = '#program=';

// A program's name for people: "subroutine_in_loop.bas" is "Subroutine in loop".
export function readableName(file) {
  const name = file.replace(/\.bas$/i, '').replace(/[_-]+/g, ' ').trim();
  return name.charAt(0).toUpperCase() + name.slice(1);
}

// The names of the user's programs: each one's first line that is not blank, and when it was
// last changed (the day too, when not today); to the second, and then numbered, where two
// would read the same.
export function programNames(entries, now = new Date()) {
  const names = entries.map((entry) => programName(entry, now, false));
  const twice = (name, i) => names.indexOf(name) !== i || names.lastIndexOf(name) !== i;
  const exact = entries.map((entry, i) => (twice(names[i], i) ? programName(entry, now, true) : names[i]));
  return exact.map((name, i) => (exact.indexOf(name) !== i ? `${name} (${i + 1})` : name));
}

function programName({ text, time }, now, seconds) {
  let first = '';
  for (let from = 0; first === '' && from <= text.length;) {
    const end = text.indexOf('\n', from) >>> 0;  // -1 becomes past the end
    first = text.slice(from, Math.min(end, from + 200)).trim();
    from = end + 1;
  }
  if (first === '') first = '(empty)';
  else if (first.length > kNameChars) first = `${first.slice(0, kNameChars - 1)}…`;
  const when = new Date(time);
  const day = when.toDateString() === now.toDateString() ? ''
    : `${when.toLocaleDateString('en-GB', { day: 'numeric', month: 'short' })} `;
  const clock = when.toLocaleTimeString('en-GB', seconds ? { hour: '2-digit', minute: '2-digit', second: '2-digit' }
    : { hour: '2-digit', minute: '2-digit' });
  return `${first}, ${day}${clock}`;
}

// The text as a run reads a file: CR-LF line ends turned into LF.
export const asRunReads = (text) => text.replace(/\r\n/g, '\n');

function load(storage, key) {
  try {
    return storage().getItem(key);
  } catch {
    return null;  // storage may be switched off; the page works without it
  }
}

function parsed(text) {
  try {
    return JSON.parse(text);
  } catch {
    return null;  // an unreadable entry is none
  }
}

// Breakpoints as stored: lines counted from 1; anything else read is dropped.
function breakpointsIn(value) {
  return Array.isArray(value) ? value.filter((line) => Number.isInteger(line) && line >= 1) : [];
}

const entriesIn = (value) => (Array.isArray(value) ? value : [])
  .filter((entry) => typeof entry?.text === 'string' && typeof entry.id === 'string')
  .map(({ id, tab, text, breakpoints, time }) => ({ id, tab: String(tab), text, time: Number(time) || 0,
                                                    breakpoints: breakpointsIn(breakpoints) }));

const newId = () => `${Date.now().toString(36)}-${Math.random().toString(36).slice(2, 8)}`;
const local = () => localStorage;
const session = () => sessionStorage;

export function storageErrorMessage(error) {
  return error?.name === 'QuotaExceededError'
    ? "The program is too large to keep in this browser's storage; download it to keep it."
    : `This browser does not let the page keep the program (${error?.message}); download it to keep it.`;
}

export class Programs {
  // `onStorageError(error)` hears of a failed write; `onOtherTab()` of programs another tab kept.
  constructor(onStorageError, onOtherTab) {
    this.onStorageError = onStorageError;
    this.entries = this.read() ?? [];  // the user's programs, newest first
    this.tab = parsed(load(session, kTabKey));  // as this tab was before a reload
    this.tabId = typeof this.tab?.tabId === 'string' ? this.tab.tabId : newId();
    this.ownId = null;       // the user's program this tab shows, or showed last
    this.savedText = null;   // its text as this tab last read or kept it
    this.source = 'own';     // 'own', 'demo', an example's file name, 'link' or 'file'
    this.label = '';         // for a link or a file: what the menu says
    this.breakpoints = [];   // of the program shown
    this.shownText = '';
    this.unsaved = false;    // typed since the last saveTyped
    this.dropped = null;     // the name of the program the last new one took the place of
    this.takeOldProgram();
    window.addEventListener('storage', (event) => {
      if (event.key !== kProgramsKey) return;
      this.merge(this.read() ?? []);
      onOtherTab();
    });
  }

  // The program kept by the page before it kept several becomes the first of them.
  takeOldProgram() {
    const text = load(local, kOldKeys[0]);
    if (text === null) return;
    if (!this.entries.some((entry) => entry.text === text)) {
      const breakpoints = breakpointsIn(parsed(load(local, kOldKeys[1])));
      this.entries.unshift({ id: newId(), tab: this.tabId, text, breakpoints, time: Date.now() });
      if (!this.write(kProgramsKey, JSON.stringify(this.entries))) return;
    }
    for (const key of kOldKeys) this.write(key, null);
  }

  read() {
    const stored = load(local, kProgramsKey);
    return stored === null ? null : entriesIn(parsed(stored));
  }

  // Takes `stored` as the programs, with this tab's own as this tab has it when it is not kept yet.
  merge(stored) {
    const mine = this.ownEntry();
    if (this.unsaved && mine !== undefined) stored = [mine, ...stored.filter((entry) => entry.id !== mine.id)];
    this.entries = stored;
  }

  ownEntry() {
    return this.entries.find((entry) => entry.id === this.ownId);
  }

  // What the editor starts with: a linked program, else what this tab showed before a reload,
  // else the user's newest program, else the demo. Returns { text, source, label, breakpoints, id }.
  startingProgram(demo) {
    const tab = this.tab;
    this.ownId = typeof tab?.ownId === 'string' ? tab.ownId : null;
    const linked = programFromLink();
    if (linked !== null) return { text: linked, source: 'link', label: 'Linked program', breakpoints: [] };
    if (typeof tab?.shown?.text === 'string') {
      const { text, source, label } = tab.shown;
      return { text, source: String(source), label: String(label ?? ''), breakpoints: breakpointsIn(tab.shown.breakpoints) };
    }
    const own = this.ownEntry() ?? this.entries[0];
    if (own !== undefined) return { ...own, source: 'own', label: '' };
    return { text: demo, source: 'demo', label: '', breakpoints: [] };
  }

  // The user typed `text`. Typed into a program that is not theirs, or that another tab made,
  // it becomes a new program of theirs, and the one it was made from stays as it was. Returns
  // what happened: '' (the program shown changed), 'new' (a new program), 'earlier' (a new one,
  // and the user's earlier program is kept), 'copy' (a copy; the program as it was is kept) or
  // 'back' (Undo or Redo took back a switch to another program, or did it again: the editor
  // says it shows program `named`, as identity() named it).
  // A new program takes the place of the oldest when kKeptPrograms are kept: `dropped` then
  // names that one.
  typed(text, named) {
    if (named && !this.shows(named)) {
      this.takeShown(named);
      return 'back';
    }
    this.unsaved = true;
    const shown = this.source === 'own' ? this.ownEntry() : undefined;
    if (shown?.tab === this.tabId) {
      Object.assign(shown, { text, time: Date.now() });
      return '';
    }
    const replaced = this.source !== 'own';
    this.source = 'own';
    this.ownId = newId();
    this.savedText = null;
    const entry = { id: this.ownId, tab: this.tabId, text, breakpoints: this.breakpoints, time: Date.now() };
    const oldest = this.entries.length >= kKeptPrograms ? this.entries[kKeptPrograms - 1] : undefined;
    this.dropped = oldest === undefined ? null : programNames([oldest])[0];
    this.entries = [entry, ...this.entries].slice(0, kKeptPrograms);
    if (shown !== undefined) return 'copy';
    return replaced && this.entries.length > 1 ? 'earlier' : 'new';
  }

  // Keeps what was typed: the page calls it when typing pauses and when the page is hidden,
  // since a write of a long program on every keystroke would slow typing down. Returns true
  // when another tab had changed the same program meanwhile: this tab's text is then kept as
  // a program of its own, beside the other.
  saveTyped() {
    const mine = this.ownEntry();
    if (!this.unsaved || mine === undefined) return false;
    this.unsaved = false;
    const stored = this.read() ?? this.entries.filter((entry) => entry !== mine);
    const other = stored.find((entry) => entry.id === mine.id);
    const forked = other !== undefined && this.savedText !== null && other.text !== this.savedText;
    if (forked) mine.id = this.ownId = newId();
    mine.breakpoints = this.breakpoints;
    this.entries = [mine, ...stored.filter((entry) => entry.id !== mine.id)].slice(0, kKeptPrograms);
    if (this.write(kProgramsKey, JSON.stringify(this.entries))) this.savedText = mine.text;
    this.saveTab();
    return forked;
  }

  // The editor now holds `text`, from `source`, with breakpoints on `breakpoints`; for one of
  // the user's programs, `id` names it.
  shown(text, source, { label = '', breakpoints = [], id = null } = {}) {
    this.saveTyped();
    Object.assign(this, { source, label, breakpoints, shownText: text });
    if (source === 'own') {
      this.ownId = id;
      this.savedText = this.ownEntry()?.text ?? null;
    }
    this.saveTab();
  }

  // The program shown, as the editor keeps its name with the text.
  identity() {
    const { source, label, ownId, shownText } = this;
    return { source, label, ownId, text: source === 'own' ? null : shownText };
  }

  shows({ source, label, ownId, text }) {
    return source === this.source &&
      (source === 'own' ? ownId === this.ownId : label === this.label && text === this.shownText);
  }

  // Shows the program that Undo or Redo brought back, as it is kept; the one left is kept first.
  takeShown({ source, label, ownId, text }) {
    this.saveTyped();
    Object.assign(this, { source, label, ownId, shownText: text ?? '' });
    this.savedText = this.ownEntry()?.text ?? null;
    this.saveTab();
  }

  // The breakpoints of the program shown changed; the user's own are kept with its text.
  setBreakpoints(lines) {
    this.breakpoints = lines;
    if (this.source === 'own') this.unsaved = true;
    else this.saveTab();
  }

  saveTab() {
    const { shownText: text, source, label, breakpoints } = this;
    const shown = source === 'own' ? null : { text, source, label, breakpoints };
    this.write(kTabKey, JSON.stringify({ tabId: this.tabId, ownId: this.ownId, shown }), session);
  }

  // Whether "Back to your program" has something to bring back.
  canRestore() {
    return this.source !== 'own' && this.restorable() !== undefined;
  }

  // What "Back to your program" brings back: the one this tab showed last, else the newest.
  restorable() {
    return this.ownEntry() ?? this.entries[0];
  }

  write(key, value, storage = local) {
    try {
      if (value === null) storage().removeItem(key);
      else storage().setItem(key, value);
      return true;
    } catch (error) {
      this.onStorageError(error);
      return false;
    }
  }
}

// The program in the page's address, or null.
export function programFromLink() {
  if (!location.hash.startsWith(kLinkPrefix)) return null;
  try {
    return decodeURIComponent(location.hash.slice(kLinkPrefix.length));
  } catch {
    return null;
  }
}

// Puts `text` in the page's address; returns that address, or null when it cannot be put there.
export function linkTo(text) {
  try {
    const url = location.origin + location.pathname + kLinkPrefix + encodeURIComponent(text);
    history.replaceState(null, '', url);
    return url;
  } catch {
    return null;  // a lone half of a surrogate pair has no encoding
  }
}

// The address without a program: once the text is edited, a link in it is old.
export function forgetLink() {
  if (location.hash !== '') history.replaceState(null, '', location.pathname);
}

export async function exampleNames() {
  try {
    return await (await fetch('examples/index.json')).json();
  } catch {
    return [];  // the demo stays; further examples are optional
  }
}

export async function exampleText(name) {
  const response = await fetch(`examples/${encodeURIComponent(name)}`);
  if (!response.ok) throw new Error(`${name}: ${response.status} ${response.statusText}`);
  return asRunReads(await response.text());
}

// Offers `text` as a file named `name` to download.
export function download(text, name) {
  const url = URL.createObjectURL(new Blob([asRunReads(text)], { type: 'text/plain' }));
  const link = Object.assign(document.createElement('a'), { href: url, download: name });
  link.click();
  setTimeout(() => URL.revokeObjectURL(url), 0);
}
