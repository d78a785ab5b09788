// Unit tests of the logic layer of ppi_gui.js (node --test).
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const { logic } = require('../ppi_gui.js');

function contrast(pairs) {
  return { names: pairs.map((p) => p[0]), lists: pairs.map((p) => p[1]) };
}

// What the plug-in does with the entries: for each condition, the weight of
// the first entry that contains its name.
function weightsThePluginTakes(names, entries) {
  return logic.matchEntries(names, entries).map((n) => (n < 0 ? null : logic.entryWeight(entries[n])));
}

function permutations(items) {
  if (items.length <= 1) return [items];
  const result = [];
  items.forEach((item, i) => {
    const rest = items.slice(0, i).concat(items.slice(i + 1));
    permutations(rest).forEach((p) => result.push([item].concat(p)));
  });
  return result;
}

test('entryWeight follows the last list name that occurs; splitList reads host lists', () => {
  const weights = [['', -2], ['Faces', -2], ['Faces\tlist0', -1], ['Faces\tlist1', 0], ['Faces\tlist2', 1],
                   ['list2 list0', 1], ['list0list1', 0], ['list1 list2 list0', 1], ['List2', -2], ['list3', -2],
                   // the plug-in's own cases (tests/design/plan_test.cpp)
                   ['Faces: list0 list2', 1], ['Faces: list2 list1', 1], ['Faces: list1', 0]];
  for (const [text, weight] of weights) assert.equal(logic.entryWeight(text), weight, JSON.stringify(text));
  const lists = [['', []], [null, []], ['a.vtc\nb c.vtc', ['a.vtc', 'b c.vtc']], ['a.vtc\n', ['a.vtc', '']]];
  for (const [text, items] of lists) assert.deepEqual(logic.splitList(text), items, JSON.stringify(text));
});

test('contrast entries: each condition finds its own entry whatever the protocol order', () => {
  const families = [
    ['Face', 'Faces', 'Houses'],
    ['A', 'AB', 'ABC', 'B'],
    ['go', 'nogo', 'go_late'],
    ['x', 'xx', 'xxx']
  ];
  const lists = ['list0', 'list2', 'list1', 'list2'];
  for (const family of families) {
    for (const order of permutations(family)) {
      const c = contrast(order.map((name, i) => [name, lists[i % lists.length]]));
      const result = logic.contrastEntries(c);
      assert.deepEqual(result.problems, [], order.join(','));
      const owners = logic.matchEntries(c.names, result.entries)
        .map((n) => result.entries[n]);
      assert.deepEqual(owners, c.names.map((name, i) => logic.entryText(name, c.lists[i])),
                       order.join(','));
      assert.deepEqual(weightsThePluginTakes(c.names, result.entries),
                       c.lists.map((l) => logic.LIST_WEIGHTS[l]), order.join(','));
    }
  }
});

test('contrast entries keep protocol order unless a name lies inside an earlier entry', () => {
  // Unordered, "Face" would take the entry of "Faces" and get +1 instead of -1.
  assert.deepEqual(weightsThePluginTakes(['Faces', 'Face'], ['Faces\tlist2', 'Face\tlist0']), [1, 1]);
  const cases = [
    [[['Houses', 'list0'], ['Faces', 'list2'], ['Rest', 'list1']], ['Houses\tlist0', 'Faces\tlist2', 'Rest\tlist1']],
    [[['Faces', 'list2'], ['Face', 'list0'], ['Scrambled', 'list1']],
     ['Face\tlist0', 'Faces\tlist2', 'Scrambled\tlist1']],
    [[['A', 'list2'], ['', 'list0'], ['B', 'list1']], ['\tlist0', 'A\tlist2', 'B\tlist1']]
  ];
  for (const [pairs, entries] of cases) {
    assert.deepEqual(logic.contrastEntries(contrast(pairs)), { entries, problems: [] }, JSON.stringify(pairs));
  }
});

test('contrast entries report what cannot be ordered', () => {
  const cases = [  // pairs; the condition that takes another's entry, that entry, its intended weight, the weight
    [[['Go', 'list2'], ['Go', 'list0']], [1, 0, -1, 1]],
    [[['Go', 'list2'], ['Go', 'list2']], [1, 0, 1, 1]],
    [[['list2', 'list0'], ['B', 'list1']], [0, 0, -1, 1]],  // a name that is a list name
    [[['list1', 'list2'], ['list2', 'list1']], [1, 0, 0, 1]],  // each inside the other's entry
    [[['', 'list0'], ['', 'list2']], [1, 0, 1, -1]]
  ];
  for (const [pairs, problem] of cases) {
    const problems = logic.contrastEntries(contrast(pairs)).problems
      .map((p) => [p.condition, p.takenFrom, p.intendedWeight, p.weight]);
    assert.deepEqual(problems, [problem], JSON.stringify(pairs));
  }
});

test('updateContrast keeps each remaining condition\'s list and puts new ones in list1', () => {
  const before = [['Faces', 'list2'], ['Houses', 'list0'], ['Faces', 'list0']];
  const cases = [  // before, published names, saveWeights, after
    [before, ['Faces', 'Houses', 'Faces'], 0, before],
    [before, ['Rest', 'Houses', 'Faces'], 0, [['Rest', 'list1'], ['Houses', 'list0'], ['Faces', 'list2']]],
    [before, [], 0, []],
    [before, ['Other'], 1, before],  // saveWeights keeps the first protocol's contrast
    [[], ['A'], 1, [['A', 'list1']]]  // ... unless there is none yet
  ];
  for (const [pairs, names, saveWeights, after] of cases) {
    assert.deepEqual(logic.updateContrast(contrast(pairs), { names, saveWeights }), contrast(after),
                     JSON.stringify(names));
  }
});

test('moveCondition moves the first condition of the name not yet in the list', () => {
  const before = contrast([['Go', 'list1'], ['Go', 'list1'], ['Stop', 'list1']]);
  let c = logic.moveCondition(before, 'Go', 'list2');
  assert.deepEqual(c.lists, ['list2', 'list1', 'list1']);
  c = logic.moveCondition(c, 'Go', 'list2');
  assert.deepEqual(c.lists, ['list2', 'list2', 'list1']);
  assert.deepEqual(before.lists, ['list1', 'list1', 'list1'], 'the input is not changed');
  assert.equal(logic.moveCondition(before, 'Missing', 'list2'), before);
  assert.equal(logic.moveCondition(before, 'Go', 'list3'), before);
});

function checkState(overrides) {
  return Object.assign({
    approach: logic.STANDARD,
    baselineText: '0',
    contrast: contrast([['Faces', 'list2'], ['Houses', 'list0'], ['Rest', 'list1']]),
    options: { changePredName: false, saveMDM: true, addMoCo: false, zMC: false },
    subjectCount: 2,
    publishedConditionCount: 3,
    saveWeights: 0
  }, overrides);
}

test('runChecks: errors refuse a run, warnings do not', () => {
  const allInList1 = contrast([['Faces', 'list1'], ['Houses', 'list1']]);
  const G = logic.GENERALIZED;
  const cases = [  // what, state, errors, warnings
    ['a good standard contrast', {}],
    ['only list2', { contrast: contrast([['Faces', 'list2'], ['Rest', 'list1']]) }],
    ['no subjects', { subjectCount: 0 }, [/^No subjects/]],
    ['nothing in list0 or list2', { contrast: allInList1 }, [/^Nothing to test/]],
    ['no conditions', { contrast: contrast([]) }, [/no conditions/]],
    ['generalized ignores the lists', { approach: G, contrast: allInList1, baselineText: '1' }],
    ['baseline at the count', { approach: G, baselineText: '3' }, [/^Baseline 3 models no condition/]],
    ['baseline above it', { approach: G, baselineText: '7' }, [/^Baseline 7/]],
    ['negative baseline', { approach: G, baselineText: '-1' }, [/^Baseline -1/]],
    ['last condition as baseline', { approach: G, baselineText: ' 2 ' }],
    ['baseline not a number', { approach: G, baselineText: '1.5' }, [/not a whole number/]],
    ['duplicates, other weights', { contrast: contrast([['Go', 'list2'], ['Go', 'list0']]) },
     [/"Go" would take the entry of "Go" and get weight \+1 instead of -1/]],
    ['duplicates, same weight', { contrast: contrast([['Go', 'list2'], ['Go', 'list2']]) }, [],
     [/"Go" takes the entry of "Go".*same \(\+1\)/]],
    ['later protocol, other count', { saveWeights: 1, publishedConditionCount: 4 }, [],
     [/latest protocol has 4 condition\(s\), the first 3/]],
    ['z-transform without motion', { options: { changePredName: false, saveMDM: true, addMoCo: false, zMC: true } },
     [], [/^z-transforming/]]
  ];
  for (const [what, state, errors = [], warnings = []] of cases) {
    const checks = logic.runChecks(checkState(state));
    for (const [found, expected] of [[checks.errors, errors], [checks.warnings, warnings]]) {
      assert.equal(found.length, expected.length, what + ': ' + found);
      expected.forEach((re, i) => assert.match(found[i], re, what));
    }
  }
});

test('runSettings: the integers and the ordered CondID entries, emptying an earlier, longer contrast', () => {
  const options = { changePredName: true, saveMDM: true, addMoCo: true, zMC: false };
  const standard = logic.runSettings(checkState({ contrast: contrast([['Faces', 'list2'], ['Face', 'list0']]),
                                                  options }), 3);
  assert.deepEqual(standard, {
    ints: { whichapproach: 0, baseline: 0, changePredName: 1, saveMDM: 1, addMoCo: 1, zMC: 0,
            interactionLevel: 0, regionSummary: 0, centrePsych: 0, moCoModel: 6 },
    strings: { 'CondID-0': 'Face\tlist0', 'CondID-1': 'Faces\tlist2', 'CondID-2': '', censorFD: '0' },
    entryCount: 2
  });
  const generalized = logic.runSettings(checkState({ approach: logic.GENERALIZED, baselineText: '2' }), 2);
  assert.deepEqual(generalized.strings, { 'CondID-0': '', 'CondID-1': '', gPPIConditions: '', censorFD: '0' });
  assert.equal(generalized.entryCount, 0);
  assert.deepEqual([generalized.ints.whichapproach, generalized.ints.baseline], [1, 2]);
});

test('generalized approach by name: list2 becomes "gPPIConditions", checked before a run', () => {
  const three = contrast([['Rest', 'list1'], ['Attend', 'list2'], ['Passive', 'list2']]);
  const cases = [
    ['baseline rule', { modelList2: false, baselineText: '1' }, '', []],
    ['list2 by name', { modelList2: true, baselineText: 'x' }, 'Attend\tPassive', []],
    ['list2 empty', { modelList2: true, contrast: contrast([['Rest', 'list1']]) }, '',
     [/Nothing to model/]],
    ['standard approach never sends it', { approach: logic.STANDARD, modelList2: true }, undefined,
     []]
  ];
  for (const [what, change, expected, errors] of cases) {
    const state = checkState(Object.assign({ approach: logic.GENERALIZED, contrast: three }, change));
    assert.equal(logic.runSettings(state, 0).strings.gPPIConditions, expected, what);
    const found = logic.runChecks(state).errors;
    assert.equal(found.length, errors.length, what + ': ' + found.join('; '));
    errors.forEach((pattern, i) => assert.match(found[i], pattern, what));
  }
});

test('runSettings: each method option is 1 only when chosen as 1', () => {
  const cases = [
    ['none chosen', undefined, [0, 0, 0]],
    ['neural level', { interactionLevel: 1, regionSummary: 0, centrePsych: 0 }, [1, 0, 0]],
    ['eigenvariate and centred', { interactionLevel: 0, regionSummary: 1, centrePsych: 1 }, [0, 1, 1]],
    ['unknown values count as 0', { interactionLevel: 2, regionSummary: '1', centrePsych: -1 }, [0, 0, 0]]
  ];
  for (const [what, method, expected] of cases) {
    const ints = logic.runSettings(checkState(method ? { method } : {}), 0).ints;
    assert.deepEqual(logic.METHOD_PARAMETERS.map((name) => ints[name]), expected, what);
  }
});

test('parseMillimetres: plain decimal numbers of at least 0, an empty field 0', () => {
  const cases = [['', 0], [' 0.5 ', 0.5], ['2', 2], ['.25', 0.25], ['3.', 3],
                 ['0,5', null], ['-0.5', null], ['1e-1', null], ['0.5mm', null], ['abc', null]];
  for (const [text, expected] of cases) assert.equal(logic.parseMillimetres(text), expected, text);
});

test('multiStudyFile pairs each time course with its design matrix', () => {
  assert.deepEqual(logic.multiStudyFile('/g/m.mdm', ['/d/s01/r.vtc', '/d/s 02/r.vtc'], ['/g/a.sdm', '/g/b.sdm'], 2),
                   { ok: true, problem: '', text: 'FileVersion: 1\nNrOfStudies: 2\n\n' +
                     '"/d/s01/r.vtc" "/g/a.sdm"\n"/d/s 02/r.vtc" "/g/b.sdm"\n' });
});

test('multiStudyFile refuses disagreeing counts and unusable paths', () => {
  const cases = [
    [['m.mdm', ['a', 'b'], ['x'], 2], /2 subject\(s\), 1 design/],
    [['m.mdm', ['a'], ['x', 'y'], 2], /1 time course/],
    [['m.mdm', ['a', 'b'], ['x', 'y'], 3], /3 subject/],
    [['m.mdm', [], [], 0], /no studies/],
    [['', ['a'], ['x'], 1], /not in multi-study mode/],
    [['m.mdm', ['a"b'], ['x'], 1], /double quote/],
    [['m.mdm', ['a', ''], ['x', 'y'], 2], /empty/]
  ];
  for (const [args, problem] of cases) {
    const file = logic.multiStudyFile(...args);
    assert.deepEqual([file.ok, file.text], [false, ''], String(problem));
    assert.match(file.problem, problem);
  }
});

test('manifestAllows: only a completed run whose manifest lists the published designs', () => {
  const whole = JSON.stringify({ completed: true, listed: ['/g/a.sdm', '/g/b.sdm'] });
  const cases = [
    ['completed, same list', 'm.json', whole, ['/g/a.sdm', '/g/b.sdm'], null],
    ['no manifest published', '', '', ['/g/a.sdm'], /published no manifest/],
    ['manifest unreadable', 'm.json', '', ['/g/a.sdm'], /cannot be read/],
    ['manifest cut short', 'm.json', whole.slice(0, 20), ['/g/a.sdm'], /cannot be read/],
    ['run stopped', 'm.json', JSON.stringify({ completed: false, listed: [] }), [], /does not say the run completed/],
    ['completed as a text', 'm.json', JSON.stringify({ completed: 'true', listed: [] }), [], /does not say/],
    ['other designs', 'm.json', whole, ['/g/a.sdm', '/g/c.sdm'], /other design matrices/],
    ['other order', 'm.json', whole, ['/g/b.sdm', '/g/a.sdm'], /other design matrices/],
    ['one design fewer', 'm.json', whole, ['/g/a.sdm'], /other design matrices/]
  ];
  for (const [name, path, text, sdms, problem] of cases) {
    const result = logic.manifestAllows(path, text, sdms);
    assert.equal(result.ok, problem === null, name);
    if (problem) assert.match(result.problem, problem, name);
  }
});

test('subjectLines pairs the time courses with the regions, marking gaps', () => {
  assert.deepEqual(logic.subjectLines(['a.vtc', 'b.vtc'], ['r.voi - FFA']),
                   ['1. a.vtc  |  r.voi - FFA', '2. b.vtc  |  ?']);
  assert.deepEqual(logic.subjectLines([], []), []);
});

test('commandOutcome: the report\'s first line is the status; a command that stopped never reads as done', () => {
  const rows = [
    { name: 'no report, done', ok: true, report: '', status: '"Load" done.', problems: [] },
    { name: 'no report, stopped', ok: false, report: '', status: '"Load" did not complete; see the log.', problems: [] },
    { name: 'first line only', ok: true, report: 'Load: 2 of 2 subjects loaded from s.ppi',
      status: 'Load: 2 of 2 subjects loaded from s.ppi', problems: [] },
    { name: 'problems after it', ok: true, report: 'Load: 1 of 2 subjects loaded from s.ppi\nerror: s.ppi line 2: no index\n',
      status: 'Load: 1 of 2 subjects loaded from s.ppi', problems: ['error: s.ppi line 2: no index'] },
    { name: 'a stopped run', command: 'Start', ok: false,
      report: 'Start: 1 of 2 design matrices saved, 1 error\nerror: subject 2 (b.vtc): differs\n\nnote: x',
      status: 'Start: 1 of 2 design matrices saved, 1 error; did not complete.',
      problems: ['error: subject 2 (b.vtc): differs', 'note: x'] }
  ];
  for (const r of rows) {
    const outcome = logic.commandOutcome(r.command || 'Load', r.ok, r.report);
    assert.equal(outcome.status, r.status, r.name);
    assert.doesNotMatch(r.ok ? '' : outcome.status, /done/, r.name);
    assert.deepEqual(outcome.problems, r.problems, r.name);
  }
});

test('joinListParts joins full parts and reads a first part rewritten alone as the whole list', () => {
  const full = 'a'.repeat(4990);
  const rows = [
    ['no part', [], ''],
    ['one part', ['x\ny'], 'x\ny'],
    ['full parts', [full, 'b'.repeat(4995), 'c'.repeat(10)], full + '\n' + 'b'.repeat(4995) + '\n' + 'c'.repeat(10)],
    ['first part emptied', ['', 'b'.repeat(4995)], ''],
    ['first part set short', ['x', 'b'.repeat(4995)], 'x'],
    ['a part that would have held the next line', [full, 'b'], full]
  ];
  for (const [name, parts, joined] of rows) {
    assert.ok(logic.joinListParts(parts) === joined, name);
  }
  assert.deepEqual([logic.listPartName('SDMFileList', 1), logic.listPartName('SDMFileList', 3)],
                   ['SDMFileList', 'SDMFileList-3']);
});
