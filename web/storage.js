// The user's programs in the browser's local storage. Each program has a key of its own that
// holds its text with its name, breakpoints and time, so that one write keeps a program whole
// or, when the storage is full, leaves it as it was; each earlier version of a program has a
// key of its own too, written once. Writes throw what the storage threw.
const kProgramPrefix = 'linebasic.program.';  // + id: { id, tab, name, text, breakpoints, time }
const kVersionPrefix = 'linebasic.version.';  // + id + '.' + time: the text as it was then
// What Chromium and Firefox give a page, counted in UTF-16 units of keys and values.
export const kStorageChars = 5_242_880;

// Breakpoints as stored: lines counted from 1; anything else read is dropped.
export function breakpointsIn(value) {
  return Array.isArray(value) ? value.filter((line) => Number.isInteger(line) && line >= 1) : [];
}

export function parsed(text) {
  try {
    return JSON.parse(text);
  } catch {
    return null;  // an unreadable entry is none
  }
}

// A program as read, with its fields checked; null when it is no program.
export function programIn(value) {
  if (typeof value?.text !== 'string' || typeof value.id !== 'string') return null;
  const { id, tab, name, text, breakpoints, time } = value;
  return { id, tab: String(tab), name: typeof name === 'string' && name !== '' ? name : null, text,
           time: Number(time) || 0, breakpoints: breakpointsIn(breakpoints) };
}

const versionKey = (id, time) => `${kVersionPrefix}${id}.${time}`;

export class Store {
  constructor(storage = () => localStorage) {
    this.storage = storage;
  }

  keys() {
    try {
      const storage = this.storage();
      return Array.from({ length: storage.length }, (_, i) => storage.key(i));
    } catch {
      return [];  // storage may be switched off; the page works without it
    }
  }

  get(key) {
    try {
      return this.storage().getItem(key);
    } catch {
      return null;
    }
  }

  set(key, value) {
    if (value === null) this.storage().removeItem(key);
    else this.storage().setItem(key, value);
  }

  // Every program kept, newest first, each with its versions ({ time, size }, newest first).
  programs() {
    const versions = new Map();
    for (const key of this.keys()) {
      if (!key.startsWith(kVersionPrefix)) continue;
      const dot = key.lastIndexOf('.');
      const id = key.slice(kVersionPrefix.length, dot);
      const list = versions.get(id) ?? [];
      list.push({ time: Number(key.slice(dot + 1)), size: this.get(key)?.length ?? 0 });
      versions.set(id, list);
    }
    return this.keys().filter((key) => key.startsWith(kProgramPrefix))
      .map((key) => programIn(parsed(this.get(key))))
      .filter((entry) => entry !== null)
      .map((entry) => ({ ...entry, versions: (versions.get(entry.id) ?? []).sort((a, b) => b.time - a.time) }))
      .sort((a, b) => b.time - a.time);
  }

  program(id) {
    return programIn(parsed(this.get(kProgramPrefix + id)));
  }

  writeProgram({ id, tab, name, text, breakpoints, time }) {
    this.set(kProgramPrefix + id, JSON.stringify({ id, tab, name, text, breakpoints, time }));
  }

  // Removes a program and its versions.
  removeProgram(id, versions) {
    this.set(kProgramPrefix + id, null);
    for (const { time } of versions) this.set(versionKey(id, time), null);
  }

  writeVersion(id, time, text) {
    this.set(versionKey(id, time), text);
  }

  versionText(id, time) {
    return this.get(versionKey(id, time));
  }

  removeVersion(id, time) {
    this.set(versionKey(id, time), null);
  }

  // How much of the storage the page's keys take (`mine`) and all keys, in the units of
  // kStorageChars.
  used() {
    let [mine, all] = [0, 0];
    for (const key of this.keys()) {
      const size = key.length + (this.get(key)?.length ?? 0);
      all += size;
      if (key.startsWith('linebasic.')) mine += size;
    }
    return { mine, all };
  }
}
