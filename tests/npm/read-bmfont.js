// Reads a BMFont descriptor with the parser its form has among the npm
// packages that engines' and web projects' users install (JSON.parse for the
// JSON form), and prints the parsed object one value per line as
// "<path> <value as JSON>", keys sorted, so that forms compare line by line.
// Usage: node read-bmfont.js text|xml|binary|json FILE
'use strict';
const fs = require('fs');

const [form, file] = process.argv.slice(2);
const data = fs.readFileSync(file);
const parsers = {
  text: () => require('parse-bmfont-ascii')(data),
  xml: () => require('parse-bmfont-xml')(data),
  binary: () => require('parse-bmfont-binary')(data),
  json: () => JSON.parse(data.toString('utf8')),
};
if (!(form in parsers)) throw new Error('unknown form: ' + form);

const lines = [];
(function flatten(path, value) {
  if (value !== null && typeof value === 'object') {
    const keys = Array.isArray(value) ? value.map((_, i) => i) : Object.keys(value).sort();
    if (keys.length === 0) lines.push(path + ' ' + (Array.isArray(value) ? '[]' : '{}'));
    for (const key of keys) flatten(path === '' ? String(key) : path + '.' + key, value[key]);
  } else {
    lines.push(path + ' ' + JSON.stringify(value));
  }
})('', parsers[form]());
process.stdout.write(lines.join('\n') + '\n');
