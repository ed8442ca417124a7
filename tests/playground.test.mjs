// The playground in a real browser: Debian's Chromium, driven by playwright-core, against the
// page served on 127.0.0.1. Run by ctest in the wasm build: node playground.test.mjs PAGE_DIR.
// Exits with 77 (skipped) when Chromium or playwright-core is missing.
import { existsSync } from 'node:fs';
import { readFile } from 'node:fs/promises';
import { createServer } from 'node:http';
import { extname, join, normalize } from 'node:path';

const kChromium = process.env.CHROMIUM ?? '/usr/bin/chromium';
const pageDir = process.argv[2];
const skip = (why) => {
  console.log(`skipped: ${why}`);
  process.exit(77);
};
if (!pageDir || !existsSync(join(pageDir, 'index.html'))) skip(`no page in ${pageDir}`);
if (!existsSync(kChromium)) skip(`no Chromium at ${kChromium} (apt-get install chromium)`);
const { chromium } = await import('playwright-core').catch(() => skip('no playwright-core (npm ci)'));
const { test, after, afterEach, before } = await import('node:test');
const assert = await import('node:assert/strict');

const kTypes = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
                 '.wasm': 'application/wasm', '.json': 'application/json' };
const server = createServer(async (request, response) => {
  const asked = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
  const path = asked.endsWith('/') ? `${asked}index.html` : asked;
  try {
    const body = await readFile(join(pageDir, path));
    response.writeHead(200, { 'content-type': kTypes[extname(path)] ?? 'text/plain' });
    response.end(body);
  } catch {
    response.writeHead(404).end();
  }
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const url = `http://127.0.0.1:${server.address().port}/`;

let browser;
before(async () => {
  browser = await chromium.launch({
    executablePath: kChromium,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
});
after(async () => {
  await browser?.close();
  server.close();
});

// Each test's pages are closed after it, with any run they still have going.
let contexts = [];
afterEach(async () => {
  await Promise.all(contexts.map((context) => context.close()));
  contexts = [];
});

// A page in a browser profile of its own (so with empty storage), ready to run.
async function openPage(address = url) {
  const context = await browser.newContext();
  contexts.push(context);
  const page = await context.newPage();
  await page.goto(address);
  await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('Ready'));
  return page;
}

const statusOf = (page) => page.locator('#status').textContent();
const outputOf = (page) => page.locator('#output').textContent();
const waitForStatus = (page, start) =>
  page.waitForFunction((text) => document.getElementById('status').textContent.startsWith(text),
                       start, { timeout: 20_000 });

// Runs the program in the editor (after typing `program`, when given) to its end.
async function runToEnd(page, program) {
  if (program !== undefined) await page.fill('#program', program);
  await page.click('#run');
  await waitForStatus(page, 'Done');
}

test('the demo runs and prints its output', async () => {
  const page = await openPage();
  await page.waitForSelector('#warnings .none');
  assert.equal(await page.locator('#warnings').textContent(), 'No warnings.');
  await runToEnd(page);
  assert.equal(await outputOf(page),
               'subroutine\n1\n3\n6\n10\n15\n21\n28\n36\n45\n55\nend\n');
});

test('a warning shows beside its line as the program is typed', async () => {
  const page = await openPage();
  await page.fill('#program', '10 for i = 1 to 3\n20   print "line "; i\n30 next i\n' +
                              '40 PRINT "done"\n50 print "end"\n');
  await page.waitForSelector('#gutter .warned');
  assert.equal(await page.locator('#gutter .warned').textContent(), '! 4\n');
  assert.match(await page.locator('#warnings li').first().textContent(), /^4:4.*\[keyword-case\]$/);
  await runToEnd(page);
  await page.screenshot({ path: join(pageDir, '..', 'playground.png') });  // for the README
});

test('an endless loop runs until Stop, and the page still answers', async () => {
  const page = await openPage();
  await page.fill('#program', '10 goto 10\n');
  await page.click('#run');
  await waitForStatus(page, 'Running: ');
  await page.fill('#program', '10 goto 10\n20 print 7\n');  // the page answers while it runs
  await page.click('#stop');
  assert.match(await statusOf(page), /^Stopped at line 10 after [\d,]+ statements/);
  await runToEnd(page, 'print 7');
  assert.equal(await outputOf(page), '7\n');
});

test('a run that prints without end keeps only its last 10,000 lines', async () => {
  const page = await openPage();
  await page.fill('#program', '10 n = n + 1\n20 print n\n30 goto 10\n');
  await page.click('#run');
  await page.waitForFunction(() => document.getElementById('status').textContent.match(/[\d,]{7} statements/));
  await page.click('#stop');
  const lines = (await outputOf(page)).split('\n');
  assert.equal(lines.length, 10_000);
  assert.equal(lines.at(-1), '');  // the last line printed is whole
});

test('a link carries the program; storage keeps it across a reload', async () => {
  const page = await openPage();
  const program = '10 print "linked"\n20 x = 1 + 2 ; é\n';
  await page.fill('#program', program);
  await page.click('#share');
  const link = await page.locator('#share-link').getAttribute('href');
  const linked = await openPage(link);
  assert.equal(await linked.inputValue('#program'), program);
  await page.fill('#program', 'print 42');
  await page.reload();
  await waitForStatus(page, 'Ready');
  assert.equal(await page.inputValue('#program'), 'print 42');
});

test('an example replaces the program, which stays one click away', async () => {
  const page = await openPage();
  assert.equal(await page.locator('#restore').isHidden(), true);  // the demo is nobody's work
  await page.fill('#program', 'print "mine"');
  await page.selectOption('#examples', 'fizzbuzz.bas');
  await page.waitForFunction(() => document.getElementById('program').value.includes('FizzBuzz'));
  await page.click('#restore');
  assert.equal(await page.inputValue('#program'), 'print "mine"');
});

test('bad input: a megabyte of binary, an unclosed literal', async () => {
  const page = await openPage();
  let noise = '';
  for (let i = 0; i < 1 << 20; ++i) noise += String.fromCharCode(1 + ((i * 7919) % 250));
  await page.$eval('#program', (editor, text) => {
    editor.value = text;
    editor.dispatchEvent(new Event('input'));
  }, noise);
  await page.waitForSelector('#warnings li:not(.none)');
  await runToEnd(page);
  await runToEnd(page, 'print "open\nx = 1');
  assert.equal(await outputOf(page), 'open\nx = 1\n');
});

test('statements per second in the page', async () => {
  const page = await openPage();
  await runToEnd(page, '10 for i = 1 to 100\n20 for j = 1 to 100\n30 for k = 1 to 100\n' +
                      '40 s = s + 1\n50 next k\n60 next j\n70 next i\n');
  console.log(`# ${await statusOf(page)}`);
});
