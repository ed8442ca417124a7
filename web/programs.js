// Which program the editor holds, and where programs come from: the user's own (kept in the
// browser's storage), the examples, links and files. Nothing typed is lost: whatever replaces
// the user's program leaves it one step away ("Back to your program"), also after a reload.
const kOwnKey = 'linebasic.program';   // the program the user typed last
const kOwnBreakpointsKey = 'linebasic.breakpoints';  // its breakpoints' lines, as JSON
// What the editor held, when it was not that: { text, source, label, breakpoints }.
const kShownKey = 'linebasic.shown';
const kLinkPrefix = '#program=';

// A program's name for people: "subroutine_in_loop.bas" is "Subroutine in loop".
export function readableName(file) {
  const name = file.replace(/\.bas$/i, '').replace(/[_-]+/g, ' ').trim();
  return name.charAt(0).toUpperCase() + name.slice(1);
}

// The text as a run reads a file: CR-LF line ends turned into LF.
export const asRunReads = (text) => text.replace(/\r\n/g, '\n');

function load(key) {
  try {
    return localStorage.getItem(key);
  } catch {
    return null;  // storage may be switched off; the page works without it
  }
}

// Breakpoints as stored: lines counted from 1; anything else read is dropped.
function breakpointsIn(value) {
  return Array.isArray(value) ? value.filter((line) => Number.isInteger(line) && line >= 1) : [];
}

function parsed(text) {
  try {
    return JSON.parse(text);
  } catch {
    return null;  // an unreadable entry is none
  }
}

export class Programs {
  constructor(onStorageError) {
    this.onStorageError = onStorageError;
    this.own = load(kOwnKey);   // null until the user types
    this.ownBreakpoints = breakpointsIn(parsed(load(kOwnBreakpointsKey)));
    this.breakpoints = [];      // of the program shown
    this.source = 'own';        // 'own', 'demo', an example's file name, 'link' or 'file'
    this.label = '';            // for a link or a file: what the Examples menu says
    this.unsaved = false;       // typed since the last saveTyped
  }

  // What the editor starts with: a linked program, else what it held, else the user's, else
  // the demo. Returns { text, source, label, breakpoints }.
  startingProgram(demo) {
    const linked = programFromLink();
    if (linked !== null) return { text: linked, source: 'link', label: 'Linked program', breakpoints: [] };
    const shown = parsed(load(kShownKey));
    if (typeof shown?.text === 'string') {
      return { label: '', ...shown, breakpoints: breakpointsIn(shown.breakpoints) };
    }
    if (this.own !== null) return { text: this.own, source: 'own', label: '', breakpoints: this.ownBreakpoints };
    return { text: demo, source: 'demo', label: '', breakpoints: [] };
  }

  // The user typed: the text is now their program. It is kept by saveTyped.
  typed(text) {
    this.own = text;
    this.source = 'own';
    this.unsaved = true;
  }

  // Keeps what was typed: the page calls it when typing pauses and when the page is hidden,
  // since a write of a long program on every keystroke would slow typing down.
  saveTyped() {
    if (!this.unsaved) return;
    this.unsaved = false;
    this.ownBreakpoints = this.breakpoints;
    this.save(kOwnKey, this.own);
    this.save(kOwnBreakpointsKey, JSON.stringify(this.ownBreakpoints));
    this.save(kShownKey, null);
  }

  // The editor now holds `text`, from `source`, with breakpoints on `breakpoints`.
  shown(text, source, label = '', breakpoints = []) {
    this.saveTyped();
    this.source = source;
    this.label = label;
    this.breakpoints = breakpoints;
    this.shownText = text;
    this.saveShown();
  }

  // The breakpoints of the program shown changed; the user's own are kept with its text.
  setBreakpoints(lines) {
    this.breakpoints = lines;
    if (this.source === 'own') this.unsaved = true;
    else this.saveShown();
  }

  saveShown() {
    const { shownText: text, source, label, breakpoints } = this;
    this.save(kShownKey, source === 'own' ? null : JSON.stringify({ text, source, label, breakpoints }));
  }

  // Whether "Back to your program" has something to bring back.
  canRestore(text) {
    return this.own !== null && this.own !== text;
  }

  save(key, value) {
    try {
      if (value === null) localStorage.removeItem(key);
      else localStorage.setItem(key, value);
    } catch (error) {
      this.onStorageError(error);
    }
  }
}

function programFromLink() {
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
