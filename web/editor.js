// The editor: CodeMirror with linebasic's colours, undo history, the checker's warnings
// (underlined, marked in the gutter, and shown in a tooltip wherever the cursor stands in one)
// and a mark on the line where a run stands or stopped.
import { EditorState, StateEffect, StateField } from '@codemirror/state';
import { Decoration, EditorView, highlightSpecialChars, keymap, showTooltip } from '@codemirror/view';
import { defaultKeymap, history, historyKeymap } from '@codemirror/commands';
import { forEachDiagnostic, lintGutter, lintKeymap, setDiagnostics } from '@codemirror/lint';
import { linebasicHighlighting, linebasicLanguage } from './language.js';

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
    return marks.map(transaction.changes);
  },
  provide: (field) => EditorView.decorations.from(field),
});

// ---- A warning's text beside the cursor: for the keyboard and for a tap on a phone.

function warningTooltipAt(state) {
  const head = state.selection.main.head;
  let found = null;
  forEachDiagnostic(state, (diagnostic, from, to) => {
    if (found === null && from <= head && head <= Math.max(to, from + 1)) found = { diagnostic, from };
  });
  if (found === null) return null;
  return {
    pos: found.from,
    above: false,
    create() {
      const dom = document.createElement('div');
      dom.className = 'cm-warningAtCursor';
      dom.textContent = found.diagnostic.message;
      return { dom };
    },
  };
}

const warningAtCursor = StateField.define({
  create: warningTooltipAt,
  update: (tooltip, transaction) =>
    transaction.docChanged || transaction.selection || transaction.effects.length > 0
      ? warningTooltipAt(transaction.state) : tooltip,
  provide: (field) => showTooltip.from(field),
});

// ---- The editor.

// `onChange(typed)` hears of every change of the text; `typed` is false for a program that
// replaced the text whole (replaceText). `onRun` is Ctrl-Enter (Cmd-Enter).
export function createEditor(parent, { text, onChange, onRun }) {
  return new EditorView({
    parent,
    state: EditorState.create({
      doc: text,
      extensions: [
        EditorState.lineSeparator.of('\n'),  // a carriage return stays in the text, as in a run
        EditorView.clipboardInputFilter.of((pasted) => pasted.replace(/\r\n/g, '\n')),
        history(),
        keymap.of([{ key: 'Mod-Enter', run: () => { onRun(); return true; } },
                   ...defaultKeymap, ...historyKeymap, ...lintKeymap]),
        highlightSpecialChars(),
        linebasicLanguage,
        linebasicHighlighting,
        lintGutter(),
        runLine,
        warningAtCursor,
        EditorView.contentAttributes.of({ 'aria-label': 'Program', 'aria-describedby': 'warning-count' }),
        EditorView.updateListener.of((update) => {
          if (update.docChanged) {
            onChange(!update.transactions.some((transaction) => transaction.isUserEvent('load')));
          }
        }),
      ],
    }),
  });
}

export const textOf = (view) => view.state.doc.toString();

// Replaces the whole text as one change, which Undo takes back.
export function replaceText(view, text) {
  view.dispatch({
    changes: { from: 0, to: view.state.doc.length, insert: text },
    selection: { anchor: 0 },
    scrollIntoView: true,
    userEvent: 'load',
  });
}

// Shows the checker's warnings ({ line, column, name, message }, lines counted from 1 and
// columns in bytes), each underlining the word it begins at.
export function showWarnings(view, warnings) {
  const doc = view.state.doc;
  const diagnostics = warnings.filter((warning) => warning.line <= doc.lines).map((warning) => {
    const line = doc.line(warning.line);
    const from = line.from + Math.min(charsIn(line.text, warning.column - 1), line.length);
    const word = /^[^ \t]*/.exec(line.text.slice(from - line.from))[0];
    return { from, to: from + word.length, severity: 'warning',
             message: `${warning.message} [${warning.name}]` };
  });
  view.dispatch(setDiagnostics(view.state, diagnostics));
}

// The position of byte `offset` of the text (as the run counts), or null past its end.
export function positionOfByte(view, offset) {
  const doc = view.state.doc;
  if (offset < 0) return null;
  const position = charsIn(doc.toString(), offset);
  return position <= doc.length ? position : null;
}

// Marks the line that holds `position`, or no line when it is null.
export function markRunLine(view, position) {
  view.dispatch({ effects: setRunLine.of(position), scrollIntoView: false });
}

// Puts the cursor at line `line` (from 1), `column` bytes in, and the focus in the editor.
export function moveCursorTo(view, line, column) {
  const target = view.state.doc.line(Math.min(line, view.state.doc.lines));
  const at = target.from + Math.min(charsIn(target.text, column - 1), target.length);
  view.dispatch({ selection: { anchor: at }, scrollIntoView: true });
  view.focus();
}
