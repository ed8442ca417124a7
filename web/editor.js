// The editor: CodeMirror with linebasic's colours, undo history, the checker's warnings
// (underlined, marked in the gutter, and shown in a tooltip wherever the cursor stands in one,
// with their fixes), breakpoints (a gutter of their own), a mark on the line where a run stands
// or stopped, and the way from a jump to the line it goes to.
import { EditorState, MapMode, Prec, RangeSet, StateEffect, StateField, Transaction } from '@codemirror/state';
import { Decoration, EditorView, GutterMarker, WidgetType, gutter, highlightSpecialChars, keymap,
         showTooltip, tooltips } from '@codemirror/view';
import { copyLineDown, copyLineUp, deleteLine, history, historyKeymap, indentLess, indentMore, invertedEffects, isolateHistory,
         moveLineDown, moveLineUp, redo, selectLine, standardKeymap } from '@codemirror/commands';
import { forEachDiagnostic, lintGutter, linter, nextDiagnostic, openLintPanel, setDiagnostics } from '@codemirror/lint';
import { linebasicHighlighting, linebasicLanguage, linesNoRunReaches } from './language.js';
import { applyFix, fixName, fixes, fixesIn, textChecked } from './edits.js';
import { jumpToTargets } from './jumps.js';

const encoder = new TextEncoder();
const decoder = new TextDecoder();

// The position `bytes` UTF-8 bytes into `text`: the checker and the run count bytes.
function charsIn(text, bytes) {
  return bytes <= 0 ? 0 : decoder.decode(encoder.encode(text).subarray(0, bytes)).length;
}

// ---- The line a run stands on (or stopped on, or ended on).

const setRunLine = StateEffect.define();
const runLineMark = Decoration.line({ class: 'cm-runLine' });

const runLine = StateField.define({
  create: () => Decoration.none,
  update(marks, transaction) {
    for (const effect of transaction.effects) {
      if (effect.is(setRunLine)) {
        const at = effect.value;
        return at === null ? Decoration.none
          : Decoration.set([runLineMark.range(transaction.state.doc.lineAt(at).from)]);
      }
    }
    return transaction.docChanged ? Decoration.none : marks;  // an edited text is another run's
  },
  provide: (field) => EditorView.decorations.from(field),
});

// ---- Breakpoints: a mark at the start of each line that has one, with its condition (empty:
// none). A mark moves with its line when lines are added or removed above it, and with the
// line's text when text is put before it; it goes when a deletion spans its line's start, and
// two lines joined keep one.

const toggleBreakpoint = StateEffect.define();  // at the line that holds this position
const setBreakpoints = StateEffect.define();    // these ({ line, condition }, lines from 1) exactly
const setCondition = StateEffect.define();      // { line, condition }: a breakpoint there, stopping when it holds

// A red disc, named for screen readers; the page's warnings are amber triangles. A breakpoint
// with a condition is a diamond, one on a line no run stops at (a blank one, or one inside a
// literal) a ring.
const kNoRunLabel = 'Breakpoint no run reaches';

function breakpointImage(className, live, condition) {
  const label = !live ? kNoRunLabel : condition === '' ? 'Breakpoint' : `Breakpoint if ${condition}`;
  const image = Object.assign(document.createElement('span'), { title: label,
    className: `${className}${live ? '' : ' cm-noRun'}${condition === '' ? '' : ' cm-conditional'}` });
  image.setAttribute('role', 'img');
  image.setAttribute('aria-label', label);
  return image;
}

class BreakpointMarker extends GutterMarker {
  constructor(live, condition = '') {
    super();
    this.live = live;
    this.condition = condition;
  }

  eq(other) {
    return other.live === this.live && other.condition === this.condition;
  }

  toDOM() {
    return breakpointImage('cm-breakpoint', this.live, this.condition);
  }
}
// Text put at the line's start goes before the mark. Both sides are set: a point whose end side
// came before its start would be dropped by any change that touches it.
BreakpointMarker.prototype.startSide = BreakpointMarker.prototype.endSide = 1;
BreakpointMarker.prototype.mapMode = MapMode.TrackDel;
const breakpointMarker = new BreakpointMarker(true);

// `entries` are { line, condition } or plain lines.
function marksAt(doc, entries) {
  const marks = new Map();
  for (const entry of entries) {
    const { line, condition = '' } = typeof entry === 'number' ? { line: entry } : entry;
    if (line >= 1 && line <= doc.lines) marks.set(doc.line(line).from, condition);
  }
  return RangeSet.of([...marks].sort((a, b) => a[0] - b[0])
    .map(([at, condition]) => new BreakpointMarker(true, condition).range(at)));
}

function entriesOf(marks, doc) {
  const entries = [];
  for (const mark = marks.iter(); mark.value !== null; mark.next()) {
    entries.push({ line: doc.lineAt(mark.from).number, condition: mark.value.condition });
  }
  return entries;
}
const linesOf = (marks, doc) => entriesOf(marks, doc).map((entry) => entry.line);

// The marks but those of lines deleted whole: from the line's start past its line break. (A
// mark at the start of a deletion would stay, on the line that follows.)
function withoutDeletedLines(marks, transaction) {
  const gone = new Set();
  transaction.changes.iterChangedRanges((fromA, toA) => {
    marks.between(fromA, toA, (at) => {
      if (at >= fromA && at < toA && toA > transaction.startState.doc.lineAt(at).to) gone.add(at);
    });
  });
  return gone.size === 0 ? marks : marks.update({ filter: (at) => !gone.has(at) });
}

export const breakpointLines = (state) => linesOf(state.field(breakpoints), state.doc);
// The breakpoints with their conditions: { line, condition }.
export const breakpointList = (state) => entriesOf(state.field(breakpoints), state.doc);

// Which program the editor shows, as the page names it: set with a program's text, and taken
// back and done again with that text by Undo and Redo, so that Undo after a switch to another
// program shows the one before it, rather than typing its text over the other.
const setShownProgram = StateEffect.define();
const shownProgram = StateField.define({
  create: () => null,
  update: (shown, transaction) => transaction.effects
    .reduce((value, effect) => (effect.is(setShownProgram) ? effect.value : value), shown),
});
const shownProgramHistory = invertedEffects.of((transaction) =>
  (transaction.effects.some((effect) => effect.is(setShownProgram))
    ? [setShownProgram.of(transaction.startState.field(shownProgram))] : []));

// The text now belongs to another program. `edited`: the edit just made did it (an edited
// example became the user's own), and Undo of that edit shows the program it was made from
// again. Else (another tab changed the same program) it is no change that Undo takes back.
export function nameShownProgram(view, shown, edited = false) {
  view.dispatch({ effects: setShownProgram.of(shown), annotations: edited ? [] : Transaction.addToHistory.of(false) });
}

// Redo is Ctrl-Y, and Ctrl-Shift-Z (Cmd-Shift-Z) on every system, also where Caps Lock or the
// layout sends a lower-case 'z' with Shift, which the keymap would read as Ctrl-Z: Undo.
const redoKeys = Prec.highest(EditorView.domEventHandlers({
  keydown(event, view) {
    const z = event.key.toLowerCase() === 'z' || (event.keyCode === 90 && !/^[a-z]$/i.test(event.key));
    if (!z || !event.shiftKey || event.altKey || !(event.ctrlKey || event.metaKey)) return false;
    event.preventDefault();
    redo(view);
    return true;
  },
}));

const breakpoints = StateField.define({
  create: () => RangeSet.empty,
  update(marks, transaction) {
    const doc = transaction.state.doc;
    let entries = null;
    if (transaction.docChanged) {
      marks = withoutDeletedLines(marks, transaction);
      marks = marks.map(transaction.changes);
      entries = entriesOf(marks, doc);  // a mark may now stand inside its line, or share it
    }
    for (const effect of transaction.effects) {
      if (effect.is(setBreakpoints)) entries = effect.value;
      if (effect.is(toggleBreakpoint) || effect.is(setCondition)) entries ??= entriesOf(marks, doc);
      if (effect.is(toggleBreakpoint)) {
        const line = doc.lineAt(effect.value).number;
        const others = entries.filter((entry) => entry.line !== line);
        entries = others.length < entries.length ? others : [...entries, { line, condition: '' }];
      }
      if (effect.is(setCondition)) entries = [...entries.filter((entry) => entry.line !== effect.value.line), effect.value];
    }
    return entries === null ? marks : marksAt(doc, entries);
  },
});

// The gutter is hidden from screen readers: the line itself holds the name, in a mark of no
// size at its start.
class BreakpointWord extends WidgetType {
  constructor(live, condition) {
    super();
    this.live = live;
    this.condition = condition;
  }

  eq(other) {
    return other.live === this.live && other.condition === this.condition;
  }

  toDOM() {
    return breakpointImage('cm-breakpointWord', this.live, this.condition);
  }
}

// The breakpoints as shown: each at its line's start, and whether a run can stop there.
const shownBreakpoints = StateField.define({
  create: (state) => breakpointsShown(state),
  update: (shown, transaction) => (transaction.docChanged ||
    transaction.startState.field(breakpoints) !== transaction.state.field(breakpoints)
    ? breakpointsShown(transaction.state) : shown),
});

function breakpointsShown(state) {
  const entries = breakpointList(state);
  const never = new Set(linesNoRunReaches(state.doc, entries.map((entry) => entry.line)));
  return entries.map(({ line, condition }) => ({ at: state.doc.line(line).from, live: !never.has(line), condition }))
    .sort((a, b) => a.at - b.at);
}

// `onCondition(line)`: a right-click on a breakpoint asks for its condition.
const breakpointGutter = (lines, onCondition) => [
  breakpoints.init((state) => marksAt(state.doc, lines)),
  // Undoing the load of a program, or the deletion of lines, brings their breakpoints back.
  invertedEffects.of((transaction) => (transaction.effects.some((effect) => effect.is(setBreakpoints)) ||
    (transaction.docChanged && breakpointLines(transaction.state).length < breakpointLines(transaction.startState).length)
    ? [setBreakpoints.of(breakpointList(transaction.startState))] : [])),
  shownBreakpoints,
  gutter({
    class: 'cm-breakpoints',
    markers: (view) => RangeSet.of(view.state.field(shownBreakpoints)
      .map(({ at, live, condition }) => new BreakpointMarker(live, condition).range(at))),
    initialSpacer: () => breakpointMarker,
    renderEmptyElements: true,  // for the faint disc a pointer over a line shows
    domEventHandlers: {
      mousedown(view, line, event) {
        if (event.clientY - view.documentTop > line.bottom || event.button !== 0) return false;  // below the last line
        view.dispatch({ effects: toggleBreakpoint.of(line.from) });
        return true;
      },
      contextmenu(view, line, event) {
        event.preventDefault();
        onCondition(view.state.doc.lineAt(line.from).number);
        return true;
      },
    },
  }),
  EditorView.decorations.compute([shownBreakpoints], (state) => Decoration.set(state.field(shownBreakpoints)
    .map(({ at, live, condition }) => Decoration.widget({ widget: new BreakpointWord(live, condition), side: -1 }).range(at)))),
];

// F9 sets or clears a breakpoint on the line of the cursor.
export function toggleBreakpointAtCursor(view) {
  view.dispatch({ effects: toggleBreakpoint.of(view.state.selection.main.head) });
  return true;
}

// A breakpoint on text line `line` that stops only where `condition` holds (always, when empty).
export function setBreakpointCondition(view, line, condition) {
  view.dispatch({ effects: setCondition.of({ line, condition }) });
}

// ---- A warning's text beside the cursor: for the keyboard and for a tap on a phone. One
// tooltip at a time: the mouse's hover shows none while the cursor's is open. Escape, an edit
// and a run close it; it opens again when the cursor moves into a warning.

const closeWarning = StateEffect.define();

// The warning the cursor stands in, and where it starts, or null.
function warningAt(state) {
  const head = state.selection.main.head;
  let found = null;
  forEachDiagnostic(state, (diagnostic, from, to) => {
    if (found === null && from <= head && head <= Math.max(to, from + 1)) found = { diagnostic, from };
  });
  return found;
}

function warningTooltipAt(state) {
  const found = warningAt(state);
  if (found === null) return null;
  return {
    pos: found.from,
    above: false,
    create(view) {
      const dom = document.createElement('div');
      dom.className = 'cm-warningAtCursor';
      dom.textContent = found.diagnostic.message;
      const { fix } = found.diagnostic;
      if (fix !== null) {
        const button = Object.assign(document.createElement('button'), { type: 'button', textContent: fixName(fix) });
        button.addEventListener('mousedown', (event) => event.preventDefault());  // the editor keeps the focus
        button.addEventListener('click', () => applyFix(view, fix));
        dom.append(' ', button);
      }
      return { dom };
    },
  };
}

// Ctrl-. (Cmd-.): applies the fix of the warning the cursor stands in.
function fixAtCursor(view) {
  const fix = warningAt(view.state)?.diagnostic.fix;
  return fix != null && applyFix(view, fix);
}

const warningAtCursor = StateField.define({
  create: () => ({ closed: true, tooltip: null }),
  update({ closed, tooltip }, transaction) {
    if (transaction.docChanged || transaction.effects.some((effect) => effect.is(closeWarning))) {
      return { closed: true, tooltip: null };
    }
    if (transaction.selection) closed = false;
    if (closed) return { closed, tooltip: null };
    return transaction.selection || transaction.effects.length > 0
      ? { closed, tooltip: warningTooltipAt(transaction.state) } : { closed, tooltip };
  },
  provide: (field) => showTooltip.from(field, (value) => value.tooltip),
});

const warningTooltips = [
  warningAtCursor,
  // Inside the editor, beside the program, never over the page's panel.
  tooltips({ position: 'absolute', tooltipSpace: (view) => view.dom.getBoundingClientRect() }),
  linter(null, {
    tooltipFilter: (diagnostics, state) => (state.field(warningAtCursor).tooltip ? null : diagnostics),
    hideOn: (transaction) => (transaction.state.field(warningAtCursor).tooltip ? true : null),
  }),
  Prec.high(keymap.of([{  // before Escape's simplifySelection, which would reopen it
    key: 'Escape',
    run(view) {
      if (view.state.field(warningAtCursor).tooltip === null) return false;
      closeWarningTooltip(view);
      return true;
    },
  }])),
];

export function closeWarningTooltip(view) {
  view.dispatch({ effects: closeWarning.of(null) });
}

// ---- The editor.

// The keys beyond the standard ones (cursor, selection, deletion) that act on lines, with
// CodeMirror's usual bindings; those that need a syntax tree or comments, which the language
// has not, are left out, and so is the code behind them, which the page's size has no room for.
const lineKeys = [
  { key: 'Alt-ArrowUp', run: moveLineUp, shift: copyLineUp }, { key: 'Alt-ArrowDown', run: moveLineDown, shift: copyLineDown },
  { key: 'Alt-l', mac: 'Ctrl-l', run: selectLine }, { key: 'Shift-Mod-k', run: deleteLine },
  { key: 'Mod-[', run: indentLess }, { key: 'Mod-]', run: indentMore },
];

// `onChange(typed)` hears of every change of the text; `typed` is false for a program that
// replaced the text whole (replaceText). `onBreakpoints(entries, toggled)` hears of every
// change of the breakpoints ({ line, condition }); `toggled` is the line a click or F9 set or
// cleared, else null. `onCondition(line)` is a right-click on the breakpoints' gutter.
// `onRun` is Ctrl-Enter (Cmd-Enter); `onJump` hears where F12 or a click went (jumpToTargets).
export function createEditor(parent, { text, breakpoints: lines = [], shown, onChange, onBreakpoints, onCondition, onRun, onJump }) {
  const jumps = jumpToTargets(onJump);
  return new EditorView({
    parent,
    state: EditorState.create({
      doc: text,
      extensions: [
        EditorState.lineSeparator.of('\n'),  // a carriage return stays in the text, as in a run
        EditorView.clipboardInputFilter.of((pasted) => pasted.replace(/\r\n/g, '\n')),
        // The edit that made a program of an example's text joins the naming of that program.
        history({ joinToEvent: (transaction, adjacent) => adjacent ||
                    transaction.effects.some((effect) => effect.is(setShownProgram)) }),
        redoKeys,
        keymap.of([{ key: 'Mod-Enter', run: () => { onRun(); return true; } },
                   { key: 'Mod-.', run: fixAtCursor }, { key: 'Mod-F8', run: nextDiagnostic }, jumps.key,
                   ...standardKeymap, ...lineKeys, ...historyKeymap, { key: 'Mod-Shift-m', run: openLintPanel }]),
        highlightSpecialChars(),
        linebasicLanguage,
        linebasicHighlighting,
        breakpointGutter(lines, onCondition),
        shownProgram.init(() => shown),
        shownProgramHistory,
        lintGutter(),
        runLine,
        warningTooltips,
        fixes,
        jumps.extensions,
        EditorView.contentAttributes.of({ 'aria-label': 'Program', 'aria-describedby': 'warning-count' }),
        EditorView.updateListener.of((update) => {
          if (update.docChanged) {
            onChange(!update.transactions.some((transaction) => transaction.isUserEvent('load')),
                     update.state.field(shownProgram));
          }
          const before = breakpointList(update.startState);
          const after = breakpointList(update.state);
          if (JSON.stringify(before) === JSON.stringify(after)) return;
          const toggled = update.transactions.flatMap((transaction) => transaction.effects)
            .find((effect) => effect.is(toggleBreakpoint));
          onBreakpoints(after, toggled ? update.state.doc.lineAt(toggled.value).number : null);
        }),
      ],
    }),
  });
}

export const textOf = (view) => view.state.doc.toString();

// Replaces the whole text, that of program `shown`, as one change, which Undo takes back, with
// breakpoints on `lines`.
export function replaceText(view, text, lines, shown) {
  view.dispatch({
    changes: { from: 0, to: view.state.doc.length, insert: text },
    effects: [setBreakpoints.of(lines), setShownProgram.of(shown)],
    selection: { anchor: 0 },
    scrollIntoView: true,
    userEvent: 'load',
    annotations: isolateHistory.of('full'),  // what is typed next is an edit of its own
  });
}

// Replaces the whole text of the program shown with `text`, as an edit of it that Undo takes back.
export function replaceWhole(view, text) {
  view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: text }, userEvent: 'input.replace' });
}

// Shows the checker's warnings ({ line, column, name, message, fix }, lines counted from 1,
// columns and fixes in bytes), each underlining the word it begins at, with its fix as an
// action. Returns the fixes, as applyFix takes them: one or null for each warning.
export function showWarnings(view, warnings) {
  const doc = view.state.doc;
  const found = fixesIn(doc, warnings);
  const diagnostics = warnings.flatMap((warning, i) => {
    if (warning.line > doc.lines) return [];
    const line = doc.line(warning.line);
    const from = line.from + Math.min(charsIn(line.text, warning.column - 1), line.length);
    const word = /^[^ \t]*/.exec(line.text.slice(from - line.from))[0];
    const fix = found[i];
    const actions = fix === null ? [] : [{ name: fixName(fix), apply: (target) => applyFix(target, fix) }];
    return [{ from, to: from + word.length, severity: 'warning', message: `${warning.message} [${warning.name}]`, fix, actions }];
  });
  view.dispatch({ effects: [setDiagnostics(view.state, diagnostics).effects, textChecked()].flat() });
  return found;
}

// Marks the line that holds `position`, or no line when it is null, and scrolls it into view.
export function markRunLine(view, position) {
  const effects = [setRunLine.of(position)];
  if (position !== null) effects.push(EditorView.scrollIntoView(position, { y: 'nearest', yMargin: 60 }));
  view.dispatch({ effects });
}

// Puts the cursor at line `line` (from 1), `column` bytes in, and the focus in the editor.
export function moveCursorTo(view, line, column) {
  const target = view.state.doc.line(Math.min(line, view.state.doc.lines));
  const at = target.from + Math.min(charsIn(target.text, column - 1), target.length);
  view.dispatch({ selection: { anchor: at }, scrollIntoView: true });
  view.focus();
}
