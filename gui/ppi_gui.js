// ppi_gui.js - the user interface of the PPI plug-in.
//
// The host runs this script beside the plug-in library. The script shows the
// plug-in's dialog, keeps the run settings in the host's named parameters,
// sends the plug-in its commands ("AddSubject", "Load", "Save", "Clear",
// "Start") and, after a run in multi-study mode, writes the multi-study file.
//
// Plain ECMAScript 5 (no let, const, arrow functions, classes or template
// strings): the host's script runner is neither a browser nor node.
//
// Three layers, each only calling the ones above it:
//   1. HostAdapter - the only code that touches the host's script interface
//      (docs/gui-host-interface.md). Porting the script to another runner
//      means rewriting this layer only.
//   2. PpiLogic    - pure functions: contrast entries, run settings, checks,
//      the multi-study file's text. No host calls; unit-tested under node.
//   3. PpiDialog   - the dialog: its controls, their state and the handlers
//      of the user's actions.

// ---------------------------------------------------------------------------
// 1. Host adapter
// ---------------------------------------------------------------------------

var HostAdapter = (function () {
  // The runner provides the global object ScriptHost; it is looked up on each
  // call so that a test can install a fake one after loading the script.
  function host() {
    if (typeof ScriptHost === 'undefined') {
      throw new Error('ppi_gui.js: the host provides no ScriptHost object');
    }
    return ScriptHost;
  }

  function asText(value) {
    return value === undefined || value === null ? '' : String(value);
  }

  return {
    getInt: function (name) {
      var value = Number(host().getIntParameter(name));
      return isFinite(value) ? Math.round(value) : 0;
    },
    setInt: function (name, value) {
      host().setIntParameter(name, value | 0);
    },
    getString: function (name) {
      return asText(host().getStringParameter(name));
    },
    setString: function (name, value) {
      host().setStringParameter(name, asText(value));
    },
    // Names the command in "Command" and has the host run the plug-in's
    // execute; the plug-in's result as a boolean.
    sendCommand: function (command) {
      host().setStringParameter('Command', command);
      return Boolean(host().executePlugin());
    },
    showMessage: function (text) {
      host().messageBox(asText(text));
    },
    writeTextFile: function (path, text) {
      return Boolean(host().writeTextFile(path, text));
    },
    // A file's whole text; the empty text when it cannot be read.
    readTextFile: function (path) {
      var runner = host();
      return typeof runner.readTextFile === 'function' ? asText(runner.readTextFile(path)) : '';
    },
    // Declarative dialog. kind: "section", "note", "button", "checkbox",
    // "choice", "number", "text", "list"; value and extra as text (see
    // docs/gui-host-interface.md).
    addControl: function (kind, id, label, value, extra) {
      host().addControl(kind, id, asText(label), asText(value), asText(extra));
    },
    setValue: function (id, value) {
      host().setControlValue(id, asText(value));
    },
    setEnabled: function (id, enabled) {
      host().setControlEnabled(id, enabled ? 1 : 0);
    },
    showDialog: function (title) {
      host().showDialog(title);
    }
  };
})();

// ---------------------------------------------------------------------------
// 2. Logic (pure functions)
// ---------------------------------------------------------------------------

var PpiLogic = (function () {
  var LIST_IDS = ['list0', 'list1', 'list2'];
  var LIST_WEIGHTS = { list0: -1, list1: 0, list2: 1 };
  var STANDARD = 0;
  var GENERALIZED = 1;

  function contains(text, part) {
    return String(text).indexOf(part) !== -1;
  }

  function formatWeight(weight) {
    if (weight === null) {
      return 'none';
    }
    return weight > 0 ? '+' + weight : String(weight);
  }

  // A newline-separated host list as an array; the empty text has no entry.
  function splitList(text) {
    if (text === undefined || text === null || text === '') {
      return [];
    }
    return String(text).split('\n');
  }

  // A list the plug-in publishes longer than one parameter holds comes in
  // parts: "<name>", "<name>-2", "<name>-3", ..., each of at most LIST_LIMIT
  // characters of whole lines, counted by the integer "<name>-parts" (unset or
  // 1 for a list that fits). Every part but the last is full: the next part's
  // first line would not have fitted into it. A first part rewritten alone
  // (emptied by a script that knows no parts) fails that mark, and the old
  // parts are not the list's: the first part is then the whole list.
  var LIST_LIMIT = 4999;

  function listPartName(name, part) {
    return part > 1 ? name + '-' + part : name;
  }

  function partIsFull(part, next) {
    var end = next.indexOf('\n');
    var firstLine = end < 0 ? next.length : end;
    return part.length <= LIST_LIMIT && part.length + 1 + firstLine > LIST_LIMIT;
  }

  function joinListParts(parts) {
    if (parts.length === 0) {
      return '';
    }
    for (var k = 0; k + 1 < parts.length; k++) {
      if (!partIsFull(parts[k], parts[k + 1])) {
        return parts[0];
      }
    }
    if (parts[parts.length - 1].length > LIST_LIMIT) {
      return parts[0];
    }
    return parts.join('\n');
  }

  // The weight the plug-in gives an entry text: no list -2; "list0" -1, then
  // "list1" 0, then "list2" +1, the last that occurs winning. With
  // matchEntries below this is the dialog's one copy of the plug-in's rule
  // (its design plan decides the weights of a run); the dialog uses it only to
  // order the entries and to warn before a run; its node tests take the
  // plug-in's cases too.
  function entryWeight(text) {
    var weight = -2;
    if (contains(text, 'list0')) {
      weight = -1;
    }
    if (contains(text, 'list1')) {
      weight = 0;
    }
    if (contains(text, 'list2')) {
      weight = 1;
    }
    return weight;
  }

  // The "CondID-%d" text of a condition in a list.
  function entryText(name, listId) {
    return name + '\t' + listId;
  }

  // For every condition, the entry the plug-in takes for it: the first entry
  // whose text contains the condition's name. -1 when none does.
  function matchEntries(names, entries) {
    var matches = [];
    for (var m = 0; m < names.length; m++) {
      var found = -1;
      for (var n = 0; n < entries.length && found < 0; n++) {
        if (contains(entries[n], names[m])) {
          found = n;
        }
      }
      matches.push(found);
    }
    return matches;
  }

  // The order of the conditions' entries in which each condition's own entry
  // comes before every other entry that contains its name, keeping protocol
  // order where there is a choice. Where no such order exists (two conditions
  // each inside the other's entry), the earliest remaining condition goes
  // first and one of them takes another's entry.
  function orderEntries(names, entries) {
    var count = names.length;
    var before = [];  // before[i][j]: entry i must precede entry j
    var pending = []; // number of entries that must precede entry j
    var placed = [];
    var i, j;
    for (i = 0; i < count; i++) {
      before.push([]);
      pending.push(0);
      placed.push(false);
    }
    for (i = 0; i < count; i++) {
      for (j = 0; j < count; j++) {
        before[i].push(i !== j && contains(entries[j], names[i]));
        if (before[i][j]) {
          pending[j]++;
        }
      }
    }
    var order = [];
    while (order.length < count) {
      var next = -1;
      for (j = 0; j < count && next < 0; j++) {
        if (!placed[j] && pending[j] === 0) {
          next = j;
        }
      }
      for (j = 0; j < count && next < 0; j++) {
        if (!placed[j]) {
          next = j;
        }
      }
      placed[next] = true;
      order.push(next);
      for (j = 0; j < count; j++) {
        if (before[next][j]) {
          pending[j]--;
        }
      }
    }
    return order;
  }

  // The "CondID-%d" entries of a contrast (conditions in protocol order, each
  // with its list), ordered so that each condition finds its own entry where
  // possible. problems lists, per condition that the plug-in will match with
  // another entry, whether that changes its weight.
  function contrastEntries(contrast) {
    var names = contrast.names;
    var own = [];
    var i;
    for (i = 0; i < names.length; i++) {
      own.push(entryText(names[i], contrast.lists[i]));
    }
    var order = orderEntries(names, own);
    var entries = [];
    var ownerOf = [];
    for (i = 0; i < order.length; i++) {
      entries.push(own[order[i]]);
      ownerOf.push(order[i]);
    }
    var matches = matchEntries(names, entries);
    var problems = [];
    for (i = 0; i < names.length; i++) {
      var intended = LIST_WEIGHTS[contrast.lists[i]];
      var taken = matches[i] < 0 ? null : entryWeight(entries[matches[i]]);
      var owner = matches[i] < 0 ? -1 : ownerOf[matches[i]];
      if (owner !== i || taken !== intended) {
        problems.push({
          condition: i,
          name: names[i],
          takenFrom: owner,
          intendedWeight: intended,
          weight: taken
        });
      }
    }
    return { entries: entries, problems: problems };
  }

  // The contrast after a command: the conditions the plug-in published, each
  // keeping the list it had when a condition of that name was there before,
  // else "list1". With "saveWeights" 1 the first protocol's contrast holds
  // for all subjects and is kept as it is.
  function updateContrast(contrast, published) {
    if (published.saveWeights === 1 && contrast.names.length > 0) {
      return contrast;
    }
    var used = [];
    var i, k;
    for (k = 0; k < contrast.names.length; k++) {
      used.push(false);
    }
    var names = [];
    var lists = [];
    for (i = 0; i < published.names.length; i++) {
      var list = 'list1';
      for (k = 0; k < contrast.names.length; k++) {
        if (!used[k] && contrast.names[k] === published.names[i]) {
          used[k] = true;
          list = contrast.lists[k];
          break;
        }
      }
      names.push(published.names[i]);
      lists.push(list);
    }
    return { names: names, lists: lists };
  }

  // Moves the first condition of that name that is not yet in the list.
  function moveCondition(contrast, name, listId) {
    if (!LIST_WEIGHTS.hasOwnProperty(listId)) {
      return contrast;
    }
    var lists = contrast.lists.slice();
    for (var i = 0; i < contrast.names.length; i++) {
      if (contrast.names[i] === name && lists[i] !== listId) {
        lists[i] = listId;
        return { names: contrast.names.slice(), lists: lists };
      }
    }
    return contrast;
  }

  // The names of the conditions in one list, in protocol order.
  function conditionsInList(contrast, listId) {
    var names = [];
    for (var i = 0; i < contrast.names.length; i++) {
      if (contrast.lists[i] === listId) {
        names.push(contrast.names[i]);
      }
    }
    return names;
  }

  function parseBaseline(text) {
    var trimmed = String(text).replace(/^\s+|\s+$/g, '');
    return /^[+-]?\d+$/.test(trimmed) ? parseInt(trimmed, 10) : null;
  }

  // The problems to settle before a run. state: approach, baselineText,
  // modelList2, contrast, options, subjectCount, publishedConditionCount,
  // saveWeights.
  // errors refuse the run; warnings are shown but do not stop it.
  function runChecks(state) {
    var errors = [];
    var warnings = [];
    var count = state.contrast.names.length;
    if (state.subjectCount === 0) {
      errors.push('No subjects: add subjects or load a subject list first.');
    }
    if (state.approach === GENERALIZED && state.modelList2) {
      if (count > 0 && conditionsInList(state.contrast, 'list2').length === 0) {
        errors.push('Nothing to model: move the conditions the generalized approach models ' +
                    'into list2.');
      }
    } else if (state.approach === GENERALIZED) {
      var baseline = parseBaseline(state.baselineText);
      if (baseline === null) {
        errors.push('The baseline "' + state.baselineText + '" is not a whole number.');
      } else if (baseline < 0 || baseline >= count) {
        errors.push('Baseline ' + baseline + ' models no condition: the protocol has ' +
                    count + ' condition(s), numbered from 0; choose a baseline from 0 to ' +
                    (count - 1) + '.');
      }
    } else {
      if (count > 0 && conditionsInList(state.contrast, 'list0').length === 0 &&
          conditionsInList(state.contrast, 'list2').length === 0) {
        errors.push('Nothing to test: move at least one condition to list0 (weight -1) ' +
                    'or list2 (weight +1).');
      } else if (count === 0 && state.subjectCount > 0) {
        errors.push('The protocol has no conditions: there is nothing to test.');
      }
      var problems = contrastEntries(state.contrast).problems;
      for (var i = 0; i < problems.length; i++) {
        var p = problems[i];
        var other = p.takenFrom >= 0 ? '"' + state.contrast.names[p.takenFrom] + '"' : 'no condition';
        if (p.weight !== p.intendedWeight) {
          errors.push('Condition "' + p.name + '" would take the entry of ' + other +
                      ' and get weight ' + formatWeight(p.weight) + ' instead of ' +
                      formatWeight(p.intendedWeight) + '.');
        } else {
          warnings.push('Condition "' + p.name + '" takes the entry of ' + other +
                        ' (its name occurs in it); the weight is the same (' +
                        formatWeight(p.weight) + ').');
        }
      }
      if (state.saveWeights === 1 && state.publishedConditionCount !== count) {
        warnings.push('The latest protocol has ' + state.publishedConditionCount +
                      ' condition(s), the first ' + count +
                      ': the contrast of the first protocol is used for all subjects.');
      }
    }
    if (state.options.zMC && !state.options.addMoCo) {
      warnings.push('z-transforming the motion predictors has no effect unless they are added.');
    }
    var motion = state.motion || { model: 6, censorText: '0' };
    var censor = parseMillimetres(motion.censorText);
    if (censor === null) {
      errors.push('The censoring threshold "' + motion.censorText +
                  '" is not a number of millimetres (0 or more; 0 censors nothing).');
    }
    if (!state.options.addMoCo && (motion.model !== 6 || (censor !== null && censor > 0))) {
      warnings.push('The motion model and censoring have no effect unless the motion predictors ' +
                    'are added.');
    }
    return { errors: errors, warnings: warnings };
  }

  // A threshold in millimetres as typed: a plain decimal number of at least 0
  // (an empty field is 0), else null.
  function parseMillimetres(text) {
    var trimmed = String(text === undefined || text === null ? '' : text).trim();
    if (trimmed === '') return 0;
    if (!/^(\d+\.?\d*|\.\d+)$/.test(trimmed)) return null;
    return Number(trimmed);
  }

  // The motion models the merge offers, in the dialog's order: the six
  // estimates; with their derivatives; with the squares of both.
  var MOTION_MODELS = [6, 12, 24];

  // The method options: each 0 (the original recipe) or 1 (see the help
  // page's "Method" section).
  var METHOD_PARAMETERS = ['interactionLevel', 'regionSummary', 'centrePsych'];

  // The host parameters a run reads: the integers and, under the standard
  // approach, the "CondID-%d" entries. Entries from an earlier, longer
  // contrast (up to previousEntryCount) are emptied.
  function runSettings(state, previousEntryCount) {
    var baseline = parseBaseline(state.baselineText);
    var ints = {
      whichapproach: state.approach,
      baseline: baseline === null ? 0 : baseline,
      changePredName: state.options.changePredName ? 1 : 0,
      saveMDM: state.options.saveMDM ? 1 : 0,
      addMoCo: state.options.addMoCo ? 1 : 0,
      zMC: state.options.zMC ? 1 : 0
    };
    var method = state.method || {};
    for (var m = 0; m < METHOD_PARAMETERS.length; m++) {
      ints[METHOD_PARAMETERS[m]] = method[METHOD_PARAMETERS[m]] === 1 ? 1 : 0;
    }
    var motion = state.motion || { model: 6, censorText: '0' };
    ints.moCoModel = motion.model;
    var strings = { censorFD: String(parseMillimetres(motion.censorText) || 0) };
    var entryCount = 0;
    if (state.approach === STANDARD) {
      var entries = contrastEntries(state.contrast).entries;
      for (var n = 0; n < entries.length; n++) {
        strings['CondID-' + n] = entries[n];
      }
      entryCount = entries.length;
    }
    for (var stale = entryCount; stale < previousEntryCount; stale++) {
      strings['CondID-' + stale] = '';
    }
    // The generalized approach models the conditions of list2 by name when
    // asked to ("gPPIConditions", tab-separated), else those from the
    // baseline on (the parameter empty).
    if (state.approach === GENERALIZED) {
      strings.gPPIConditions = state.modelList2
        ? conditionsInList(state.contrast, 'list2').join('\t') : '';
    }
    return { ints: ints, strings: strings, entryCount: entryCount };
  }

  // The multi-study file: a header with the number of studies, then one line
  // per study with its time course and its design matrix, both quoted.
  // Refused (ok false, with the reason) when the counts disagree.
  function multiStudyFile(mdmPath, vtcPaths, sdmPaths, nrOfSubjects) {
    function refuse(reason) {
      return { ok: false, text: '', problem: reason };
    }
    if (mdmPath === '') {
      return refuse('No multi-study file was chosen: the run was not in multi-study mode.');
    }
    if (vtcPaths.length !== nrOfSubjects || sdmPaths.length !== nrOfSubjects) {
      return refuse('The multi-study file "' + mdmPath + '" was not written: the run reported ' +
                    nrOfSubjects + ' subject(s), ' + sdmPaths.length + ' design matrix(es) and ' +
                    vtcPaths.length + ' time course(s).');
    }
    if (nrOfSubjects === 0) {
      return refuse('The multi-study file "' + mdmPath + '" was not written: there are no studies.');
    }
    var all = vtcPaths.concat(sdmPaths);
    for (var k = 0; k < all.length; k++) {
      if (all[k] === '' || contains(all[k], '"')) {
        return refuse('The multi-study file "' + mdmPath + '" was not written: the path "' +
                      all[k] + '" is empty or holds a double quote.');
      }
    }
    var lines = ['FileVersion: 1', 'NrOfStudies: ' + nrOfSubjects, ''];
    for (var i = 0; i < nrOfSubjects; i++) {
      lines.push('"' + vtcPaths[i] + '" "' + sdmPaths[i] + '"');
    }
    return { ok: true, text: lines.join('\n') + '\n', problem: '' };
  }

  // The run manifest (its text) must say that the run completed and list the
  // design matrices the multi-study file would name, in the same order: a
  // group file is built only from one whole run.
  function manifestAllows(manifestPath, manifestText, sdmPaths) {
    function refuse(reason) {
      return { ok: false, problem: 'The multi-study file was not written: ' + reason };
    }
    if (manifestPath === '') {
      return refuse('the run published no manifest.');
    }
    var manifest;
    try {
      manifest = JSON.parse(manifestText);
    } catch (e) {
      return refuse('the run manifest "' + manifestPath + '" cannot be read.');
    }
    if (!manifest || manifest.completed !== true) {
      return refuse('the run manifest "' + manifestPath + '" does not say the run completed.');
    }
    var listed = manifest.listed instanceof Array ? manifest.listed : [];
    var same = listed.length === sdmPaths.length;
    for (var i = 0; same && i < listed.length; i++) {
      same = listed[i] === sdmPaths[i];
    }
    if (!same) {
      return refuse('the run manifest "' + manifestPath + '" lists other design matrices than the run published.');
    }
    return { ok: true, problem: '' };
  }

  // What the dialog shows after a command: the plug-in's report ("PPIReport")
  // gives the status, its first line, and the problems, one per later line. A
  // command that did not complete never reads as done.
  function commandOutcome(name, ok, reportText) {
    var lines = String(reportText).split('\n');
    var problems = [];
    for (var i = 1; i < lines.length; i++) {
      if (lines[i] !== '') problems.push(lines[i]);
    }
    var first = lines[0];
    var status;
    if (first === '') {
      status = '"' + name + '" ' + (ok ? 'done.' : 'did not complete; see the log.');
    } else {
      status = ok ? first : first + '; did not complete.';
    }
    return { status: status, problems: problems };
  }

  // The subjects view: one line per subject with its time course and region.
  function subjectLines(vtcNames, voiNames) {
    var count = Math.max(vtcNames.length, voiNames.length);
    var lines = [];
    for (var i = 0; i < count; i++) {
      var vtc = i < vtcNames.length ? vtcNames[i] : '?';
      var voi = i < voiNames.length ? voiNames[i] : '?';
      lines.push((i + 1) + '. ' + vtc + '  |  ' + voi);
    }
    return lines;
  }

  return {
    LIST_IDS: LIST_IDS,
    LIST_WEIGHTS: LIST_WEIGHTS,
    STANDARD: STANDARD,
    GENERALIZED: GENERALIZED,
    splitList: splitList,
    listPartName: listPartName,
    partIsFull: partIsFull,
    joinListParts: joinListParts,
    entryWeight: entryWeight,
    entryText: entryText,
    matchEntries: matchEntries,
    orderEntries: orderEntries,
    contrastEntries: contrastEntries,
    updateContrast: updateContrast,
    moveCondition: moveCondition,
    conditionsInList: conditionsInList,
    parseBaseline: parseBaseline,
    runChecks: runChecks,
    runSettings: runSettings,
    METHOD_PARAMETERS: METHOD_PARAMETERS,
    MOTION_MODELS: MOTION_MODELS,
    parseMillimetres: parseMillimetres,
    multiStudyFile: multiStudyFile,
    manifestAllows: manifestAllows,
    commandOutcome: commandOutcome,
    subjectLines: subjectLines,
    formatWeight: formatWeight
  };
})();

// ---------------------------------------------------------------------------
// 3. Dialog
// ---------------------------------------------------------------------------

var PpiDialog = (function (host, logic) {
  var OPTIONS = [
    ['changePredName', 'Ask at Start for a label to use in predictor and file names'],
    ['saveMDM', 'Multi-study mode: save every design matrix beside a multi-study file'],
    ['addMoCo', 'Add the six motion-correction predictors to each design matrix'],
    ['zMC', 'z-transform the motion-correction predictors']
  ];
  // The method controls: parameter, label, and the choices for 0 and 1.
  var METHODS = [
    ['interactionLevel', 'Interaction formed at',
     'BOLD level: convolved task times region signal\n' +
     'Neural level: deconvolved region signal times task, convolved'],
    ['regionSummary', 'Region signal', 'Mean of the voxels\nFirst eigenvariate'],
    ['centrePsych', 'Psychological factor', 'As it is\nCentred over the run']
  ];
  var LIST_LABELS = {
    list0: 'list0 (weight -1)',
    list1: 'list1 (weight 0, not tested)',
    list2: 'list2 (weight +1)'
  };
  var CONTRAST_HINT = 'Move each condition to list0 (-1), list1 (0) or list2 (+1).';
  var SAVE_WEIGHTS_NOTE = 'Several subjects are listed under the standard approach: the ' +
                          'contrast set here, on the first subject\'s protocol, holds for all ' +
                          'subjects. Make sure their protocols have the same conditions.';

  var state;
  var entriesWritten = 0;
  var lastStatus = '';

  function freshState() {
    return {
      approach: logic.STANDARD,
      baselineText: '0',
      modelList2: false,
      contrast: { names: [], lists: [] },
      options: { changePredName: false, saveMDM: false, addMoCo: false, zMC: false },
      method: { interactionLevel: 0, regionSummary: 0, centrePsych: 0 },
      motion: { model: 6, censorText: '0' },
      writeReport: true,
      subjectCount: 0,
      publishedConditionCount: 0,
      saveWeights: 0
    };
  }

  // A list the plug-in published, joined from its parts.
  // Reading stops at a part that is not full against its predecessor: the
  // count is then not this list's, however large it is.
  function readList(name) {
    var count = host.getInt(name + '-parts');
    var parts = [host.getString(name)];
    for (var k = 2; k <= count; k++) {
      parts.push(host.getString(logic.listPartName(name, k)));
      if (!logic.partIsFull(parts[k - 2], parts[k - 1])) {
        break;
      }
    }
    return logic.joinListParts(parts);
  }

  // Empties a list and, when it was in parts, the later parts (up to the
  // first one that is empty already) and its count.
  function emptyList(name) {
    var count = host.getInt(name + '-parts');
    host.setString(name, '');
    for (var k = 2; k <= count; k++) {
      var part = logic.listPartName(name, k);
      if (host.getString(part) === '') {
        break;
      }
      host.setString(part, '');
    }
    if (count > 1) {
      host.setInt(name + '-parts', 1);
    }
  }

  // Reads what the plug-in published and shows it.
  function refresh() {
    var vtcNames = logic.splitList(readList('VTCFileList'));
    var voiNames = logic.splitList(readList('VOIFileList'));
    state.subjectCount = vtcNames.length;
    state.saveWeights = host.getInt('saveWeights');
    state.publishedConditionCount = host.getInt('NrOfConditions');
    var names = [];
    for (var k = 1; k <= state.publishedConditionCount; k++) {
      names.push(host.getString('CondName-' + k));
    }
    state.contrast = logic.updateContrast(state.contrast, {
      names: names,
      saveWeights: state.saveWeights
    });
    var lines = logic.subjectLines(vtcNames, voiNames);
    host.setValue('subjects', lines.length ? lines.join('\n') : '(no subjects)');
    showContrast();
  }

  function showContrast() {
    for (var i = 0; i < logic.LIST_IDS.length; i++) {
      var id = logic.LIST_IDS[i];
      host.setValue(id, logic.conditionsInList(state.contrast, id).join('\n'));
    }
    var note = CONTRAST_HINT;
    if (state.saveWeights === 1 && state.approach === logic.STANDARD) {
      note = SAVE_WEIGHTS_NOTE + ' ' + CONTRAST_HINT;
    }
    host.setValue('contrastNote', note);
    showChecks();
  }

  function showChecks() {
    var checks = logic.runChecks(state);
    var lines = [];
    var i;
    for (i = 0; i < checks.errors.length; i++) {
      lines.push('Error: ' + checks.errors[i]);
    }
    for (i = 0; i < checks.warnings.length; i++) {
      lines.push('Warning: ' + checks.warnings[i]);
    }
    host.setValue('checks', lines.length ? lines.join('\n') : 'Ready to start.');
    showEnabled();
    return checks;
  }

  function showEnabled() {
    var standard = state.approach === logic.STANDARD;
    var byList = !standard && state.modelList2;
    host.setEnabled('baseline', !standard && !byList);
    host.setEnabled('modelList2', !standard);
    for (var i = 0; i < logic.LIST_IDS.length; i++) {
      host.setEnabled(logic.LIST_IDS[i], standard || byList);
    }
    host.setEnabled('zMC', state.options.addMoCo);
    host.setEnabled('moCoModel', state.options.addMoCo);
    host.setEnabled('censorFD', state.options.addMoCo);
  }

  function setStatus(text) {
    host.setValue('status', text);
  }

  function emptySubjectLists() {
    emptyList('VTCFileList');
    emptyList('VTCFileNameList');
    emptyList('VOIFileList');
  }

  // The status and problems stay until the next command.
  function command(name) {
    setStatus('');
    host.setValue('problems', '');
    var ok = host.sendCommand(name);
    refresh();
    var outcome = logic.commandOutcome(name, ok, host.getString('PPIReport'));
    setStatus(outcome.status);
    host.setValue('problems', outcome.problems.join('\n'));
    lastStatus = outcome.status;
    return ok;
  }

  function writeMultiStudyFile() {
    var path = host.getString('mdmFileName');
    var manifestPath = host.getString('PPIRunManifest');
    var sdmPaths = logic.splitList(readList('SDMFileList'));
    var file = logic.manifestAllows(manifestPath,
                                    manifestPath === '' ? '' : host.readTextFile(manifestPath),
                                    sdmPaths);
    if (file.ok) {
      file = logic.multiStudyFile(path, logic.splitList(readList('VTCFileNameList')),
                                  sdmPaths, host.getInt('nr_subs'));
    }
    if (!file.ok) {
      host.showMessage(file.problem);
      setStatus(lastStatus.replace(/\.$/, '') + '; no multi-study file written.');
      return;
    }
    if (!host.writeTextFile(path, file.text)) {
      host.showMessage('The multi-study file could not be written: ' + path);
      setStatus(lastStatus.replace(/\.$/, '') + '; no multi-study file written.');
      return;
    }
    setStatus(lastStatus.replace(/\.$/, '') + '; multi-study file written: ' + path);
  }

  function start() {
    var checks = showChecks();
    if (checks.errors.length) {
      host.showMessage('Start refused:\n' + checks.errors.join('\n'));
      return;
    }
    var settings = logic.runSettings(state, entriesWritten);
    var name;
    for (name in settings.ints) {
      if (settings.ints.hasOwnProperty(name)) {
        host.setInt(name, settings.ints[name]);
      }
    }
    for (name in settings.strings) {
      if (settings.strings.hasOwnProperty(name)) {
        host.setString(name, settings.strings[name]);
      }
    }
    entriesWritten = settings.entryCount;
    // The QC report and the records are on unless the box is cleared.
    host.setInt('noReport', state.writeReport ? 0 : 1);
    host.setString('PPIReportFile', '');
    host.setString('PPIRunManifest', '');
    var ok = command('Start');
    host.setValue('reportFile', host.getString('PPIReportFile'));
    if (!ok) {
      return;
    }
    if (state.options.saveMDM) {
      writeMultiStudyFile();
    }
  }

  var handlers = {
    addSubject: function () {
      command('AddSubject');
    },
    loadList: function () {
      // "Load" empties the plug-in's list (also when the user cancels) and
      // then appends to the host's lists: empty them first.
      emptySubjectLists();
      command('Load');
    },
    saveList: function () {
      command('Save');
    },
    clearList: function () {
      if (command('Clear')) {
        emptySubjectLists();
        refresh();
      }
    },
    approach: function (value) {
      state.approach = value === '1' ? logic.GENERALIZED : logic.STANDARD;
      // "AddSubject" reads the approach: keep it current at all times.
      host.setInt('whichapproach', state.approach);
      showContrast();
    },
    baseline: function (value) {
      state.baselineText = value;
      showChecks();
    },
    modelList2: function (value) {
      state.modelList2 = value === '1';
      showChecks();
    },
    writeReport: function (value) {
      state.writeReport = value === '1';
    },
    moCoModel: function (value) {
      var index = Number(value);
      state.motion.model = logic.MOTION_MODELS[index] || 6;
      showChecks();
    },
    censorFD: function (value) {
      state.motion.censorText = value;
      showChecks();
    },
    start: start
  };

  function onEvent(id, value) {
    var text = value === undefined || value === null ? '' : String(value);
    if (handlers.hasOwnProperty(id)) {
      handlers[id](text);
    } else if (logic.LIST_WEIGHTS.hasOwnProperty(id)) {
      state.contrast = logic.moveCondition(state.contrast, text, id);
      showContrast();
    } else if (state.method.hasOwnProperty(id)) {
      state.method[id] = text === '1' ? 1 : 0;
      showChecks();
    } else if (state.options.hasOwnProperty(id)) {
      state.options[id] = text === '1';
      showChecks();
    }
  }

  function open() {
    state = freshState();
    entriesWritten = 0;
    // A new plug-in object has an empty subject list and has published no
    // protocol: so have the host's parameters.
    emptySubjectLists();
    host.setInt('NrOfConditions', 0);
    host.setInt('saveWeights', 0);
    host.setInt('whichapproach', state.approach);

    host.addControl('section', 'subjectsSection', 'Subjects');
    host.addControl('button', 'addSubject', 'Add subject');
    host.addControl('button', 'loadList', 'Load list');
    host.addControl('button', 'saveList', 'Save list');
    host.addControl('button', 'clearList', 'Clear');
    host.addControl('text', 'subjects', 'Time course  |  region', '', 'readonly');

    host.addControl('section', 'approachSection', 'Approach');
    host.addControl('choice', 'approach', 'Approach', String(state.approach),
                    'Standard\nGeneralized');
    host.addControl('number', 'baseline', 'Baseline: first modelled condition (from 0)',
                    state.baselineText);
    host.addControl('checkbox', 'modelList2',
                    'Generalized: model only the conditions moved to list2 (else those from ' +
                    'the baseline on)', '0');

    host.addControl('section', 'contrastSection', 'Contrast (standard approach)');
    host.addControl('note', 'contrastNote', '', CONTRAST_HINT);
    for (var i = 0; i < logic.LIST_IDS.length; i++) {
      var id = logic.LIST_IDS[i];
      host.addControl('list', id, LIST_LABELS[id], '', 'contrast');
    }

    host.addControl('section', 'optionsSection', 'Options');
    for (var k = 0; k < OPTIONS.length; k++) {
      host.addControl('checkbox', OPTIONS[k][0], OPTIONS[k][1], '0');
    }
    host.addControl('choice', 'moCoModel', 'Motion model', '0',
                    '6: the six motion estimates\n' +
                    '12: the six and their derivatives\n' +
                    '24: the six, their derivatives and the squares of both');
    host.addControl('number', 'censorFD',
                    'Censor volumes with framewise displacement above (mm; 0: none)',
                    state.motion.censorText);

    host.addControl('section', 'methodSection', 'Method');
    for (var n = 0; n < METHODS.length; n++) {
      host.addControl('choice', METHODS[n][0], METHODS[n][1], '0', METHODS[n][2]);
    }

    host.addControl('section', 'runSection', 'Run');
    host.addControl('note', 'checks', 'Checks', '');
    host.addControl('checkbox', 'writeReport',
                    'Write a QC report and a record beside each design matrix', '1');
    host.addControl('button', 'start', 'Start');
    host.addControl('note', 'status', 'Status', '');
    host.addControl('text', 'reportFile', 'QC report', '', 'readonly');
    host.addControl('list', 'problems', 'Problems', '', '');

    refresh();
    host.showDialog('PPI plugin');
  }

  return { open: open, onEvent: onEvent };
})(HostAdapter, PpiLogic);

// The runner calls this for every user action on a control (see
// docs/gui-host-interface.md).
function onControlEvent(id, value) {
  PpiDialog.onEvent(id, value);
}

if (typeof module !== 'undefined' && module.exports) {
  module.exports = {
    logic: PpiLogic,
    dialog: PpiDialog,
    onControlEvent: onControlEvent
  };
} else {
  PpiDialog.open();
}
