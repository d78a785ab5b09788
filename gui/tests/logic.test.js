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

test('entry weight follows the last list name that occurs, case-sensitively', () => {
  const cases = [
    ['', -2],
    ['Faces', -2],
    ['Faces\tlist0', -1],
    ['Faces\tlist1', 0],
    ['Faces\tlist2', 1],
    ['list0 list2', 1],
    ['list2 list0', 1],
    ['list0list1', 0],
    ['list1 list2 list0', 1],
    ['List2', -2],
    ['list3', -2]
  ];
  for (const [text, weight] of cases) {
    assert.equal(logic.entryWeight(text), weight, JSON.stringify(text));
  }
});

test('splitList reads newline-separated host lists', () => {
  const cases = [
    ['', []],
    [null, []],
    ['a.vtc', ['a.vtc']],
    ['a.vtc\nb.vtc', ['a.vtc', 'b.vtc']],
    ['a.vtc\n', ['a.vtc', '']],
    ['with blank.vtc\nb', ['with blank.vtc', 'b']]
  ];
  for (const [text, items] of cases) {
    assert.deepEqual(logic.splitList(text), items, JSON.stringify(text));
  }
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

test('contrast entries keep protocol order when no name occurs in another entry', () => {
  const c = contrast([['Houses', 'list0'], ['Faces', 'list2'], ['Rest', 'list1']]);
  assert.deepEqual(logic.contrastEntries(c).entries,
                   ['Houses\tlist0', 'Faces\tlist2', 'Rest\tlist1']);
});

test('contrast entries move the shorter name before the entry that contains it', () => {
  // Unordered, "Face" would take the entry of "Faces" and get +1 instead of -1.
  const c = contrast([['Faces', 'list2'], ['Face', 'list0'], ['Scrambled', 'list1']]);
  const unordered = ['Faces\tlist2', 'Face\tlist0', 'Scrambled\tlist1'];
  assert.deepEqual(weightsThePluginTakes(c.names, unordered), [1, 1, 0]);
  assert.deepEqual(logic.contrastEntries(c).entries,
                   ['Face\tlist0', 'Faces\tlist2', 'Scrambled\tlist1']);
});

test('contrast entries report what cannot be ordered', () => {
  const cases = [
    {
      what: 'the same name twice, in different lists',
      pairs: [['Go', 'list2'], ['Go', 'list0']],
      problems: [{ condition: 1, takenFrom: 0, intendedWeight: -1, weight: 1 }]
    },
    {
      what: 'the same name twice, in one list',
      pairs: [['Go', 'list2'], ['Go', 'list2']],
      problems: [{ condition: 1, takenFrom: 0, intendedWeight: 1, weight: 1 }]
    },
    {
      what: 'a name that is a list name',
      pairs: [['list2', 'list0'], ['B', 'list1']],
      problems: [{ condition: 0, takenFrom: 0, intendedWeight: -1, weight: 1 }]
    },
    {
      what: 'two names each inside the other\'s entry',
      pairs: [['list1', 'list2'], ['list2', 'list1']],
      problems: [{ condition: 1, takenFrom: 0, intendedWeight: 0, weight: 1 }]
    },
    {
      what: 'two empty names',
      pairs: [['', 'list0'], ['', 'list2']],
      problems: [{ condition: 1, takenFrom: 0, intendedWeight: 1, weight: -1 }]
    }
  ];
  for (const entry of cases) {
    const problems = logic.contrastEntries(contrast(entry.pairs)).problems
      .map((p) => ({ condition: p.condition, takenFrom: p.takenFrom,
                     intendedWeight: p.intendedWeight, weight: p.weight }));
    assert.deepEqual(problems, entry.problems, entry.what);
  }
});

test('one empty name goes first and the others still find their own entries', () => {
  const c = contrast([['A', 'list2'], ['', 'list0'], ['B', 'list1']]);
  const result = logic.contrastEntries(c);
  assert.deepEqual(result.problems, []);
  assert.equal(result.entries[0], '\tlist0');
});

test('updateContrast keeps each remaining condition\'s list and puts new ones in list1', () => {
  const before = contrast([['Faces', 'list2'], ['Houses', 'list0'], ['Faces', 'list0']]);
  const cases = [
    {
      what: 'same protocol',
      published: { names: ['Faces', 'Houses', 'Faces'], saveWeights: 0 },
      after: [['Faces', 'list2'], ['Houses', 'list0'], ['Faces', 'list0']]
    },
    {
      what: 'reordered, one new, one gone',
      published: { names: ['Rest', 'Houses', 'Faces'], saveWeights: 0 },
      after: [['Rest', 'list1'], ['Houses', 'list0'], ['Faces', 'list2']]
    },
    {
      what: 'no conditions',
      published: { names: [], saveWeights: 0 },
      after: []
    },
    {
      what: 'saveWeights keeps the first protocol\'s contrast',
      published: { names: ['Other'], saveWeights: 1 },
      after: [['Faces', 'list2'], ['Houses', 'list0'], ['Faces', 'list0']]
    }
  ];
  for (const entry of cases) {
    assert.deepEqual(logic.updateContrast(before, entry.published), contrast(entry.after), entry.what);
  }
  assert.deepEqual(logic.updateContrast(contrast([]), { names: ['A'], saveWeights: 1 }),
                   contrast([['A', 'list1']]), 'saveWeights with no contrast yet');
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
  const cases = [
    { what: 'a good standard contrast', state: {}, errors: [], warnings: [] },
    { what: 'only list2', state: { contrast: contrast([['Faces', 'list2'], ['Rest', 'list1']]) },
      errors: [], warnings: [] },
    { what: 'no subjects', state: { subjectCount: 0 }, errors: [/^No subjects/], warnings: [] },
    { what: 'nothing in list0 or list2', state: { contrast: allInList1 },
      errors: [/^Nothing to test/], warnings: [] },
    { what: 'a protocol without conditions', state: { contrast: contrast([]) },
      errors: [/no conditions/], warnings: [] },
    { what: 'generalized ignores the contrast lists',
      state: { approach: logic.GENERALIZED, contrast: allInList1, baselineText: '1' },
      errors: [], warnings: [] },
    { what: 'generalized, baseline at the number of conditions',
      state: { approach: logic.GENERALIZED, baselineText: '3' }, errors: [/^Baseline 3 models no condition/],
      warnings: [] },
    { what: 'generalized, baseline above it',
      state: { approach: logic.GENERALIZED, baselineText: '7' }, errors: [/^Baseline 7/], warnings: [] },
    { what: 'generalized, negative baseline',
      state: { approach: logic.GENERALIZED, baselineText: '-1' }, errors: [/^Baseline -1/], warnings: [] },
    { what: 'generalized, last condition as baseline',
      state: { approach: logic.GENERALIZED, baselineText: ' 2 ' }, errors: [], warnings: [] },
    { what: 'generalized, baseline not a number',
      state: { approach: logic.GENERALIZED, baselineText: '1.5' }, errors: [/not a whole number/],
      warnings: [] },
    { what: 'duplicate names with different weights',
      state: { contrast: contrast([['Go', 'list2'], ['Go', 'list0']]) },
      errors: [/"Go" would take the entry of "Go" and get weight \+1 instead of -1/], warnings: [] },
    { what: 'duplicate names with the same weight',
      state: { contrast: contrast([['Go', 'list2'], ['Go', 'list2']]) },
      errors: [], warnings: [/"Go" takes the entry of "Go".*same \(\+1\)/] },
    { what: 'later protocol with another number of conditions',
      state: { saveWeights: 1, publishedConditionCount: 4 }, errors: [],
      warnings: [/latest protocol has 4 condition\(s\), the first 3/] },
    { what: 'z-transform without motion predictors',
      state: { options: { changePredName: false, saveMDM: true, addMoCo: false, zMC: true } },
      errors: [], warnings: [/^z-transforming/] }
  ];
  for (const entry of cases) {
    const checks = logic.runChecks(checkState(entry.state));
    assert.equal(checks.errors.length, entry.errors.length, entry.what + ': ' + checks.errors);
    entry.errors.forEach((re, i) => assert.match(checks.errors[i], re, entry.what));
    assert.equal(checks.warnings.length, entry.warnings.length, entry.what + ': ' + checks.warnings);
    entry.warnings.forEach((re, i) => assert.match(checks.warnings[i], re, entry.what));
  }
});

test('runSettings: the integers and the ordered CondID entries of the standard approach', () => {
  const state = checkState({
    contrast: contrast([['Faces', 'list2'], ['Face', 'list0']]),
    options: { changePredName: true, saveMDM: true, addMoCo: true, zMC: false }
  });
  const settings = logic.runSettings(state, 0);
  assert.deepEqual(settings.ints, {
    whichapproach: 0, baseline: 0, changePredName: 1, saveMDM: 1, addMoCo: 1, zMC: 0
  });
  assert.deepEqual(settings.strings, { 'CondID-0': 'Face\tlist0', 'CondID-1': 'Faces\tlist2' });
  assert.equal(settings.entryCount, 2);
});

test('runSettings empties the entries of an earlier, longer contrast', () => {
  const standard = logic.runSettings(checkState({ contrast: contrast([['A', 'list2']]) }), 3);
  assert.deepEqual(standard.strings, { 'CondID-0': 'A\tlist2', 'CondID-1': '', 'CondID-2': '' });
  const generalized = logic.runSettings(checkState({ approach: logic.GENERALIZED, baselineText: '2' }), 2);
  assert.deepEqual(generalized.strings, { 'CondID-0': '', 'CondID-1': '' });
  assert.equal(generalized.entryCount, 0);
  assert.equal(generalized.ints.whichapproach, 1);
  assert.equal(generalized.ints.baseline, 2);
});

test('multiStudyFile pairs each time course with its design matrix', () => {
  const file = logic.multiStudyFile('/data/group/Multistudy_PPI.mdm',
                                    ['/data/s01/run1.vtc', '/data/s 02/run1.vtc'],
                                    ['/data/group/standPPI_run1_FFA.sdm', '/data/group/b.sdm'], 2);
  assert.equal(file.ok, true);
  assert.equal(file.text,
               'FileVersion: 1\n' +
               'NrOfStudies: 2\n' +
               '\n' +
               '"/data/s01/run1.vtc" "/data/group/standPPI_run1_FFA.sdm"\n' +
               '"/data/s 02/run1.vtc" "/data/group/b.sdm"\n');
});

test('multiStudyFile refuses disagreeing counts and unusable paths', () => {
  const cases = [
    { what: 'fewer design matrices', args: ['m.mdm', ['a', 'b'], ['x'], 2], problem: /2 subject\(s\), 1 design/ },
    { what: 'fewer time courses', args: ['m.mdm', ['a'], ['x', 'y'], 2], problem: /1 time course/ },
    { what: 'another subject count', args: ['m.mdm', ['a', 'b'], ['x', 'y'], 3], problem: /3 subject/ },
    { what: 'no studies', args: ['m.mdm', [], [], 0], problem: /no studies/ },
    { what: 'no file chosen', args: ['', ['a'], ['x'], 1], problem: /not in multi-study mode/ },
    { what: 'a quote in a path', args: ['m.mdm', ['a"b'], ['x'], 1], problem: /double quote/ },
    { what: 'an empty path', args: ['m.mdm', ['a', ''], ['x', 'y'], 2], problem: /empty/ }
  ];
  for (const entry of cases) {
    const file = logic.multiStudyFile.apply(null, entry.args);
    assert.equal(file.ok, false, entry.what);
    assert.equal(file.text, '', entry.what);
    assert.match(file.problem, entry.problem, entry.what);
  }
});

test('subjectLines pairs the time courses with the regions, marking gaps', () => {
  assert.deepEqual(logic.subjectLines(['a.vtc', 'b.vtc'], ['r.voi - FFA']),
                   ['1. a.vtc  |  r.voi - FFA', '2. b.vtc  |  ?']);
  assert.deepEqual(logic.subjectLines([], []), []);
});
