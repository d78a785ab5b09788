// What a results folder must show of its runs, judged from the files alone:
// no run's lock left behind; the manifest's files as it lists them (a later
// run sets the manifest aside before it replaces any of them); and a
// multi-study file only beside the manifest of a completed run, naming its
// designs in its order. So a group file never lists the designs of two runs.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// `study`: the folder the session ran in (the paths in the files are
// relative to it); `results`: the results folder, relative to `study`;
// `multiStudy`: the multi-study file's name in it; `killed`: a run was killed,
// so its lock may be left. One line per problem.
std::vector<std::string> runSetProblems(const std::string& study, const std::string& results,
                                        const std::string& multiStudy = "Multistudy_PPI.mdm",
                                        bool killed = false);

// The design matrices a multi-study file lists, in order.
std::vector<std::string> multiStudyDesigns(const std::string& text);

}  // namespace testsupport
