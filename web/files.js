// Files: a program opened from a file keeps every byte of it or is refused with a word on
// which byte stands in the way, and a program is offered for download under a name that
// follows the program.
import { asRunReads } from './programs.js';

export const kFileBytesMax = 16 << 20;  // as linebasic-run reads
const kSignatures = [  // files that are no text, by their first bytes
  ['a PNG image', [0x89, 0x50, 0x4e, 0x47]], ['a JPEG image', [0xff, 0xd8, 0xff]],
  ['a GIF image', [0x47, 0x49, 0x46, 0x38]], ['a PDF document', [0x25, 0x50, 0x44, 0x46]],
  ['a ZIP archive', [0x50, 0x4b, 0x03, 0x04]], ['a gzip archive', [0x1f, 0x8b]],
];

// The offset of the first byte of `bytes` that starts no UTF-8 character, or -1: an overlong
// form, a surrogate or a sequence cut short counts from its first byte.
export function firstNonUtf8(bytes) {
  for (let i = 0; i < bytes.length;) {
    const lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    const more = lead >= 0xc2 && lead <= 0xdf ? 1 : lead >= 0xe0 && lead <= 0xef ? 2 : lead >= 0xf0 && lead <= 0xf4 ? 3 : 0;
    const low = lead === 0xe0 ? 0xa0 : lead === 0xf0 ? 0x90 : 0x80;
    const high = lead === 0xed ? 0x9f : lead === 0xf4 ? 0x8f : 0xbf;
    const fits = (k) => bytes[i + k] >= (k === 1 ? low : 0x80) && bytes[i + k] <= (k === 1 ? high : 0xbf);
    if (more === 0) return i;
    for (let k = 1; k <= more; ++k) if (!fits(k)) return i;
    i += more + 1;
  }
  return -1;
}

// Where byte `at` of `bytes` stands: "byte 7 of text line 3".
function placeOf(bytes, at) {
  let line = 1;
  let start = 0;
  for (let i = bytes.indexOf(0x0a); i >= 0 && i < at; i = bytes.indexOf(0x0a, i + 1)) {
    ++line;
    start = i + 1;
  }
  return `byte ${at - start + 1} of text line ${line}`;
}

const hex = (byte) => byte.toString(16).toUpperCase().padStart(2, '0');

// The program in file `name` of `bytes`: { text, note } (the note says what a run reads
// differently), or { refused } saying why it was not opened.
export function programFromFile(name, bytes) {
  if (bytes.length > kFileBytesMax) {
    return { refused: `${name} was not opened: it is ${(bytes.length / 2 ** 20).toFixed(1)} MB, and the page opens files of up to 16 MB.` };
  }
  const kind = kSignatures.find(([, start]) => start.every((byte, i) => bytes[i] === byte));
  if (kind !== undefined) return { refused: `${name} was not opened: it is ${kind[0]}, not a program.` };
  const nul = bytes.indexOf(0);
  if (nul >= 0) return { refused: `${name} was not opened: ${placeOf(bytes, nul)} is a NUL byte, so it is no text file.` };
  const wrong = firstNonUtf8(bytes);
  if (wrong >= 0) {
    return { refused: `${name} was not opened: ${placeOf(bytes, wrong)} is ${hex(bytes[wrong])}, which is not UTF-8, ` +
      'and the page keeps programs as UTF-8 text. Save the file as UTF-8 and open it again.' };
  }
  const text = new TextDecoder('utf-8', { ignoreBOM: true }).decode(bytes);  // a byte-order mark stays
  const note = text.includes('\r\n') ? ' (its CR-LF line ends read as LF, as a run reads them)' : '';
  return { text: asRunReads(text), note };
}

// A file name made from a program's name or first line: "10 print "hi"" is "print-hi.bas",
// "Ünïcode name" "ünïcode-name.bas": letters and digits of any script stay, with the marks
// that belong to them, and the rest between words is one '-'.
export function fileNameFor(name) {
  if (/^[^/\\]+\.(bas|txt)$/i.test(name)) return name;
  const made = name.normalize('NFC').toLowerCase().replace(/^\s*\d+\s*/, '').replace(/[^\p{L}\p{M}\p{N}]+/gu, '-');
  const letters = Array.from(new Intl.Segmenter().segment(made.replace(/^-+/, '')), ({ segment }) => segment);
  const words = letters.slice(0, 40).join('').replace(/-+$/, '');
  return `${words === '' ? 'program' : words}.bas`;
}

// Offers `text` as a file named `name` to download.
export function download(text, name) {
  const url = URL.createObjectURL(new Blob([asRunReads(text)], { type: 'text/plain' }));
  const link = Object.assign(document.createElement('a'), { href: url, download: name });
  link.click();
  setTimeout(() => URL.revokeObjectURL(url), 0);
}
