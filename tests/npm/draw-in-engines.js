// Draws texts with exported fonts in the web engines pinned beside it
// (PixiJS, Phaser, melonJS), each as its users load a BMFont, in one headless
// Chromium, served from a server on 127.0.0.1 that gives the engines from
// node_modules and the exports from their directories. Each case's canvas,
// white glyphs on black (a distance field black on white, as PixiJS's shader
// corrects the gamma of light text), is written as OUTDIR/case-I.png; the
// report is "case I png FILE" or "case I error TEXT", one line a case.
// Usage: node draw-in-engines.js CASES.json OUTDIR, CASES a list of
// {engine, descriptor, page, text, scale, field}.
'use strict';
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const [casesFile, outDir] = process.argv.slice(2);
const cases = JSON.parse(fs.readFileSync(casesFile, 'utf8'));
const canvasSize = { width: 1024, height: 512 };
const scripts = {
  pixi: 'pixi.js/dist/pixi.min.js',
  phaser: 'phaser/dist/phaser.min.js',
  melonjs: 'melonjs/build/index.js',
};

// /m/<file> from node_modules; /f/<absolute path> the exports' files.
function serve() {
  const types = { '.js': 'text/javascript', '.png': 'image/png', '.xml': 'text/xml' };
  const server = http.createServer((request, response) => {
    const url = decodeURIComponent(request.url.split('?')[0]);
    const file = url.startsWith('/m/') ? path.join(__dirname, 'node_modules', url.slice(3))
      : url.startsWith('/f/') ? url.slice(2) : null;
    if (url === '/') return response.end('<!doctype html><link rel="icon" href="data:,"><body style="margin:0"></body>');
    fs.readFile(file || '', (error, data) => {
      if (error) { response.statusCode = 404; return response.end(); }
      response.setHeader('Content-Type', types[path.extname(file)] || 'text/plain');
      response.end(data);
    });
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// Runs in the page: draws one case at (32, 32) and returns the canvas as a PNG data URL.
async function drawInPage(c, size, script) {
  const at = 32;
  if (c.engine === 'pixi') {
    await new Promise((resolve, reject) => {
      const tag = document.createElement('script');
      Object.assign(tag, { src: script, onload: resolve, onerror: reject });
      document.head.appendChild(tag);
    });
    const app = new PIXI.Application();
    await app.init({ ...size, preference: 'webgl', antialias: false, preserveDrawingBuffer: true,
      background: c.field ? 0xffffff : 0x000000 });
    const font = await PIXI.Assets.load(c.descriptor);
    if (!c.field) for (const page of font.pages) page.texture.source.scaleMode = 'nearest';
    const text = new PIXI.BitmapText({ text: c.text,
      style: { fontFamily: font.fontFamily, fontSize: font.fontMetrics.fontSize, fill: c.field ? 0x000000 : 0xffffff } });
    text.position.set(at, at);
    text.scale.set(c.scale);
    app.stage.addChild(text);
    app.render();
    return app.canvas.toDataURL('image/png');
  }
  if (c.engine === 'phaser') {
    await new Promise((resolve, reject) => {
      const tag = document.createElement('script');
      Object.assign(tag, { src: script, onload: resolve, onerror: reject });
      document.head.appendChild(tag);
    });
    return await new Promise((resolve) => {
      new Phaser.Game({ type: Phaser.WEBGL, ...size, backgroundColor: '#000000', pixelArt: true,
        banner: false, audio: { noAudio: true }, render: { preserveDrawingBuffer: true },
        scene: {
          preload() { this.load.bitmapFont('font', c.page, c.descriptor); },
          create() {
            this.add.bitmapText(at, at, 'font', c.text).setScale(c.scale);
            this.game.events.once('postrender', () => resolve(this.game.canvas.toDataURL('image/png')));
          },
        } });
    });
  }
  const me = await import(script);
  const app = new me.Application(size.width, size.height, { parent: document.body, renderer: me.WEBGL,
    scale: 1, preserveDrawingBuffer: true });
  await app.init();
  app.world.backgroundColor.parseCSS('#000000');
  await new Promise((resolve, reject) => me.loader.preload([{ name: 'font', type: 'image', src: c.page },
    { name: 'font', type: 'binary', src: c.descriptor }], resolve, false) || setTimeout(reject, 10000));
  const text = new me.BitmapText(at, at, { font: 'font', text: c.text, size: c.scale });
  // It spaces lines by a capital's height times this, not by the font's lineHeight.
  text.lineHeight = text.fontData.lineHeight / text.fontData.capHeight;
  app.world.addChild(text);
  await new Promise((resolve) => me.event.once(me.event.GAME_AFTER_DRAW, resolve));
  return app.renderer.getCanvas().toDataURL('image/png');
}

async function main() {
  const server = await serve();
  const origin = `http://127.0.0.1:${server.address().port}`;
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'glyphmint-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--enable-unsafe-swiftshader', '--disable-quic',
      '--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync',
      `--user-data-dir=${profile}`],
  });
  const report = [];
  try {
    for (const [i, c] of cases.entries()) {
      const tab = await browser.newPage();
      const errors = [];
      tab.on('pageerror', (e) => errors.push(e.message));
      // The software GL's performance notes are no fault of the engine's.
      tab.on('console', (m) => ['error', 'warn'].includes(m.type()) &&
        !m.text().includes('GL Driver Message') && errors.push(m.text()));
      tab.on('response', (r) => r.status() >= 400 && errors.push(`${r.status()} ${r.url()}`));
      try {
        await tab.goto(origin + '/', { waitUntil: 'load' });
        const files = { ...c, descriptor: origin + '/f' + path.resolve(c.descriptor),
          page: origin + '/f' + path.resolve(c.page) };
        const png = await tab.evaluate(drawInPage, files, canvasSize, origin + '/m/' + scripts[c.engine]);
        const file = path.join(outDir, `case-${i}.png`);
        fs.writeFileSync(file, Buffer.from(png.split(',')[1], 'base64'));
        report.push(errors.length ? `case ${i} error ${errors.join(' | ')}` : `case ${i} png ${file}`);
      } catch (e) {
        report.push(`case ${i} error ${[e.message, ...errors].join(' | ').replace(/\n/g, ' ')}`);
      }
      await tab.close();
    }
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  process.stdout.write(report.join('\n') + '\n');
}

main().catch((e) => {
  process.stderr.write(`${e.stack}\n`);
  process.exit(1);
});
