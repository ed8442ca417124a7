// The dialog behind the Programs menu's Manage button: the user's programs with their size and
// earlier versions, how much of the browser's storage they take, and Show, Rename, Download,
// Delete (with Undo) and Bring back of a version. It changes nothing itself: each button asks
// the page through `actions`, which keeps the editor's text and the storage in step.
import { distinctNames, firstLine, kMaxProgramChars, kVersionsKept, titleOf, when } from './programs.js';
import { kStorageChars } from './storage.js';

const count = (n, what) => `${n.toLocaleString('en')} ${what}${n === 1 ? '' : 's'}`;
const lineCount = (text) => (text === '' ? 0 : text.split('\n').length - (text.endsWith('\n') ? 1 : 0));

// How long ago `time` was, for people: "just now", "5 minutes ago", "3 days ago".
export function age(time, now = Date.now()) {
  const minutes = Math.floor((now - time) / 60_000);
  if (minutes < 1) return 'just now';
  if (minutes < 60) return `${count(minutes, 'minute')} ago`;
  if (minutes < 48 * 60) return `${count(Math.floor(minutes / 60), 'hour')} ago`;
  return `${count(Math.floor(minutes / 1440), 'day')} ago`;
}

function element(tag, properties = {}, ...children) {
  const made = Object.assign(document.createElement(tag), properties);
  made.append(...children);
  return made;
}

export class ProgramsDialog {
  // `actions`: show(entry), rename(entry, name), download(entry), remove(entry), undelete(id),
  // bringBack(entry, time), removeVersions(entry, times).
  constructor(dialog, programs, actions) {
    Object.assign(this, { dialog, programs, actions, renaming: null, open: new Set() });
    this.list = dialog.querySelector('#program-list');
    dialog.addEventListener('close', () => {
      this.renaming = null;
    });
  }

  show() {
    if (!this.dialog.open) this.dialog.showModal();
    this.render();
  }

  // Draws the open dialog anew, keeping the focus on the button it was on (or the next best).
  render() {
    if (!this.dialog.open) return;
    const focused = document.activeElement?.dataset?.key;
    const typing = this.dialog.querySelector('#rename-input');  // what is typed there stays
    const { entries, deleted } = this.programs;
    this.dialog.querySelector('#storage-use').textContent = this.usage();
    const names = distinctNames(entries);
    this.list.replaceChildren(...entries.map((entry) => this.row(entry, names.get(entry))));
    if (entries.length === 0) this.list.append(element('li', { className: 'none' }, 'You have no programs kept.'));
    const gone = this.dialog.querySelector('#deleted-programs');
    gone.hidden = deleted.length === 0;
    gone.querySelector('ul').replaceChildren(...deleted.slice().reverse().map(({ entry }) => element('li', {},
      `${titleOf(entry)} `, this.button('Undo delete', `${entry.id}:undelete`, () => this.actions.undelete(entry.id)))));
    const input = this.dialog.querySelector('#rename-input');
    if (typing !== null && input !== null) {
      input.value = typing.value;
      input.setSelectionRange(typing.selectionStart, typing.selectionEnd);
    }
    const again = focused && this.dialog.querySelector(`[data-key="${CSS.escape(focused)}"]`);
    if (again) again.focus();
    else if (focused) (this.dialog.querySelector('#deleted-programs:not([hidden]) button') ?? this.dialog.querySelector('#manage-title')).focus();
  }

  usage() {
    const { entries } = this.programs;
    const versions = entries.reduce((sum, entry) => sum + entry.versions.length, 0);
    const { mine, all } = this.programs.used();
    const percent = (part) => Math.round((part / kStorageChars) * 100);
    const share = (part) => (part > 0 && percent(part) === 0 ? 'less than 1%' : `${percent(part)}%`);
    const others = percent(all - mine) > 0
      ? ` Other data of this site take ${Math.min(percent(all - mine), 100 - percent(mine))}%, which the page cannot free.` : '';
    const keeps = `the about ${kStorageChars.toLocaleString('en')} characters this browser keeps for the page`;
    if (entries.length === 0) return `You have no programs kept in this browser's storage.${others}`;
    const earlier = versions === 0 ? 'no earlier versions' : count(versions, 'earlier version');
    return `Your ${count(entries.length, 'program')} and ${earlier} take ` +
      `${count(mine, 'character')}, ${share(mine)} of ${keeps}.${others} Deleting programs or earlier versions frees what they take.`;
  }

  button(label, key, run, extra = {}) {
    const made = element('button', { type: 'button', ...extra }, label);
    made.dataset.key = key;
    made.addEventListener('click', run);
    return made;
  }

  // `name`: what the row calls the program, its title unless another program has the same.
  row(entry, name) {
    const { id, text, versions } = entry;
    const shown = this.programs.source === 'own' && this.programs.ownId === id;
    const title = element('strong', { id: `title-${id}` }, name);
    const kept = entry.failure === null && entry.text === entry.storedText ? ''
      : this.programs.held.has(id) ? ' Not kept in storage; this tab holds it.'
      : ' Not kept in storage, nor can this tab hold it: leaving the page loses it.';
    const facts = element('p', { className: 'facts' }, `${count(lineCount(text), 'line')}, ${count(text.length, 'character')}; ` +
      `changed ${when(entry.time)}; ${count(versions.length, 'earlier version')}.${kept}`);
    const opened = this.open.has(id);
    const buttons = element('div', { className: 'row-buttons' },
      this.button(shown ? 'Shown' : 'Show', `${id}:show`, () => this.actions.show(entry), { disabled: shown }),
      this.button('Rename', `${id}:rename`, () => this.startRename(id)),
      this.button('Download', `${id}:download`, () => this.actions.download(entry)),
      this.button('Delete', `${id}:delete`, () => this.actions.remove(entry)),
      this.button(`Versions (${versions.length})`, `${id}:versions`, () => this.toggle(id),
                  { disabled: versions.length === 0 }));
    buttons.lastChild.setAttribute('aria-expanded', String(opened && versions.length > 0));
    for (const made of buttons.children) made.setAttribute('aria-describedby', title.id);
    const item = element('li', {}, title, shown ? ' (in the editor)' : '', facts, buttons);
    if (this.renaming === id) item.append(this.renameForm(entry));
    if (opened && versions.length > 0) item.append(this.versionList(entry));
    return item;
  }

  startRename(id) {
    this.renaming = id;
    this.render();
    const input = this.dialog.querySelector('#rename-input');
    input.focus();
    input.select();
  }

  renameForm(entry) {
    const input = element('input', { id: 'rename-input', defaultValue: entry.name ?? firstLine(entry.text), maxLength: 200 });
    input.dataset.key = 'rename-input';
    const done = () => {
      this.renaming = null;
      this.render();
      this.dialog.querySelector(`[data-key="${CSS.escape(`${entry.id}:rename`)}"]`)?.focus();
    };
    input.addEventListener('keydown', (event) => {
      if (event.key !== 'Escape') return;
      event.preventDefault();  // cancels the renaming, not the dialog
      done();
    });
    const form = element('form', { className: 'rename' }, element('label', { htmlFor: 'rename-input' }, 'New name '), input,
                         element('button', { type: 'submit' }, 'Rename'), this.button('Cancel', 'rename-cancel', done));
    form.addEventListener('submit', (event) => {
      event.preventDefault();
      if (input.value !== input.defaultValue) this.actions.rename(entry, input.value);  // a first line stays followed
      done();
    });
    return form;
  }

  toggle(id) {
    if (!this.open.delete(id)) this.open.add(id);
    this.render();
  }

  versionList(entry) {
    const now = Date.now();
    const items = entry.versions.map(({ time, size }) => element('li', {},
      `${when(time)} (${age(time, now)}), ${count(size, 'character')}: ${firstLine(this.programs.versionText(entry, time) ?? '')} `,
      this.button('Bring back', `${entry.id}:${time}:back`, () => this.actions.bringBack(entry, time)),
      this.button('Delete', `${entry.id}:${time}:delete`, () => this.actions.removeVersions(entry, [time]))));
    const all = this.button('Delete all earlier versions', `${entry.id}:versions-delete`,
                            () => this.actions.removeVersions(entry, entry.versions.map(({ time }) => time)));
    const list = element('ul', {}, ...items);
    list.setAttribute('aria-label', `Earlier versions of ${titleOf(entry)}`);
    return element('div', { className: 'versions' }, list, all);
  }
}

// What the dialog says about what the page keeps.
export const keepingRules = `The page keeps each program until you delete it, if it is at most ` +
  `${kMaxProgramChars.toLocaleString('en')} characters long, and up to ${kVersionsKept} earlier versions ` +
  'of it: its text as it was when you began to edit it (after showing it or a reload), and before any ' +
  'change that replaced half of it or more. The oldest version goes when an eleventh is kept.';
