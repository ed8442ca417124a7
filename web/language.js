// linebasic's text as the run reads it: a stream highlighter that colours a token the way the
// scanner classifies it, and the program's own line numbers, which the page names lines by.
import { HighlightStyle, StreamLanguage, StringStream, syntaxHighlighting } from '@codemirror/language';
import { tags } from '@lezer/highlight';

const kKeywords = new Set(['let', 'print', 'if', 'then', 'else', 'for', 'to', 'next', 'goto',
                           'gosub', 'return', 'call', 'end']);
const kNumberDigitsMax = 4;  // five digits in a row are no number
const isDigit = (c) => c >= '0' && c <= '9';
const isLower = (c) => c >= 'a' && c <= 'z';
const isDelimiter = (c) => ',;+-&|*/%()<>='.includes(c);

// A word runs to the next space or line end, operators and quotes included, as the run scans it.
function wordAt(stream) {
  const rest = stream.string.slice(stream.pos);
  const end = rest.indexOf(' ');
  return end < 0 ? rest : rest.slice(0, end);
}

// One token; `state.inLiteral` carries a literal that runs on over line ends.
function token(stream, state) {
  if (state.inLiteral) {
    state.inLiteral = !stream.skipTo('"');
    if (!state.inLiteral) stream.next();
    else stream.skipToEnd();
    return 'string';
  }
  if (stream.eatSpace()) return null;
  const c = stream.peek();
  if (isDigit(c)) {
    const digits = stream.match(/^\d+/)[0];
    if (digits.length > kNumberDigitsMax) return 'invalid';
    return stream.start === stream.string.search(/\S/) ? 'labelName' : 'number';
  }
  if (isDelimiter(c)) {
    stream.next();
    return 'operator';
  }
  if (c === '"') {
    stream.next();
    state.inLiteral = true;
    return token(stream, state);
  }
  const word = wordAt(stream);
  if (kKeywords.has(word)) {
    stream.pos += word.length;
    return 'keyword';
  }
  if (isLower(c)) {  // a variable is its one letter; the rest of the word is read again
    stream.next();
    return 'variableName';
  }
  stream.pos += word.length;  // capitals and anything else: no keyword, skipped (or 0)
  return 'invalid';
}

export const linebasicLanguage = StreamLanguage.define({
  name: 'linebasic',
  startState: () => ({ inLiteral: false }),
  copyState: (state) => ({ ...state }),
  token,
});

// Colours from the page's style sheet, so that its light and dark themes both apply.
export const linebasicHighlighting = syntaxHighlighting(HighlightStyle.define([
  { tag: tags.keyword, color: 'var(--code-keyword)', fontWeight: 'bold' },
  { tag: tags.number, color: 'var(--code-number)' },
  { tag: tags.string, color: 'var(--code-string)' },
  { tag: tags.labelName, color: 'var(--code-line-number)' },
  { tag: tags.operator, color: 'var(--code-operator)' },
  { tag: tags.invalid, color: 'var(--code-invalid)', textDecoration: 'line-through' },
]));

// The program's number for a line of text: a number of at most four digits with nothing but
// blanks before it, as a jump finds it; null when the line has none.
export function programLineNumber(text) {
  const match = /^[ \t]*(\d{1,4})(?!\d)/.exec(text);
  return match ? Number(match[1]) : null;
}

// How the page names line `line` (counted from 1) of `doc`: by its own number when it has one,
// and by its place too when another line has the same number.
export function lineName(doc, line) {
  const number = line <= doc.lines ? programLineNumber(doc.line(line).text) : null;
  if (number === null) return `text line ${line}`;
  for (let other = 1; other <= doc.lines; ++other) {
    if (other !== line && programLineNumber(doc.line(other).text) === number) return `line ${number} (text line ${line})`;
  }
  return `line ${number}`;
}

// Scans one line of text, carrying `state.inLiteral` on to the next.
function scanLine(text, state) {
  const stream = new StringStream(text, 4, 2);
  while (!stream.eol()) {
    stream.start = stream.pos;
    token(stream, state);
  }
}

// Whether line `line` (counted from 1) of `doc` starts inside a literal that runs on from a line
// above: a run never reaches such a line.
export function startsInLiteral(doc, line) {
  const state = { inLiteral: false };
  for (let n = 1; n < line && n <= doc.lines; ++n) scanLine(doc.line(n).text, state);
  return state.inLiteral;
}

// Of `lines` (counted from 1), those no run stops at: blank ones, and those inside a literal.
export function linesNoRunReaches(doc, lines) {
  const asked = new Set(lines);
  const last = Math.min(doc.lines, Math.max(0, ...lines));
  const never = [];
  const state = { inLiteral: false };
  for (let n = 1; n <= last; ++n) {
    const text = doc.line(n).text;
    if (asked.has(n) && (state.inLiteral || text.trim() === '')) never.push(n);
    if (n < last) scanLine(text, state);
  }
  return never;
}

// The line (counted from 1) that a jump to `number` goes to, as the run's line search finds
// it: the first line that starts with that number, not inside a literal; null when none does.
// The search tests the text's first line on the text itself, whose start it reads as a number
// (past blanks, line-feeds and a sign; 0 without digits).
export function jumpLine(doc, number) {
  const [, start] = /^[ \t\n\v\f\r]*([+-]?\d*)/.exec(doc.sliceString(0, 200));
  if ((Number(start.replace(/^[+-]$/, '0')) || 0) === number) return 1;
  const state = { inLiteral: false };
  for (let n = 1; n <= doc.lines; ++n) {
    const text = doc.line(n).text;
    if (n > 1 && !state.inLiteral && programLineNumber(text) === number) return n;
    scanLine(text, state);
  }
  return null;
}
