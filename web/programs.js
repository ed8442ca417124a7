// Which program the editor holds, and where programs come from: the user's own, the examples,
// links and files. Nothing typed is lost: every program of the user's is kept in the browser's
// storage until the user deletes it, with earlier versions of its text, and reachable from
// the Programs menu; editing an example starts a new one and leaves the one before it there.
// What the storage cannot keep (it is full, or a program is larger than kMaxProgramChars) is
// held in this tab's session storage, which outlives a reload, and the page says so. Each tab
// remembers there which program it shows, and tells the other tabs, so that none writes over
// what another shows: editing a program that another tab made and shows makes a copy.
import { Store, breakpointsIn, parsed, programIn } from './storage.js';

const kTabKey = 'linebasic.tab';  // this tab's { tabId, ownId, shown, unkept }
const kOldListKey = 'linebasic.programs';  // all programs under one key, as the page kept them before
const kOldKeys = ['linebasic.program', 'linebasic.breakpoints', 'linebasic.shown'];
export const kMaxProgramChars = 1_000_000;  // the longest program kept in storage
export const kVersionsKept = 10;            // earlier versions of each program
const kNameChars = 28;
const kLinkPrefix = '#program=';

// A program's name for people: "subroutine_in_loop.bas" is "Subroutine in loop".
export function readableName(file) {
  const name = file.replace(/\.bas$/i, '').replace(/[_-]+/g, ' ').trim();
  return name.charAt(0).toUpperCase() + name.slice(1);
}

// The first line of `text` that is not blank, cut to kNameChars; '(empty)' for none.
export function firstLine(text) {
  let first = '';
  for (let from = 0; first === '' && from <= text.length;) {
    const end = text.indexOf('\n', from) >>> 0;  // -1 becomes past the end
    first = text.slice(from, Math.min(end, from + 200)).trim();
    from = end + 1;
  }
  return first === '' ? '(empty)' : cut(first);
}

const cut = (name) => (name.length > kNameChars ? `${name.slice(0, kNameChars - 1)}…` : name);

// What a program is called: the name the user gave it, else its first line; cut to kNameChars.
export const titleOf = (entry) => (entry.name === null ? firstLine(entry.text) : cut(entry.name));

// When, for people: the time, and the day too when not today; to the second when asked.
export function when(time, now = new Date(), seconds = false) {
  const at = new Date(time);
  const day = at.toDateString() === now.toDateString() ? ''
    : `${at.toLocaleDateString('en-GB', { day: 'numeric', month: 'short' })} `;
  return day + at.toLocaleTimeString('en-GB', seconds ? { hour: '2-digit', minute: '2-digit', second: '2-digit' }
    : { hour: '2-digit', minute: '2-digit' });
}

// The names of the user's programs in the menu: each one's title and when it was last changed;
// to the second, and then numbered, where two would read the same.
export function programNames(entries, now = new Date()) {
  const named = (seconds) => entries.map((entry) => `${titleOf(entry)}, ${when(entry.time, now, seconds)}`);
  const names = named(false);
  const exactly = named(true);
  const twice = (name, i) => names.indexOf(name) !== i || names.lastIndexOf(name) !== i;
  const exact = names.map((name, i) => (twice(name, i) ? exactly[i] : name));
  return exact.map((name, i) => (exact.indexOf(name) !== i ? `${name} (${i + 1})` : name));
}

// What each program is called where a message names it: its title, or its name in the menu
// (with its time, or a number) where another program has the same title.
// `menu`: their names in the menu, where the caller has them.
export function distinctNames(entries, menu = programNames(entries)) {
  const titles = entries.map(titleOf);
  return new Map(entries.map((entry, i) => [entry, titles.indexOf(titles[i]) !== titles.lastIndexOf(titles[i]) ? menu[i] : titles[i]]));
}

// `name`, or, when a program is named so already, the first of "name (2).bas", "name (3).bas",
// ... that none is.
function unusedName(name, entries) {
  const taken = new Set(entries.map((entry) => entry.name));
  const [, stem, extension] = /^(.*?)((?:\.[^.\s]{1,4})?)$/.exec(name);
  let made = name;
  for (let n = 2; taken.has(made); ++n) made = `${stem} (${n})${extension}`;
  return made;
}

// The text as a run reads a file: CR-LF line ends turned into LF.
export const asRunReads = (text) => text.replace(/\r\n/g, '\n');

// Whether `text` replaced at least half of `before`: what the two share at their start and end
// is less than half of it. Such a change keeps `before` as a version.
function replacesHalf(before, text) {
  const most = Math.min(before.length, text.length);
  let start = 0;
  while (start < most && before[start] === text[start]) ++start;
  let end = 0;
  while (end < most - start && before[before.length - 1 - end] === text[text.length - 1 - end]) ++end;
  return (start + end) * 2 < before.length;
}

// Which of the user's programs the page's other tabs show, as they tell on a channel that the
// tabs of one browser share: each says which one it shows when that changes and when it
// starts (and the others answer), and that it goes when it is left. `shows(id)` is null where
// the browser has no such channel.
class OtherTabs {
  constructor() {
    this.me = newId();         // this page: a duplicated tab has the tab id of another
    this.shown = new Map();    // page -> the id of the program it shows, or null
    this.showing = undefined;  // what this page last said it shows
    try {
      this.channel = new BroadcastChannel('linebasic.tabs');
    } catch {
      this.channel = null;
      return;
    }
    this.channel.onmessage = ({ data }) => {
      if (data?.page === undefined || data.page === this.me) return;
      if (data.kind === 'gone') this.shown.delete(data.page);
      else this.shown.set(data.page, data.shows ?? null);
      if (data.kind === 'hello') this.post('here', this.showing);
    };
    window.addEventListener('pagehide', () => this.post('gone'));
    window.addEventListener('pageshow', (event) => event.persisted && this.post('hello', this.showing));
  }

  post(kind, shows = null) {
    try {
      this.channel?.postMessage({ page: this.me, kind, shows });
    } catch {
      // the channel is closed as the page goes
    }
  }

  // This page shows program `id` (null for none); the first call says hello.
  show(id) {
    if (id === this.showing) return;
    const first = this.showing === undefined;
    this.showing = id;
    this.post(first ? 'hello' : 'shows', id);
  }

  shows(id) {
    return this.channel === null ? null : [...this.shown.values()].includes(id);
  }
}

const newId = () => `${Date.now().toString(36)}-${Math.random().toString(36).slice(2, 8)}`;
const session = () => sessionStorage;

// A program of the user's as this tab holds it: `storedText` is its text as the storage had it
// when this tab last read or wrote it (null before it is kept), `storedTime` that text's time,
// `failure` why its last keeping failed ('large', or the error), else null.
const held = (entry, stored = entry) => ({ versions: [], ...entry, storedText: stored?.text ?? null,
                                            storedTime: stored?.time ?? 0, failure: null });

export class Programs {
  // `onStorage(entry)` hears of each change in whether `entry` is kept (its `failure`), and of
  // each failed attempt; `onOtherTab()` of programs another tab kept.
  constructor(onStorage, onOtherTab) {
    this.onStorage = onStorage;
    this.store = new Store();
    this.tabStore = new Store(session);
    this.entries = this.store.programs().map((entry) => held(entry));  // newest first
    this.tab = parsed(this.tabStore.get(kTabKey));  // as this tab was before a reload
    this.lost = [];          // { name, since } of what neither the storage nor this tab kept when the page was left
    this.tabId = typeof this.tab?.tabId === 'string' ? this.tab.tabId : newId();
    this.held = new Set();   // the ids of programs not kept that this tab's session storage holds
    this.ownId = null;       // the user's program this tab shows, or showed last
    this.source = 'own';     // 'own', 'demo', an example's file name, 'link' or 'file'
    this.label = '';         // for a link or a file: what the menu says
    this.breakpoints = [];   // of the program shown
    this.shownText = '';
    this.unsaved = false;    // typed since the last saveTyped
    this.versionDue = true;  // the first change kept after a program is shown keeps a version
    this.deleted = [];       // { entry, texts } this page deleted, for Undo: the newest last
    this.reports = new Set();  // programs whose keeping onStorage is to hear of
    this.otherTabs = new OtherTabs();
    this.takeOldPrograms();
    this.takeUnkept();
    this.takeLost();
    window.addEventListener('storage', (event) => {
      if (event.key !== null && !event.key.startsWith('linebasic.program')) return;
      this.merge();
      onOtherTab();
    });
  }

  // Programs kept the ways the page kept them before become programs of their own; those that
  // find no room stay under the old key, and are held as not kept until they do.
  takeOldPrograms() {
    const single = this.store.get(kOldKeys[0]);
    const list = parsed(this.store.get(kOldListKey));
    if (single === null && list === null) return;
    const old = single === null ? [] : [{ id: 'first', tab: this.tabId, text: single, time: Date.now(),
                                          breakpoints: breakpointsIn(parsed(this.store.get(kOldKeys[1]))) }];
    if (Array.isArray(list)) old.push(...list.map(programIn).filter((entry) => entry !== null));
    const left = old.filter((entry) => !this.entries.some((other) => other.id === entry.id)).filter((entry) => {
      try {
        this.store.writeProgram(entry);
        this.entries.push(held(entry));
        return false;
      } catch {
        this.entries.push(held(entry, null));
        return true;
      }
    });
    this.sort();
    for (const key of kOldKeys) this.removeKey(key);
    try {
      this.store.set(kOldListKey, left.length === 0 ? null : JSON.stringify(left));
    } catch {
      // as it was: what it holds is taken again the next time
    }
  }

  removeKey(key) {
    try {
      this.store.set(key, null);
    } catch {
      // storage switched off: nothing to remove
    }
  }

  // What this tab held before a reload that the storage did not keep comes back.
  takeUnkept() {
    const unkept = Array.isArray(this.tab?.unkept) ? this.tab.unkept.map(programIn).filter((entry) => entry !== null) : [];
    for (const entry of unkept) {
      const kept = this.entries.find((other) => other.id === entry.id);
      if (kept === undefined) this.entries.push(held(entry, null));
      else Object.assign(kept, { text: entry.text, name: entry.name, breakpoints: entry.breakpoints, time: entry.time });
    }
    this.sort();
  }

  // What the page lost when it was left (the storage had not kept it, nor could this tab hold
  // it): a program that is not in the storage, or is there only as it was `since` then.
  takeLost() {
    const lost = Array.isArray(this.tab?.lost) ? this.tab.lost : [];
    this.lost = lost.filter(({ id, time }) => !(this.entry(id)?.time >= time))
      .map(({ id, name, since }) => ({ name: String(name), since: this.entry(id) === undefined ? null : Number(since) || this.entry(id).time }));
  }

  sort() {
    this.entries.sort((a, b) => b.time - a.time);
  }

  unkept() {
    return this.entries.filter((entry) => entry.text !== entry.storedText);
  }

  // Takes the programs kept now, with this tab's own as this tab has them where they differ
  // from what the storage holds (the one shown, and those not kept).
  merge() {
    const mine = new Map(this.unkept().map((entry) => [entry.id, entry]));
    const shown = this.source === 'own' ? this.ownEntry() : undefined;
    if (shown !== undefined) mine.set(shown.id, shown);
    const stored = this.store.programs().map((entry) => mine.get(entry.id) ?? held(entry));
    this.entries = [...stored, ...[...mine.values()].filter((entry) => !stored.includes(entry))];
    this.sort();
  }

  ownEntry() {
    return this.entries.find((entry) => entry.id === this.ownId);
  }

  entry(id) {
    return this.entries.find((entry) => entry.id === id);
  }

  // What the editor starts with: a linked program, else what this tab showed before a reload,
  // else the user's newest program, else the demo. Returns { text, source, label, breakpoints,
  // id, broken }: `broken` is true for a link whose program cannot be read.
  startingProgram(demo) {
    const tab = this.tab;
    this.ownId = typeof tab?.ownId === 'string' ? tab.ownId : null;
    const linked = programFromLink();
    if (linked !== null && linked !== undefined) return { text: linked, source: 'link', label: 'Linked program', breakpoints: [] };
    const broken = linked === undefined;
    if (typeof tab?.shown?.text === 'string') {
      const { text, source, label } = tab.shown;
      return { text, source: String(source), label: String(label ?? ''), breakpoints: breakpointsIn(tab.shown.breakpoints), broken };
    }
    const own = this.ownEntry() ?? this.entries[0];
    if (own !== undefined) return { ...own, source: 'own', label: '', broken };
    return { text: demo, source: 'demo', label: '', breakpoints: [], broken };
  }

  // Whether program `entry` is another tab's: it was made there (or before the browser was
  // closed), and a tab shows it (where the browser cannot tell, whether it was made elsewhere).
  othersShow(entry) {
    return entry.tab !== this.tabId && (this.otherTabs.shows(entry.id) ?? true);
  }

  // The user typed `text`. Typed into a program that is not theirs, or that another tab made
  // and shows, it becomes a new program of theirs, and the one it was made from stays as it was
  // (a program made elsewhere that no other tab shows becomes this tab's). Returns
  // what happened: '' (the program shown changed), 'new' (a new program), 'earlier' (a new one,
  // and the user's earlier program stays), 'copy' (a copy; the program as it was stays) or
  // 'back' (Undo or Redo took back a switch to another program, or did it again: the editor
  // says it shows program `named`, as identity() named it).
  typed(text, named) {
    if (named && !this.shows(named)) {
      this.takeShown(named);
      return 'back';
    }
    this.unsaved = true;
    const shown = this.source === 'own' ? this.ownEntry() : undefined;
    if (shown !== undefined && !this.othersShow(shown)) {
      Object.assign(shown, { tab: this.tabId, text, time: Date.now() });
      return '';
    }
    const replaced = this.source !== 'own';
    const given = this.source === 'file' ? this.label : shown?.name ?? null;
    const name = given === null ? null : unusedName(given, this.entries);
    this.source = 'own';
    this.add({ text, name, breakpoints: this.breakpoints });
    if (shown !== undefined) return 'copy';
    return replaced && this.entries.length > 1 ? 'earlier' : 'new';
  }

  // A new program of the user's, kept, and shown from now on.
  add({ text = '', name = null, breakpoints = [] } = {}) {
    this.ownId = newId();
    this.versionDue = false;  // a new program has no earlier text
    const entry = held({ id: this.ownId, tab: this.tabId, name, text, breakpoints, time: Date.now() }, null);
    this.entries.unshift(entry);
    this.keep(entry);
    this.saveTab();
    return entry;
  }

  // Keeps what was typed: the page calls it when typing pauses and when the page is hidden,
  // since a write of a long program on every keystroke would slow typing down. Returns true
  // when another tab had changed the same program meanwhile: this tab's text is then kept as
  // a program of its own, beside the other.
  saveTyped() {
    const mine = this.ownEntry();
    if (!this.unsaved || mine === undefined) return false;
    this.unsaved = false;
    const stored = this.store.program(mine.id);
    const forked = stored !== null && mine.storedText !== null && stored.text !== mine.storedText;
    if (forked) Object.assign(mine, { id: this.ownId = newId(), versions: [], storedText: null, storedTime: 0 });
    mine.breakpoints = this.breakpoints;
    if (this.keep(mine, this.versionDue)) this.versionDue = false;
    this.saveTab();
    return forked;
  }

  // Keeps `entry` in storage, and first its text as last kept as a version, when `version` is
  // asked or the new text replaces half of it. Returns whether it is kept. A version that
  // cannot be kept leaves the text before it in storage, whole. The next saveTab tells
  // onStorage of a failure, and of a program kept after one.
  keep(entry, version = false) {
    const before = entry.failure;
    entry.failure = this.write(entry, version);
    if (entry.failure !== null || before !== null) this.reports.add(entry);
    return entry.failure === null;
  }

  write(entry, version) {
    if (entry.text.length > kMaxProgramChars) return 'large';
    const { storedText: old, storedTime: time, id } = entry;
    const newest = entry.versions[0];
    const keepOld = old !== null && old !== '' && old !== entry.text && (version || replacesHalf(old, entry.text)) &&
      !(newest?.time === time) && (newest === undefined || this.store.versionText(id, newest.time) !== old);
    try {
      if (keepOld) this.store.writeVersion(id, time, old);
    } catch (error) {
      return error;
    }
    try {
      this.store.writeProgram(entry);
    } catch (error) {
      if (keepOld) this.tryRemoveVersion(id, time);
      return error;
    }
    if (keepOld) {
      entry.versions.unshift({ time, size: old.length });
      for (const gone of entry.versions.splice(kVersionsKept)) this.tryRemoveVersion(id, gone.time);
    }
    Object.assign(entry, { storedText: entry.text, storedTime: entry.time });
    return null;
  }

  tryRemoveVersion(id, time) {
    try {
      this.store.removeVersion(id, time);
    } catch {
      // storage switched off meanwhile: nothing more to free
    }
  }

  // Tries again to keep what was not kept (after space was freed, or at the start).
  keepUnkept() {
    for (const entry of this.unkept()) this.keep(entry, entry.id === this.ownId && this.versionDue);
    this.saveTab();
  }

  rename(entry, name) {
    entry.name = name.trim() === '' ? null : name.trim();
    this.keep(entry, entry.id === this.ownId && this.versionDue);
    this.saveTab();
  }

  // Deletes a program and its versions from storage; undelete brings them back.
  remove(entry) {
    const texts = entry.versions.map(({ time }) => this.store.versionText(entry.id, time));
    try {
      this.store.removeProgram(entry.id, entry.versions);
    } catch {
      // storage switched off: the program was not kept there
    }
    this.entries = this.entries.filter((other) => other !== entry);
    this.deleted.push({ entry, texts });
    this.saveTab();
  }

  // Brings back the deleted program `id` with its versions, if this page deleted it.
  undelete(id) {
    const at = this.deleted.findIndex(({ entry }) => entry.id === id);
    if (at < 0) return undefined;
    const [{ entry, texts }] = this.deleted.splice(at, 1);
    entry.versions = entry.versions.filter(({ time }, i) => {
      try {
        this.store.writeVersion(entry.id, time, texts[i]);
        return true;
      } catch {
        return false;  // a version that finds no room stays deleted
      }
    });
    entry.storedText = null;
    this.entries.push(entry);
    this.sort();
    this.keep(entry);
    this.saveTab();
    return entry;
  }

  versionText(entry, time) {
    return this.store.versionText(entry.id, time);
  }

  removeVersions(entry, times) {
    for (const time of times) this.tryRemoveVersion(entry.id, time);
    entry.versions = entry.versions.filter((version) => !times.includes(version.time));
  }

  // How much storage the page uses ({ mine, all }), in the units of kStorageChars.
  used() {
    return this.store.used();
  }

  // The editor now holds `text`, from `source`, with breakpoints on `breakpoints`; for one of
  // the user's programs, `id` names it.
  shown(text, source, { label = '', breakpoints = [], id = null } = {}) {
    this.saveTyped();
    Object.assign(this, { source, label, breakpoints, shownText: text, versionDue: true });
    if (source === 'own') this.ownId = id;
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

  // Shows the program that Undo or Redo brought back, as it is kept (a program this page
  // deleted is kept again); the one left is kept first.
  takeShown({ source, label, ownId, text }) {
    this.saveTyped();
    Object.assign(this, { source, label, ownId, shownText: text ?? '', versionDue: true });
    if (source === 'own' && this.ownEntry() === undefined) this.undelete(ownId);
    this.saveTab();
  }

  // The breakpoints of the program shown changed; the user's own are kept with its text.
  setBreakpoints(lines) {
    this.breakpoints = lines;
    if (this.source === 'own') this.unsaved = true;
    else this.saveTab();
  }

  // Writes this tab's record: which program it shows, and as much of what the storage did not
  // keep as fits, the program shown first.
  saveTab() {
    const { shownText: text, source, label, breakpoints } = this;
    this.otherTabs.show(source === 'own' ? this.ownId : null);
    const shown = source === 'own' ? null : { text, source, label, breakpoints };
    const entries = this.unkept().sort((a, b) => (b.id === this.ownId) - (a.id === this.ownId));
    const unkept = entries.map(({ id, tab, name, text, breakpoints, time }) => ({ id, tab, name, text, breakpoints, time }));
    const names = distinctNames(this.entries);
    // What does not fit is named, so that a reload can say what was lost.
    const lost = entries.map((entry) => ({ id: entry.id, name: names.get(entry), time: entry.time,
                                           since: entry.storedText === null ? null : entry.storedTime }));
    this.held.clear();
    for (let count = unkept.length; count >= 0; --count) {
      try {
        this.tabStore.set(kTabKey, JSON.stringify({ tabId: this.tabId, ownId: this.ownId, shown, unkept: unkept.slice(0, count),
                                                    lost: lost.slice(count) }));
        for (const entry of unkept.slice(0, count)) this.held.add(entry.id);
        break;
      } catch {
        // one program fewer, until at least which program the tab shows fits
      }
    }
    const reports = [...this.reports];
    this.reports.clear();
    for (const entry of reports) this.onStorage(entry);
  }

  // Whether "Back to your program" has something to bring back.
  canRestore() {
    return this.source !== 'own' && this.restorable() !== undefined;
  }

  // What "Back to your program" brings back: the one this tab showed last, else the newest.
  restorable() {
    return this.ownEntry() ?? this.entries[0];
  }
}

// The program in the page's address; null when it has none, undefined when the address holds
// one that cannot be read (cut short, or not UTF-8).
export function programFromLink() {
  if (!location.hash.startsWith(kLinkPrefix)) return null;
  try {
    return decodeURIComponent(location.hash.slice(kLinkPrefix.length));
  } catch {
    return undefined;
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
