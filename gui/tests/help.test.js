// The help page works offline and covers the dialog (node --test).
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');

const page = fs.readFileSync(path.join(__dirname, '..', 'HelpFolder', 'index.html'), 'utf8');

test('the help page loads nothing from outside itself and its links lead to places on it', () => {
  // Pictures are files of the help folder itself, which the build copies beside the library.
  const images = [...page.matchAll(/<img\b[^>]*\bsrc="([^"]*)"/gi)].map((m) => m[1]);
  for (const image of images) {
    assert.match(image, /^[\w.-]+\.png$/, image);
    assert.ok(fs.existsSync(path.join(__dirname, '..', 'HelpFolder', image)), image);
  }
  const rest = page.replace(/<img\b[^>]*\bsrc="[\w.-]+\.png"/gi, '<picture');
  for (const pattern of [/<link\b/i, /<script\b[^>]*\bsrc=/i, /<(img|iframe|embed|object|audio|video|source)\b/i,
                         /@import/i, /url\(/i, /\b(src|href|xlink:href)\s*=\s*["'](?!#)/i]) {
    assert.doesNotMatch(rest, pattern);
  }
  const ids = new Set([...page.matchAll(/\bid="([^"]+)"/g)].map((m) => m[1]));
  const targets = [...page.matchAll(/href="#([^"]*)"/g)].map((m) => m[1]);
  assert.ok(targets.length > 5);
  for (const target of targets) assert.ok(ids.has(target), 'no id for #' + target);
});

test('the help page describes every button and option of the dialog', () => {
  // The dialog's control texts, as the script declares them.
  const script = fs.readFileSync(path.join(__dirname, '..', 'ppi_gui.js'), 'utf8');
  const buttons = [...script.matchAll(/addControl\('button', '[^']+', '([^']+)'/g)].map((m) => m[1]);
  assert.deepEqual(buttons, ['Add subject', 'Load list', 'Save list', 'Clear', 'Start']);
  for (const text of buttons) {
    assert.ok(page.includes('<kbd>' + text + '</kbd>'), text);
  }
  for (const parameter of ['changePredName', 'saveMDM', 'addMoCo', 'zMC']) {
    const label = script.match(new RegExp("\\['" + parameter + "', '([^']+)'\\]"))[1];
    assert.ok(page.includes('<em>' + label + '</em>'), parameter + ': ' + label);
  }
});

test('the help page shows one subject\'s regressors as an inline figure', () => {
  const figure = page.match(/<figure id="regressors-figure">([\s\S]*?)<\/figure>/);
  assert.ok(figure, 'figure present');
  assert.match(figure[1], /<svg\b[\s\S]*<\/svg>/);
});

test('the help page explains every method choice with its parameter, formulas and references', () => {
  const script = fs.readFileSync(path.join(__dirname, '..', 'ppi_gui.js'), 'utf8');
  const controls = script.match(/var METHODS = \[[\s\S]*?\n  \];/)[0];
  const method = page.match(/<h2 id="method">[\s\S]*$/);
  assert.ok(method, 'a Method section');
  for (const parameter of ['interactionLevel', 'regionSummary', 'centrePsych']) {
    const label = controls.match(new RegExp("\\['" + parameter + "', '([^']+)'"))[1];
    assert.ok(page.includes('<em>' + label + '</em>'), parameter + ': ' + label);
    assert.ok(method[0].includes('<code>' + parameter + '</code>'), parameter + ' in the Method section');
  }
  for (const reference of ['NeuroImage</i>\n  19', 'NeuroImage</i> 61', 'Human Brain Mapping</i> 38',
                           'Affective Neuroscience</i> 7', 'NeuroImage</i> 6,',
                           'Brain Imaging and Behavior</i> 15']) {
    assert.ok(method[0].includes(reference), reference);
  }
  // Centring: always at the neural level, and the dialog's deconvolution warning in words.
  assert.ok(method[0].includes('At the neural level <var>c</var> is always a weighted mean'), 'centring always');
  assert.ok(method[0].replace(/\s+/g, ' ').includes('the region signal could not be separated from ' +
    'noise at the neural level; prefer the BOLD level or the mean for this subject'), 'the warning');
});
