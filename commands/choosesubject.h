// The choice of one subject's files: the time course with its protocol, then
// the region. Interactive (through the host's file dialogs) or from a line of a
// list file. Each operation fills one part of a subject; the caller adds the
// subject to the list once both are settled. A failure carries the reason its
// one log line gave (the host keeps what it has loaded).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/boundedtext.h"
#include "common/outcome.h"
#include "common/paths.h"
#include "model/pluginstate.h"
#include "model/subject.h"

namespace ppi::commands {

// Links the time course to the current VMR, makes sure it has a protocol (a
// protocol dialog opens when it comes without one, also from a list file) and
// fills `subject`.
// `fromList` false: the user picks the VTC file, whose path lands in vtcPath,
// and "NrOfConditions", "saveWeights" and, unless the plug-in keeps the first
// subject's weights, "CondName-1" … are published. From a list the caller
// publishes them once it knows which subjects it accepted.
Outcome chooseTimeCourseAndProtocol(bool saveWeights, bool fromList, PathText& vtcPath,
                                    model::SubjectRecord& subject);

// Loads the VOI file and settles which of its regions is used: asked when the
// user picks the file and it holds several, taken from `chosenVOI` when read
// from a list, 0 when it holds one. Fills `region` and `voiLine`, the
// subject's line of "VOIFileList" (the VOI file's name, " - ", the region's
// name), which the caller publishes; `chosenVOI` carries the settled index out.
// `fromList` false: the user picks the VOI file, whose path lands in voiPath.
Outcome chooseVOI(bool fromList, PathText& voiPath, std::string& voiLine, int& chosenVOI,
                  model::SubjectVOIRecord& region);

// The names of the first `nrOfConditions` conditions of the host's current
// protocol; false, with `names` incomplete, when the host does not hand one out.
bool currentConditionNames(int nrOfConditions, std::vector<std::string>& names);

// Sets "CondName-1" … to the names, in order.
void publishConditionNames(const std::vector<std::string>& names);

// Takes a text the host gave back as a path; refuses one longer than the path
// limit, or one holding a NUL character, with a log line naming what it was
// for and why.
Outcome acceptPath(const std::string& text, const char* what, PathText& path);

// Once the time course is settled: settles the region, then publishes the
// subject in the GUI lists ("VTCFileList", "VTCFileNameList", "VOIFileList")
// and adds it to the list. On a failure neither the list nor any GUI list has
// changed, and `todo` holds what the user can do about the cause (for the
// report): a region that cannot be loaded or chosen, a region file the list
// file cannot hold, or a region whose list line no GUI list part can hold.
Outcome completeSubject(model::PluginState& state, bool fromList,
                        const model::SubjectRecord& timeCourse, PathText& voiPath, int& chosenVOI,
                        std::string& todo);

}  // namespace ppi::commands
