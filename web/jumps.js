// Going to the line a GOTO or GOSUB jumps to: F12 with the cursor on the jump, or a click on its
// number with Ctrl held (Cmd on a Mac), which underlines the numbers while it is held.
import { ensureSyntaxTree, syntaxTree } from '@codemirror/language';
import { Decoration, EditorView, ViewPlugin } from '@codemirror/view';
import { jumpLine } from './language.js';

const isMac = /Mac|iPhone|iPad/.test(navigator.platform);
const jumpKeyHeld = (event) => (isMac ? event.metaKey : event.ctrlKey);

// The jumps between `from` and `to`, by the highlighter's tokens (which know where literals
// run): a goto or gosub keyword and the number after it on its line, as { from, to (the
// keyword's start and the number's end), numberFrom, number }.
function jumpsIn(doc, tree, from, to) {
  const tokens = [];
  tree.iterate({ from, to, enter: ({ type, name, from: start, to: end }) => { if (!type.isTop) tokens.push({ name, from: start, to: end }); } });
  const jumps = [];
  for (let i = 1; i < tokens.length; ++i) {
    const [keyword, target] = [tokens[i - 1], tokens[i]];
    if (keyword.name === 'keyword' && target.name === 'number' &&
        /^go(to|sub)$/.test(doc.sliceString(keyword.from, keyword.to)) &&
        /^[ \t]*$/.test(doc.sliceString(keyword.to, target.from))) {
      jumps.push({ from: keyword.from, to: target.to, numberFrom: target.from,
                   number: Number(doc.sliceString(target.from, target.to)) });
    }
  }
  return jumps;
}

// The jump at `pos` (on its keyword or its number), or null.
function jumpAt(state, pos) {
  const line = state.doc.lineAt(pos);
  const tree = ensureSyntaxTree(state, line.to, 200);
  return tree && (jumpsIn(state.doc, tree, line.from, line.to).find((jump) => jump.from <= pos && pos <= jump.to) ?? null);
}

const targetMark = Decoration.mark({ class: 'cm-jumpTarget' });

function targetMarks(view) {
  const tree = syntaxTree(view.state);
  return Decoration.set(view.visibleRanges.flatMap(({ from, to }) => jumpsIn(view.state.doc, tree, from, to))
    .map((jump) => targetMark.range(jump.numberFrom, jump.to)));
}

// The jumps' numbers in view are underlined while the key that goes to them is held.
const underlines = ViewPlugin.fromClass(class {
  constructor(view) {
    this.view = view;
    this.held = false;
    this.decorations = Decoration.none;
    this.onKey = (event) => this.hold(jumpKeyHeld(event));
    this.onBlur = () => this.hold(false);
    window.addEventListener('keydown', this.onKey, true);
    window.addEventListener('keyup', this.onKey, true);
    window.addEventListener('blur', this.onBlur);
  }

  hold(held) {
    if (held === this.held) return;
    this.held = held;
    this.decorations = held ? targetMarks(this.view) : Decoration.none;
    this.view.dispatch({});  // the decorations are read again
  }

  update(update) {
    if (this.held && (update.docChanged || update.viewportChanged || syntaxTree(update.startState) !== syntaxTree(update.state))) {
      this.decorations = targetMarks(update.view);
    }
  }

  destroy() {
    window.removeEventListener('keydown', this.onKey, true);
    window.removeEventListener('keyup', this.onKey, true);
    window.removeEventListener('blur', this.onBlur);
  }
}, { decorations: (plugin) => plugin.decorations });

// F12 and the click: the cursor goes to the start of the line `jump` goes to. `onJump` hears
// of it: ({ number, line }), line null when no line has the number; (null) for F12 off a jump.
export function jumpToTargets(onJump) {
  const go = (view, jump) => {
    if (jump === null) {
      onJump(null);
      return;
    }
    const line = jumpLine(view.state.doc, jump.number);
    if (line !== null) {
      const at = view.state.doc.line(line).from;
      view.dispatch({ selection: { anchor: at }, effects: EditorView.scrollIntoView(at, { y: 'center' }) });
    }
    view.focus();
    onJump({ number: jump.number, line });
  };
  return {
    key: { key: 'F12', run: (view) => { go(view, jumpAt(view.state, view.state.selection.main.head)); return true; } },
    extensions: [
      underlines,
      EditorView.domEventHandlers({
        mousedown(event, view) {
          if (event.button !== 0 || !jumpKeyHeld(event)) return false;
          const pos = view.posAtCoords({ x: event.clientX, y: event.clientY }, false);
          const jump = pos === null ? null : jumpAt(view.state, pos);
          if (jump === null) return false;
          event.preventDefault();
          go(view, jump);
          return true;
        },
      }),
    ],
  };
}
