// Draws texts with exported fonts in PixiJS, Phaser or melonJS, as their users
// load a BMFont, in one headless Chromium, from a server on 127.0.0.1 (/m/
// node_modules, /f/ absolute paths). Each case's canvas, white on black (a
// field black on white: PixiJS's shader corrects light text's gamma), goes
// to OUTDIR/case-I.png; prints "case I drawn" or "case I error TEXT" a line.
// Usage: node draw-in-engines.js OUTDIR [ENGINE DESCRIPTOR SCALE field|"" TEXT]...
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');
const puppeteer = require('puppeteer-core');

const [outDir, ...words] = process.argv.slice(2);
const scripts = { pixi: 'pixi.js/dist/pixi.min.js', phaser: 'phaser/dist/phaser.min.js',
  melonjs: 'melonjs/build/index.js' };
const server = http.createServer((request, response) => {
  const url = decodeURIComponent(request.url);
  if (url === '/') return response.end('<!doctype html><link rel="icon" href="data:,"><body>');
  const file = url.startsWith('/m/') ? path.join(__dirname, 'node_modules', url.slice(3)) : url.slice(2);
  fs.readFile(file, (error, data) => {
    response.statusCode = error ? 404 : 200;
    if (file.endsWith('.js')) response.setHeader('Content-Type', 'text/javascript');
    response.end(data);
  });
});

// In the page: draws the case at (32, 32) and returns the canvas as a data URL.
async function draw(c, script) {
  const size = { width: 1024, height: 512 }, at = 32;
  if (c.engine === 'melonjs') {
    const me = await import(script);
    const app = new me.Application(size.width, size.height, { parent: document.body,
      renderer: me.WEBGL, preserveDrawingBuffer: true });
    await app.init();
    app.world.backgroundColor.parseCSS('#000000');
    await new Promise((done) => me.loader.preload([{ name: 'f', type: 'image', src: c.page },
      { name: 'f', type: 'binary', src: c.descriptor }], done, false));
    const text = new me.BitmapText(at, at, { font: 'f', text: c.text, size: c.scale });
    text.lineHeight = text.fontData.lineHeight / text.fontData.capHeight; // as the help says
    app.world.addChild(text);
    await new Promise((done) => me.event.once(me.event.GAME_AFTER_DRAW, done));
    return app.renderer.getCanvas().toDataURL();
  }
  await new Promise((onload, onerror) => document.head.appendChild(
    Object.assign(document.createElement('script'), { src: script, onload, onerror })));
  if (c.engine === 'phaser') {
    return await new Promise((done) => new Phaser.Game({ type: Phaser.WEBGL, ...size, pixelArt: true,
      banner: false, audio: { noAudio: true }, render: { preserveDrawingBuffer: true },
      scene: { preload() { this.load.bitmapFont('f', c.page, c.descriptor); },
        create() {
          this.add.bitmapText(at, at, 'f', c.text).setScale(c.scale);
          this.game.events.once('postrender', () => done(this.game.canvas.toDataURL()));
        } } }));
  }
  const app = new PIXI.Application();
  await app.init({ ...size, preference: 'webgl', preserveDrawingBuffer: true,
    background: c.field ? 'white' : 'black' });
  const font = await PIXI.Assets.load(c.descriptor);
  if (!c.field) for (const page of font.pages) page.texture.source.scaleMode = 'nearest';
  const text = new PIXI.BitmapText({ text: c.text, style: { fontFamily: font.fontFamily,
    fontSize: font.fontMetrics.fontSize, fill: c.field ? 'black' : 'white' } });
  text.position.set(at, at);
  text.scale.set(c.scale);
  app.stage.addChild(text);
  app.render();
  return app.canvas.toDataURL();
}

async function main() {
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  const origin = `http://127.0.0.1:${server.address().port}`;
  const profile = fs.mkdtempSync(path.join(outDir, 'chromium-'));
  const browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium', args: ['--headless',
    '--no-sandbox', '--disable-gpu', '--enable-unsafe-swiftshader', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', `--user-data-dir=${profile}`] });
  for (let i = 0; 5 * i < words.length; ++i) {
    const [engine, descriptor, scale, field, text] = words.slice(5 * i, 5 * i + 5);
    const files = { engine, scale: Number(scale), field: field === 'field', text,
      descriptor: origin + '/f' + path.resolve(descriptor),
      page: origin + '/f' + path.resolve(descriptor).replace(/\.[^./]*$/, '_0.png') };
    const tab = await browser.newPage();
    try {
      await tab.goto(origin + '/');
      const png = await tab.evaluate(draw, files, origin + '/m/' + scripts[engine]);
      fs.writeFileSync(path.join(outDir, `case-${i}.png`), Buffer.from(png.split(',')[1], 'base64'));
      console.log(`case ${i} drawn`);
    } catch (e) {
      console.log(`case ${i} error ${e.message.replace(/\n/g, ' ')}`);
    }
    await tab.close();
  }
  await browser.close();
  server.close();
}

main().catch((e) => {
  process.stderr.write(`${e.stack}\n`);
  process.exit(1);
});
