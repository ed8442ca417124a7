// Edits the page makes to the program when asked: a warning's fix, Fix all and Renumber. Each is
// one change that Undo takes back whole, and that typing right after it does not join.
import { ChangeSet, StateEffect, StateField } from '@codemirror/state';
import { isolateHistory } from '@codemirror/commands';

// Where each of `offsets` (bytes into `text` as UTF-8, in any order) falls in `text` as the
// editor counts, in UTF-16 code units: a map from offset to index. An offset inside a
// character's bytes falls after it.
export function indexesOf(text, offsets) {
  const indexes = new Map();
  let bytes = 0;
  let at = 0;
  for (const offset of [...new Set(offsets)].sort((a, b) => a - b)) {
    while (bytes < offset && at < text.length) {
      const code = text.charCodeAt(at);
      const pair = code >= 0xd800 && code < 0xdc00 && (text.charCodeAt(at + 1) & 0xfc00) === 0xdc00;
      bytes += code < 0x80 ? 1 : code < 0x800 ? 2 : pair ? 4 : 3;  // a lone surrogate encodes as U+FFFD
      at += pair ? 2 : 1;
    }
    indexes.set(offset, at);
  }
  return indexes;
}

// ---- A warning's fix: { from, to, insert, doc }, positions in `doc`, the text the checker read.
// The text may change before the next check comes: the fix then moves with the text around it,
// and is dropped when the change touched the text it replaces.

const setChecked = StateEffect.define();

// The text the warnings shown were found in, and the changes made since.
const checkedText = StateField.define({
  create: (state) => ({ doc: state.doc, since: ChangeSet.empty(state.doc.length).desc }),
  update(checked, transaction) {
    if (transaction.effects.some((effect) => effect.is(setChecked))) {
      return { doc: transaction.state.doc, since: ChangeSet.empty(transaction.state.doc.length).desc };
    }
    return transaction.docChanged ? { doc: checked.doc, since: checked.since.composeDesc(transaction.changes.desc) } : checked;
  },
});

export const fixes = [checkedText];

// The effect that goes with the warnings found in the editor's text as it is now.
export const textChecked = () => setChecked.of(null);

// The fixes of `warnings` ({ fix: null or { offset, length, text } }, in bytes) in `doc`, as
// the editor counts: a fix or null for each.
export function fixesIn(doc, warnings) {
  const text = doc.toString();
  const offsets = warnings.flatMap(({ fix }) => (fix === null ? [] : [fix.offset, fix.offset + fix.length]));
  const indexes = indexesOf(text, offsets);
  return warnings.map(({ fix }) => (fix === null ? null
    : { from: indexes.get(fix.offset), to: indexes.get(fix.offset + fix.length), insert: fix.text, doc }));
}

const quoted = (text) => `'${(text.length > 24 ? `${text.slice(0, 23)}…` : text).replace(/\n/g, '↵')}'`;

// How a button names `fix`: "Fix: write 'print'".
export function fixName({ from, to, insert, doc }) {
  if (insert === '') return `Fix: remove ${quoted(doc.sliceString(from, to))}`;
  return `Fix: ${from === to ? 'insert' : 'write'} ${quoted(insert)}`;
}

// Applies `fix`; false when the text it replaces changed since the check, or a check came since.
export function applyFix(view, fix) {
  const { doc, since } = view.state.field(checkedText);
  if (fix.doc !== doc || since.touchesRange(fix.from, fix.to)) return false;
  const changes = { from: since.mapPos(fix.from), to: since.mapPos(fix.to), insert: fix.insert };
  view.dispatch({ changes, userEvent: 'input.fix', annotations: isolateHistory.of('full'), scrollIntoView: true });
  return true;
}

// ---- Rewriting the whole text (Fix all, Renumber).

// The change from `before` to `after`, between what the two share at their start and end.
function span(before, after, at) {
  const most = Math.min(before.length, after.length);
  let start = 0;
  while (start < most && before[start] === after[start]) ++start;
  let end = 0;
  while (end < most - start && before[before.length - 1 - end] === after[after.length - 1 - end]) ++end;
  return { from: at + start, to: at + before.length - end, insert: after.slice(start, after.length - end) };
}

// The changes that make `before` into `after`: line by line when both have as many lines, so
// that what is marked at a line's start (a breakpoint) stays on its line; else one change.
export function changesBetween(before, after) {
  const old = before.split('\n');
  const lines = after.split('\n');
  if (old.length !== lines.length) return [span(before, after, 0)];
  const changes = [];
  let at = 0;
  old.forEach((line, i) => {
    if (line !== lines[i]) changes.push(span(line, lines[i], at));
    at += line.length + 1;
  });
  return changes;
}

// Makes the text `text`, changing only what differs.
export function rewriteText(view, text, userEvent) {
  const changes = changesBetween(view.state.doc.toString(), text);
  view.dispatch({ changes, userEvent, annotations: isolateHistory.of('full'), scrollIntoView: true });
}
