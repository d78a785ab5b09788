#include "demo/bidsstudy.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "standin/bids.h"
#include "standin/designfile.h"
#include "standin/documents.h"
#include "standin/nifti.h"

namespace demo {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kPathLimit = 300;  // the plug-in's paths

bool fail(std::string* error, const std::string& why) {
  if (error != nullptr) *error = why;
  return false;
}

bool startsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<fs::path> sortedEntries(const fs::path& folder, bool directories) {
  std::vector<fs::path> entries;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return entries;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.is_directory(ec) == directories) entries.push_back(entry.path());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

// The file name without "_bold.nii.gz" or "_bold.nii", or empty.
std::string boldPrefix(const std::string& name) {
  for (const char* end : {"_bold.nii.gz", "_bold.nii"}) {
    if (endsWith(name, end)) return name.substr(0, name.size() - std::string(end).size());
  }
  return std::string();
}

// A run as found in the dataset, before it is read.
struct Found {
  std::string subject;  // "sub-01"
  std::string prefix;   // "sub-01_task-x_run-1"
  fs::path raw, events, derivativesFolder;
};

std::vector<Found> findRuns(const BidsStudyOptions& options, const fs::path& derivatives) {
  std::vector<Found> runs;
  const std::string task = "_task-" + options.task + "_";
  for (const fs::path& subject : sortedEntries(options.root, true)) {
    const std::string id = subject.filename().string();
    if (!startsWith(id, "sub-")) continue;
    std::vector<fs::path> funcs{subject / "func"};
    for (const fs::path& session : sortedEntries(subject, true)) {
      if (startsWith(session.filename().string(), "ses-")) funcs.push_back(session / "func");
    }
    for (const fs::path& func : funcs) {
      for (const fs::path& file : sortedEntries(func, false)) {
        const std::string prefix = boldPrefix(file.filename().string());
        if (prefix.empty() || (prefix + "_").find(task) == std::string::npos) continue;
        Found run;
        run.subject = id;
        run.prefix = prefix;
        run.raw = file;
        run.events = func / (prefix + "_events.tsv");
        run.derivativesFolder = derivatives / fs::relative(func, options.root);
        runs.push_back(run);
      }
    }
  }
  return runs;
}

// fMRIPrep's preprocessed run in the space asked for; the raw run when the
// derivatives have none; a reason when there are several to choose from.
std::string chooseTimeCourse(const Found& run, const std::string& space, fs::path& chosen) {
  std::vector<fs::path> candidates;
  for (const fs::path& file : sortedEntries(run.derivativesFolder, false)) {
    const std::string name = file.filename().string();
    if (!startsWith(name, run.prefix + "_") ||
        !(endsWith(name, "_desc-preproc_bold.nii.gz") || endsWith(name, "_desc-preproc_bold.nii"))) {
      continue;
    }
    if (!space.empty() && name.find("_space-" + space + "_") == std::string::npos) continue;
    candidates.push_back(file);
  }
  if (candidates.size() > 1) {
    std::string names;
    for (const fs::path& c : candidates) names += " " + c.filename().string();
    return "several preprocessed runs to choose from (choose a space with --space):" + names;
  }
  chosen = candidates.empty() ? run.raw : candidates.front();
  return std::string();
}

fs::path confoundsOf(const Found& run) {
  for (const char* end : {"_desc-confounds_timeseries.tsv", "_desc-confounds_regressors.tsv"}) {
    fs::path candidate = run.derivativesFolder / (run.prefix + end);
    std::error_code ec;
    if (fs::exists(candidate, ec)) return candidate;
  }
  return run.derivativesFolder / (run.prefix + "_desc-confounds_timeseries.tsv");
}

std::string relativeTo(const fs::path& path, const fs::path& folder) {
  std::error_code ec;
  fs::path relative = fs::relative(fs::absolute(path), fs::absolute(folder), ec);
  std::string text = (ec || relative.empty() ? fs::absolute(path) : relative).generic_string();
  if (!text.empty() && text[0] != '/' && text[0] != '.') text = "./" + text;
  return text;
}

// Writes through a temporary file, so a failure leaves the old file whole.
bool writeText(const fs::path& path, const std::string& text, std::string* error) {
  const fs::path temporary = path.parent_path() / ("." + path.filename().string() + ".writing");
  {
    std::ofstream out(temporary, std::ios::binary);
    out << text;
    out.close();
    if (!out) return fail(error, "cannot write " + path.string());
  }
  std::error_code ec;
  fs::rename(temporary, path, ec);
  if (ec) {
    fs::remove(temporary, ec);
    return fail(error, "cannot write " + path.string() + ": " + ec.message());
  }
  return true;
}

std::string sessionText(const BidsStudy& study, const BidsStudyOptions& options) {
  std::ostringstream s;
  const int n = study.included();
  s << "# Made by ppistudy from " << options.root << ", task " << options.task << ":\n"
    << "# the plug-in's dialog loads study.ppi (one events protocol per run),\n"
    << "# sets the contrast, and runs the analysis in multi-study mode with the\n"
    << "# motion estimates merged.\n"
    << "vmr open\n"
    << "gui open\n"
    << "open-file ./study.ppi\n";
  for (const BidsRun& run : study.runs) {
    if (run.reason.empty()) s << "open-file " << run.protocol << "\n";
  }
  s << "gui click loadList\n"
    << "expect-int NrOfConditions " << study.conditions.size() << "\n";
  for (const std::string& c : options.plus) s << "gui move list2 " << c << "\n";
  for (const std::string& c : options.minus) s << "gui move list0 " << c << "\n";
  s << "gui tick saveMDM\n"
    << "gui tick addMoCo\n";
  if (options.zTransformMotion) s << "gui tick zMC\n";
  s << "gui show\n"
    << "save-file ./results/Multistudy_PPI.mdm\n";
  if (n > 1) s << "answer yes\n";
  for (const BidsRun& run : study.runs) {
    if (run.reason.empty()) s << "open-file " << run.motion << "\n";
  }
  s << "gui click start\n"
    << "gui show\n"
    << "expect-int nr_subs " << n << "\n"
    << "expect-string mdmFileName ./results/Multistudy_PPI.mdm\n"
    << "write-string SDMFileList ./results/sdm-files.txt\n";
  return s.str();
}

}  // namespace

int BidsStudy::included() const {
  return static_cast<int>(
      std::count_if(runs.begin(), runs.end(), [](const BidsRun& r) { return r.reason.empty(); }));
}

bool makeBidsStudy(const BidsStudyOptions& options, BidsStudy& study, std::string* error) {
  study = BidsStudy();
  if (options.root.empty() || options.task.empty() || options.seed.empty() || options.out.empty()) {
    return fail(error, "a study needs the dataset, the task, the seed mask and the study folder");
  }
  if (options.plus.empty() && options.minus.empty()) {
    return fail(error, "a study needs a contrast (--plus and --minus conditions)");
  }
  const fs::path out(options.out);
  const fs::path derivatives =
      options.derivatives.empty() ? fs::path(options.root) / "derivatives" / "fmriprep"
                                  : fs::path(options.derivatives);
  std::vector<Found> found = findRuns(options, derivatives);
  if (found.empty()) {
    return fail(error, "no run of the task \"" + options.task + "\" in " + options.root +
                           " (sub-*/[ses-*/]func/*_task-" + options.task + "_*bold.nii[.gz])");
  }
  std::error_code ec;
  fs::create_directories(out / "results", ec);
  if (ec) return fail(error, "cannot create " + (out / "results").string() + ": " + ec.message());

  // First every run's time course (read whole, then only its grid kept) and
  // the conditions of its events, for one order of conditions over all runs.
  std::vector<standin::TimeCourse> grids(found.size());
  std::vector<fs::path> timeCourses(found.size());
  std::vector<std::string> order = options.conditions;
  for (std::size_t i = 0; i < found.size(); ++i) {
    BidsRun run;
    run.name = found[i].prefix;
    std::string why = chooseTimeCourse(found[i], options.space, timeCourses[i]);
    if (why.empty()) {
      std::vector<std::string> warnings;
      auto tc = standin::readNiftiTimeCourse(timeCourses[i].string(), &why, &warnings);
      run.notes = warnings;
      if (tc) {
        tc->intSamples.clear();
        tc->floatSamples.clear();
        grids[i] = *tc;
      }
    }
    if (why.empty() && options.conditions.empty()) {
      auto events = standin::readTsvFile(found[i].events.string(), &why);
      const int column = events ? events->column("trial_type") : -1;
      if (events && column < 0) why = found[i].events.string() + ": no trial_type column";
      for (std::size_t r = 0; why.empty() && r < events->rows.size(); ++r) {
        const std::string& type = events->rows[r][static_cast<std::size_t>(column)];
        if (type != "n/a" && !type.empty() &&
            std::find(order.begin(), order.end(), type) == order.end()) {
          order.push_back(type);
        }
      }
    }
    run.reason = why;
    study.runs.push_back(run);
  }
  study.conditions = order;
  for (const std::string& c : options.plus) {
    if (std::find(order.begin(), order.end(), c) == order.end()) {
      return fail(error, "the contrast's condition \"" + c + "\" is not among the conditions");
    }
  }
  for (const std::string& c : options.minus) {
    if (std::find(order.begin(), order.end(), c) == order.end()) {
      return fail(error, "the contrast's condition \"" + c + "\" is not among the conditions");
    }
  }

  std::string list;
  const std::string seed = relativeTo(options.seed, out);
  for (std::size_t i = 0; i < found.size(); ++i) {
    BidsRun& run = study.runs[i];
    if (!run.reason.empty()) continue;
    const standin::TimeCourse& grid = grids[i];
    std::string why;
    const fs::path folder = out / found[i].subject;
    const fs::path protocolPath = folder / (found[i].prefix + ".prt");
    const fs::path motionPath = folder / (found[i].prefix + "_3DMC.sdm");
    auto events = standin::protocolFromEvents(found[i].events.string(), grid.repetitionTimeMs,
                                              grid.nrOfVolumes, order, &why);
    auto motion = events ? standin::motionFromConfounds(confoundsOf(found[i]).string(),
                                                        grid.nrOfVolumes, &why)
                         : std::nullopt;
    std::vector<std::int64_t> labels;
    auto regions = motion ? standin::regionsFromLabelImage(options.seed, &grid, &why, &labels)
                          : std::nullopt;
    int index = -1;
    if (regions) {
      for (std::size_t r = 0; r < regions->regions.size(); ++r) {
        const std::string& name = regions->regions[r].name;
        if (options.seedLabel.empty() ? regions->regions.size() == 1
                                      : name == options.seedLabel ||
                                            std::to_string(labels[r]) == options.seedLabel) {
          index = static_cast<int>(r);
        }
      }
      if (index < 0) {
        why = options.seedLabel.empty()
                  ? options.seed + " holds " + std::to_string(regions->regions.size()) +
                        " regions: choose the seed with --seed-label"
                  : options.seed + " has no region \"" + options.seedLabel + "\"";
      }
    }
    if (index >= 0) {
      run.timeCourse = relativeTo(timeCourses[i], out);
      run.protocol = relativeTo(protocolPath, out);
      run.motion = relativeTo(motionPath, out);
      for (const std::string& path : {run.timeCourse, run.protocol, run.motion, seed}) {
        if (path.size() > kPathLimit || path.find_first_of(" \t") != std::string::npos) {
          why = path + ": the plug-in takes paths of at most 300 characters, without blanks";
          index = -1;
        }
      }
    }
    if (index >= 0) fs::create_directories(folder, ec);
    if (index >= 0 && !standin::writeProtocolFile(protocolPath.string(), events->protocol, &why)) {
      index = -1;
    }
    if (index >= 0 && !standin::writeDesignMatrixFile(motionPath.string(), *motion)) {
      why = "cannot write " + motionPath.string();
      index = -1;
    }
    if (index < 0) {
      run.reason = why;
      continue;
    }
    run.notes.insert(run.notes.end(), events->notes.begin(), events->notes.end());
    list += run.timeCourse + "\t" + seed + "\t" + std::to_string(index) + "\n";
  }
  if (study.included() == 0) return fail(error, "no run could be used");

  std::string skipped;
  for (const BidsRun& run : study.runs) {
    if (!run.reason.empty()) skipped += run.name + "\t" + run.reason + "\n";
  }
  fs::remove(out / "skipped.txt", ec);
  return writeText(out / "study.ppi", list, error) &&
         writeText(out / "study.session", sessionText(study, options), error) &&
         (skipped.empty() || writeText(out / "skipped.txt", skipped, error));
}

void printBidsStudy(const BidsStudy& study, const BidsStudyOptions& options, std::ostream& out) {
  out << "Study in " << options.out << ": " << study.included() << " of " << study.runs.size()
      << " runs of the task " << options.task << "; conditions";
  for (const std::string& c : study.conditions) out << " \"" << c << "\"";
  out << "\n";
  for (const BidsRun& run : study.runs) {
    if (run.reason.empty()) {
      out << "  " << run.name << ": " << run.timeCourse << "\n";
    } else {
      out << "  " << run.name << ": left out: " << run.reason << "\n";
    }
    for (const std::string& note : run.notes) out << "    note: " << note << "\n";
  }
  out << "Run it: cd " << options.out << " && TessarayNK study.session\n";
}

}  // namespace demo
