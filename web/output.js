// The output pane: the last kKeptLines lines a run printed, and above them a line that says how
// many earlier lines were dropped. New text is added as it comes and shown at most once a
// frame, in blocks of kBlockLines lines: the browser lays out only the blocks in view.
const kKeptLines = 10_000;
const kBlockLines = 200;
const kLineHeightPx = 20;  // as the style sheet sets it, for the height of blocks not laid out

const countLineFeeds = (text) => {
  let count = 0;
  for (let at = text.indexOf('\n'); at >= 0; at = text.indexOf('\n', at + 1)) ++count;
  return count;
};

// The offset just past the `n`-th line feed of `text` (n of 1 or more); 0 when it has fewer.
const afterLineFeed = (text, n) => {
  let at = -1;
  for (let i = 0; i < n; ++i) {
    at = text.indexOf('\n', at + 1);
    if (at < 0) return 0;
  }
  return at + 1;
};

export class OutputPane {
  constructor(element, droppedNote) {
    this.element = element;
    this.droppedNote = droppedNote;
    this.clear();
  }

  clear() {
    this.blocks = [];    // the kept text: { text, element (once shown), changed }, oldest first
    this.removed = [];   // elements of dropped blocks, still on screen
    this.lineFeeds = 0;  // in the kept text
    this.dropped = 0;    // lines dropped in all
    cancelAnimationFrame(this.frame);
    this.frame = 0;
    this.element.replaceChildren();
    this.showDropped();
  }

  // Adds a report's text; `dropped` lines were cut between the text already kept and it.
  append(text, dropped = 0) {
    if (dropped > 0) {
      // The kept text's unfinished line, if any, was finished among the dropped ones.
      this.dropped += this.lineFeeds + dropped;
      this.dropBlocks(this.blocks.length);
      this.lineFeeds = 0;
    }
    if (text === '') return;
    this.lineFeeds += countLineFeeds(text);
    const last = this.blocks.at(-1);
    if (last !== undefined && !last.text.endsWith('\n')) {  // a line goes on in the same block
      const end = text.indexOf('\n') + 1 || text.length;
      this.changeBlock(last, last.text + text.slice(0, end));
      text = text.slice(end);
    }
    while (text !== '') {
      const end = afterLineFeed(text, kBlockLines) || text.length;
      const block = { text: '', feeds: 0, element: null, changed: false };
      this.changeBlock(block, text.slice(0, end));
      this.blocks.push(block);
      text = text.slice(end);
    }
    this.trim();
    this.frame ||= requestAnimationFrame(() => this.show());
  }

  lineCount() {
    const last = this.blocks.at(-1);
    return this.lineFeeds + (last !== undefined && !last.text.endsWith('\n') ? 1 : 0);
  }

  // Drops the oldest lines past kKeptLines.
  trim() {
    let excess = this.lineCount() - kKeptLines;
    if (excess <= 0) return;
    this.dropped += excess;
    this.lineFeeds -= excess;
    let whole = 0;
    for (; whole < this.blocks.length && excess >= this.blocks[whole].feeds; ++whole) {
      excess -= this.blocks[whole].feeds;
    }
    this.dropBlocks(whole);
    if (excess > 0) this.changeBlock(this.blocks[0], this.blocks[0].text.slice(afterLineFeed(this.blocks[0].text, excess)));
  }

  changeBlock(block, text) {
    block.text = text;
    block.feeds = countLineFeeds(text);
    block.changed = true;
  }

  dropBlocks(count) {
    for (const block of this.blocks.splice(0, count)) {
      if (block.element !== null) this.removed.push(block.element);
    }
  }

  // Brings the screen up to the kept text, touching only the blocks that changed.
  show() {
    this.frame = 0;
    const follow = this.isScrolledDown();
    for (const element of this.removed) element.remove();
    this.removed = [];
    for (const block of this.blocks) {
      if (block.element === null) {
        block.element = document.createElement('div');
        this.element.append(block.element);
      }
      if (block.changed) {
        block.element.textContent = block.text;
        block.element.style.containIntrinsicBlockSize = `auto ${(block.feeds || 1) * kLineHeightPx}px`;
      }
      block.changed = false;
    }
    this.showDropped();
    if (follow) this.scroller().scrollTop = this.scroller().scrollHeight;
  }

  // Shows whatever is still waiting, now: at the end of a run and when it is stopped.
  flush() {
    cancelAnimationFrame(this.frame);
    this.show();
  }

  showDropped() {
    const n = this.dropped;
    this.droppedNote.hidden = n === 0;
    this.droppedNote.textContent =
      `${n.toLocaleString('en')} earlier line${n === 1 ? ' was' : 's were'} dropped: ` +
      `only the last ${kKeptLines.toLocaleString('en')} lines are kept.`;
  }

  scroller() {
    return this.element.parentElement;
  }

  isScrolledDown() {
    const scroller = this.scroller();
    return scroller.scrollHeight - scroller.scrollTop - scroller.clientHeight < 40;
  }

  text() {
    return this.blocks.map((block) => block.text).join('');
  }
}
