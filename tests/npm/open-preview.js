// Opens a preview page in headless Chromium (Debian's, driven by the pinned
// puppeteer-core) once per case, and reports what the page did, one fact a
// line: "boxes N" (elements with data-codepoint), "error TEXT" (script errors
// and console errors), "request URL" (anything asked for outside the page's
// file and its data: URIs), then per case "case I png FILE" (the sample
// canvas as a PNG) and "case I pixels FILE" (its bytes, straight alpha), or
// "case I note TEXT" (the page's reason for no canvas), and
// "case I missing TEXT" when the page lists characters the font lacks.
// The page's text goes to OUTDIR/page-text.txt.
// Usage: node open-preview.js PAGE OUTDIR [SCALE TEXT]... [--screenshot OUT.png]
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const args = process.argv.slice(2);
const shot = args.indexOf('--screenshot');
const screenshot = shot >= 0 ? args.splice(shot, 2)[1] : null;
const [page, outDir, ...rest] = args;
const cases = [];
for (let i = 0; i + 1 < rest.length; i += 2) cases.push({ scale: rest[i], text: rest[i + 1] });
if (cases.length === 0) cases.push(null);

async function openCase(browser, pageUrl, wanted, report) {
  const tab = await browser.newPage();
  await tab.setViewport({ width: 1100, height: 900 });
  tab.on('pageerror', (e) => report.push(`error ${e.message}`));
  tab.on('console', (m) => m.type() === 'error' && report.push(`error ${m.text()}`));
  tab.on('request', (r) => {
    const url = r.url();
    if (!url.startsWith('data:') && url.split('#')[0] !== pageUrl) report.push(`request ${url}`);
  });
  const fragment = wanted ? `#text=${encodeURIComponent(wanted.text)}&scale=${wanted.scale}` : '';
  await tab.goto(pageUrl + fragment, { waitUntil: 'load' });
  await tab.waitForSelector('body[data-ready="1"]', { timeout: 20000 });
  return tab;
}

// Runs in the page: the sample its own functions draw from its text and scale.
async function drawnSample() {
  const font = readFont(JSON.parse(document.getElementById('font-data').textContent));
  const atlas = await decodeAtlasPng(document.getElementById('atlas-image'));
  const layout = layOutText(font, document.getElementById('text').value);
  const scale = scaleOrOne(Number(document.getElementById('scale').value));
  return Array.from(drawText(font, atlas, layout, scale).pixels);
}

async function main() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'glyphmint-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      `--user-data-dir=${profile}`],
  });
  const report = [];
  try {
    const pageUrl = 'file://' + path.resolve(page);
    for (const [i, wanted] of cases.entries()) {
      const tab = await openCase(browser, pageUrl, wanted, report);
      if (i === 0) {
        report.unshift(`boxes ${await tab.$$eval('[data-codepoint]', (e) => e.length)}`);
        fs.writeFileSync(path.join(outDir, 'page-text.txt'), await tab.evaluate(() => document.body.innerText));
        if (screenshot) {
          await tab.hover('[data-codepoint="103"]');
          await tab.screenshot({ path: screenshot });
        }
      }
      const [png, note, missing] = await tab.evaluate(() => {
        const canvas = document.getElementById('sample');
        const text = (id) => document.getElementById(id).textContent;
        return [canvas.hidden ? null : canvas.toDataURL('image/png'), text('sample-note'), text('missing')];
      });
      const file = path.join(outDir, `case-${i}.png`);
      if (png) fs.writeFileSync(file, Buffer.from(png.split(',')[1], 'base64'));
      if (png) fs.writeFileSync(`${file}.bytes`, Buffer.from(await tab.evaluate(drawnSample)));
      report.push(png ? `case ${i} png ${file}` : `case ${i} note ${note}`);
      if (png) report.push(`case ${i} pixels ${file}.bytes`);
      if (missing) report.push(`case ${i} missing ${missing}`);
      await tab.close();
    }
  } finally {
    await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  process.stdout.write(report.join('\n') + '\n');
}

main().catch((e) => {
  process.stderr.write(`${e.stack}\n`);
  process.exit(1);
});
