// The dialog layer of ppi_gui.js against a fake host and a fake plug-in
// (node --test). The stand-in host's tests run the same script in the
// embedded engine against the real plug-in.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const gui = require('../ppi_gui.js');

// A host with a parameter store, a dialog model and a plug-in that answers
// each command through the given handlers.
function fakeHost(plugin) {
  const host = {
    ints: {},
    strings: {},
    controls: {},
    order: [],
    messages: [],
    files: {},
    disk: {},  // files the plug-in wrote
    commands: [],
    title: null,
    getIntParameter: (name) => host.ints[name] || 0,
    setIntParameter: (name, value) => { host.ints[name] = value; },
    getStringParameter: (name) => host.strings[name] || '',
    setStringParameter: (name, value) => { host.strings[name] = value; },
    executePlugin: () => {
      const command = host.strings.Command;
      host.commands.push(command);
      return plugin[command] ? plugin[command](host) : true;
    },
    messageBox: (text) => { host.messages.push(text); },
    writeTextFile: (path, text) => { host.files[path] = text; return true; },
    readTextFile: (path) => host.disk[path] || '',
    addControl: (kind, id, label, value, extra) => {
      host.controls[id] = { kind, label, value, extra, enabled: true };
      host.order.push(id);
    },
    setControlValue: (id, value) => { host.controls[id].value = value; },
    setControlEnabled: (id, enabled) => { host.controls[id].enabled = Boolean(enabled); },
    showDialog: (title) => { host.title = title; }
  };
  return host;
}

function append(list, line) {
  return list === '' ? line : list + '\n' + line;
}

// A plug-in that adds subjects with the conditions given, and a run that
// publishes one design matrix per subject.
function fakePlugin(conditions) {
  let count = 0;
  return {
    AddSubject(host) {
      count++;
      host.strings.VTCFileList = append(host.strings.VTCFileList, 'run' + count + '.vtc');
      host.strings.VTCFileNameList = append(host.strings.VTCFileNameList, '/data/s' + count + '/run' + count + '.vtc');
      host.strings.VOIFileList = append(host.strings.VOIFileList, 'roi.voi - FFA');
      if (host.ints.whichapproach === 0 && count > 1) host.ints.saveWeights = 1;
      host.ints.NrOfConditions = conditions.length;
      if (!host.ints.saveWeights) conditions.forEach((c, i) => { host.strings['CondName-' + (i + 1)] = c; });
      return true;
    },
    Clear() { count = 0; return true; },
    Load() { count = 0; return false; },
    Start(host) {
      host.strings.mdmFileName = host.ints.saveMDM ? '/data/group/Multistudy_PPI.mdm' : '';
      const sdms = [];
      for (let i = 1; i <= count; i++) sdms.push('/data/group/standPPI_run' + i + '_roi.sdm');
      host.strings.SDMFileList = sdms.join('\n');
      host.ints.nr_subs = count;
      host.strings.PPIRunManifest = '/data/group/PPI_run.json';
      host.disk['/data/group/PPI_run.json'] = JSON.stringify({ completed: true, listed: sdms });
      return true;
    }
  };
}

function openDialog(plugin) {
  const host = fakeHost(plugin);
  host.strings.VTCFileList = 'stale.vtc';
  host.ints.NrOfConditions = 1;
  host.ints.saveWeights = 1;
  host.strings['CondName-1'] = 'Stale';
  global.ScriptHost = host;
  gui.dialog.open();
  return host;
}

test('the dialog offers every control and starts with empty subject lists', () => {
  const host = openDialog(fakePlugin([]));
  assert.equal(host.title, 'PPI plugin');
  for (const id of ['addSubject', 'loadList', 'saveList', 'clearList', 'subjects', 'approach', 'baseline',
                    'list0', 'list1', 'list2', 'changePredName', 'saveMDM', 'addMoCo', 'zMC',
                    'interactionLevel', 'regionSummary', 'centrePsych', 'start']) {
    assert.ok(host.controls[id], id);
  }
  assert.deepEqual([host.strings.VTCFileList, host.controls.list1.value, host.ints.saveWeights], ['', '', 0]);
  assert.equal(host.controls.subjects.value, '(no subjects)');
  assert.deepEqual([host.controls.baseline.enabled, host.controls.zMC.enabled], [false, false]);
});

test('a full study: two subjects, a contrast, Start in multi-study mode', () => {
  const host = openDialog(fakePlugin(['Faces', 'Face', 'Rest']));
  gui.onControlEvent('addSubject', '');
  gui.onControlEvent('addSubject', '');
  assert.equal(host.controls.subjects.value, '1. run1.vtc  |  roi.voi - FFA\n2. run2.vtc  |  roi.voi - FFA');
  assert.equal(host.controls.list1.value, 'Faces\nFace\nRest');
  assert.match(host.controls.contrastNote.value, /holds for all subjects/);

  gui.onControlEvent('list2', 'Faces');
  gui.onControlEvent('list0', 'Face');
  gui.onControlEvent('saveMDM', '1');
  gui.onControlEvent('addMoCo', '1');
  assert.equal(host.controls.zMC.enabled, true);
  assert.deepEqual([host.controls.list0.value, host.controls.list2.value], ['Face', 'Faces']);
  assert.equal(host.controls.checks.value, 'Ready to start.');

  gui.onControlEvent('start', '');
  assert.deepEqual(host.commands, ['AddSubject', 'AddSubject', 'Start']);
  assert.deepEqual(host.messages, []);
  assert.deepEqual([0, 1, 2].map((i) => host.strings['CondID-' + i]), ['Face\tlist0', 'Faces\tlist2', 'Rest\tlist1']);
  assert.deepEqual([host.ints.saveMDM, host.ints.addMoCo, host.ints.zMC, host.ints.changePredName], [1, 1, 0, 0]);
  assert.equal(host.files['/data/group/Multistudy_PPI.mdm'],
               'FileVersion: 1\nNrOfStudies: 2\n\n' +
               '"/data/s1/run1.vtc" "/data/group/standPPI_run1_roi.sdm"\n' +
               '"/data/s2/run2.vtc" "/data/group/standPPI_run2_roi.sdm"\n');
  assert.match(host.controls.status.value, /multi-study file written/);
});

test('the method choices reach the run as 0 or 1, and a choice taken back is 0 again', () => {
  const host = openDialog(fakePlugin(['Faces', 'Rest']));
  for (const id of ['interactionLevel', 'regionSummary', 'centrePsych']) {
    assert.equal(host.controls[id].kind, 'choice', id);
    assert.equal(host.controls[id].value, '0', id);
    assert.equal(host.controls[id].extra.split('\n').length, 2, id);
  }
  gui.onControlEvent('addSubject', '');
  gui.onControlEvent('list2', 'Faces');
  gui.onControlEvent('interactionLevel', '1');
  gui.onControlEvent('regionSummary', '1');
  gui.onControlEvent('centrePsych', '1');
  gui.onControlEvent('regionSummary', '0');
  gui.onControlEvent('start', '');
  assert.deepEqual([host.ints.interactionLevel, host.ints.regionSummary, host.ints.centrePsych], [1, 0, 1]);
});

test('generalized approach: baseline field, checks and settings', () => {
  const host = openDialog(fakePlugin(['A', 'B', 'C']));
  gui.onControlEvent('approach', '1');
  assert.equal(host.ints.whichapproach, 1);
  assert.equal(host.controls.baseline.enabled, true);
  assert.equal(host.controls.list0.enabled, false);
  gui.onControlEvent('addSubject', '');
  gui.onControlEvent('baseline', '3');
  assert.match(host.controls.checks.value, /Error: Baseline 3 models no condition/);
  gui.onControlEvent('baseline', '1');
  gui.onControlEvent('start', '');
  assert.deepEqual(host.commands, ['AddSubject', 'Start']);
  assert.equal(host.ints.baseline, 1);
  assert.deepEqual(Object.keys(host.files), [], 'no multi-study file without multi-study mode');
});

test('Load and Clear empty the subject lists, Clear only when the plug-in cleared its own', () => {
  const plugin = fakePlugin(['A']);
  const host = openDialog(plugin);
  gui.onControlEvent('addSubject', '');
  plugin.Clear = () => false;
  gui.onControlEvent('clearList', '');
  assert.equal(host.strings.VTCFileList, 'run1.vtc');
  gui.onControlEvent('loadList', '');
  assert.deepEqual([host.strings.VTCFileList, host.strings.VTCFileNameList, host.strings.VOIFileList],
                   ['', '', '']);
  assert.equal(host.controls.subjects.value, '(no subjects)');
  assert.match(host.controls.status.value, /"Load" did not complete/);
  gui.onControlEvent('addSubject', '');
  plugin.Clear = () => true;
  gui.onControlEvent('clearList', '');
  assert.equal(host.strings.VTCFileList, '');
});

test('runs that write no multi-study file say why', () => {
  const cases = [
    { what: 'nothing to test', list: 'list1', message: /^Start refused:\nNothing to test/, commands: 1 },
    { what: 'counts disagree', start: (h) => { h.ints.nr_subs = 2; return true; },
      message: /was not written: the run reported 2 subject\(s\), 1 design matrix/ },
    { what: 'unwritable file', write: () => false, message: /^The multi-study file could not be written/ },
    { what: 'the run stops', start: () => false, status: /"Start" did not complete/ },
    { what: 'no manifest', start: (h) => { h.strings.PPIRunManifest = ''; return true; },
      message: /the run published no manifest/ },
    { what: 'manifest of a stopped run',
      start: (h) => { h.disk['/data/group/PPI_run.json'] = '{"completed": false}'; return true; },
      message: /does not say the run completed/ },
    { what: 'manifest of other designs',
      start: (h) => { h.disk['/data/group/PPI_run.json'] = '{"completed": true, "listed": ["x.sdm"]}'; return true; },
      message: /other design matrices/ }
  ];
  for (const c of cases) {
    const plugin = fakePlugin(['A']);
    const host = openDialog(plugin);
    gui.onControlEvent('addSubject', '');
    if (c.list !== 'list1') gui.onControlEvent('list2', 'A');
    gui.onControlEvent('saveMDM', '1');
    const start = plugin.Start;
    if (c.start) plugin.Start = (h) => { start(h); return c.start(h); };
    if (c.write) host.writeTextFile = c.write;
    gui.onControlEvent('start', '');
    assert.equal(host.commands.length, c.commands || 2, c.what);
    assert.deepEqual(host.files, {}, c.what);
    if (c.message) assert.deepEqual(host.messages.map((m) => c.message.test(m)), [true], c.what);
    if (c.status) assert.match(host.controls.status.value, c.status, c.what);
  }
});

test('the report shows as status and problems, which stay until the next command', () => {
  const plugin = fakePlugin(['A', 'B']);
  const host = openDialog(plugin);
  assert.equal(host.controls.problems.kind, 'list');
  const addSubject = plugin.AddSubject;
  plugin.AddSubject = (h) => {
    assert.equal(h.strings.PPIReport, undefined, 'the plug-in empties the report itself');
    addSubject(h);
    h.strings.PPIReport = 'AddSubject: subject 1 added\nwarning: subject 1 (run1.vtc): odd';
    return true;
  };
  gui.onControlEvent('addSubject', '');
  assert.equal(host.controls.status.value, 'AddSubject: subject 1 added');
  assert.equal(host.controls.problems.value, 'warning: subject 1 (run1.vtc): odd');
  gui.onControlEvent('list2', 'A');
  gui.onControlEvent('saveMDM', '1');
  assert.equal(host.controls.problems.value, 'warning: subject 1 (run1.vtc): odd', 'kept between commands');

  plugin.Start = (h) => {
    h.strings.PPIReport = 'Start: 0 of 1 design matrices saved, 1 error\nerror: subject 1 (run1.vtc): "Constant" collides';
    return false;
  };
  gui.onControlEvent('start', '');
  assert.equal(host.controls.status.value, 'Start: 0 of 1 design matrices saved, 1 error; did not complete.');
  assert.equal(host.controls.problems.value, 'error: subject 1 (run1.vtc): "Constant" collides');
  assert.deepEqual(host.files, {});

  plugin.Save = (h) => { h.strings.PPIReport = 'Save: 1 subject saved to s.ppi'; return true; };
  gui.onControlEvent('saveList', '');
  assert.deepEqual([host.controls.status.value, host.controls.problems.value], ['Save: 1 subject saved to s.ppi', '']);
});

test('the motion model and the censoring threshold reach the run; a threshold that is no number is refused', () => {
  const host = openDialog(fakePlugin(['Faces', 'Rest']));
  assert.equal(host.controls.moCoModel.kind, 'choice');
  assert.equal(host.controls.moCoModel.extra.split('\n').length, 3);
  assert.equal(host.controls.moCoModel.enabled, false, 'off until the motion predictors are added');
  gui.onControlEvent('addSubject', '');
  gui.onControlEvent('list2', 'Faces');
  gui.onControlEvent('moCoModel', '2');
  assert.match(host.controls.checks.value, /Warning: The motion model and censoring have no effect/);
  gui.onControlEvent('addMoCo', '1');
  assert.equal(host.controls.censorFD.enabled, true);
  gui.onControlEvent('censorFD', '0,5');
  assert.match(host.controls.checks.value, /Error: The censoring threshold "0,5" is not a number/);
  gui.onControlEvent('start', '');
  assert.deepEqual(host.commands, ['AddSubject'], 'Start refused');
  gui.onControlEvent('censorFD', ' 0.5 ');
  gui.onControlEvent('start', '');
  assert.deepEqual([host.ints.addMoCo, host.ints.moCoModel, host.strings.censorFD], [1, 24, '0.5']);
  gui.onControlEvent('moCoModel', '0');
  gui.onControlEvent('censorFD', '');
  gui.onControlEvent('start', '');
  assert.deepEqual([host.ints.moCoModel, host.strings.censorFD], [6, '0']);
});

// Splits a list into the plug-in's parts, as it publishes them.
function publishInParts(host, name, lines) {
  const parts = [];
  let part = null;
  for (const line of lines) {
    if (part !== null && part.length + 1 + line.length <= 4999) part += '\n' + line;
    else { if (part !== null) parts.push(part); part = line; }
  }
  parts.push(part === null ? '' : part);
  parts.forEach((p, k) => { host.strings[k === 0 ? name : name + '-' + (k + 1)] = p; });
  host.ints[name + '-parts'] = parts.length;
}

test('lists in parts: 1,000 subjects shown and written to the multi-study file, parts emptied by Load', () => {
  const count = 1000;
  const pad = (i, width) => String(i).padStart(width, '0');
  const vtcPaths = [], sdmPaths = [];
  for (let i = 1; i <= count; i++) {
    vtcPaths.push('/data/' + 'd'.repeat(112) + '/sub-' + pad(i, 4) + '/func/sub-' + pad(i, 4) + '_task.vtc');
    sdmPaths.push('/data/group/standPPI_sub-' + pad(i, 4) + '_task_roi_3DMC.sdm');
  }
  assert.equal(vtcPaths[0].length, 150);
  const plugin = {
    Load(host) {
      publishInParts(host, 'VTCFileList', vtcPaths.map((p) => p.slice(p.lastIndexOf('/') + 1)));
      publishInParts(host, 'VTCFileNameList', vtcPaths);
      publishInParts(host, 'VOIFileList', vtcPaths.map(() => 'roi.voi - FFA'));
      host.ints.NrOfConditions = 1;
      host.strings['CondName-1'] = 'Faces';
      return true;
    },
    Start(host) {
      host.strings.mdmFileName = '/data/group/Multistudy_PPI.mdm';
      publishInParts(host, 'SDMFileList', sdmPaths);
      host.ints.nr_subs = count;
      host.strings.PPIRunManifest = '/data/group/PPI_run.json';
      host.disk['/data/group/PPI_run.json'] = JSON.stringify({ completed: true, listed: sdmPaths });
      return true;
    }
  };
  const host = openDialog(plugin);
  gui.onControlEvent('loadList', '');
  assert.ok(host.ints['VTCFileNameList-parts'] > 30);
  const shown = host.controls.subjects.value.split('\n');
  assert.equal(shown.length, count);
  assert.equal(shown[999], '1000. sub-1000_task.vtc  |  roi.voi - FFA');

  gui.onControlEvent('list2', 'Faces');
  gui.onControlEvent('saveMDM', '1');
  gui.onControlEvent('start', '');
  assert.deepEqual(host.messages, []);
  const mdm = host.files['/data/group/Multistudy_PPI.mdm'].split('\n');
  assert.equal(mdm[1], 'NrOfStudies: 1000');
  assert.equal(mdm.length, 3 + count + 1);
  assert.equal(mdm[3 + 999], '"' + vtcPaths[999] + '" "' + sdmPaths[999] + '"');

  // The next Load empties every part first; a plug-in that then publishes a
  // short list leaves no old part to be read.
  const before = host.ints['VTCFileNameList-parts'];
  plugin.Load = (h) => {
    assert.deepEqual([h.strings.VTCFileNameList, h.strings['VTCFileNameList-2'], h.ints['VTCFileNameList-parts']], ['', '', 1]);
    h.strings.VTCFileList = 'one.vtc';
    h.strings.VOIFileList = 'roi.voi - FFA';
    return true;
  };
  gui.onControlEvent('loadList', '');
  assert.equal(host.strings['VTCFileNameList-' + before], '');
  assert.equal(host.controls.subjects.value, '1. one.vtc  |  roi.voi - FFA');
});
