#include "model/subjectlist.h"

#include <filesystem>

#include "formats/listfile.h"

namespace ppi::model {

namespace {

// A path as written, without "." and ".." steps or doubled separators (no
// look at the file system).
std::string normalPath(const std::string& path) {
  return std::filesystem::path(path).lexically_normal().generic_string();
}

}  // namespace

void SubjectList::add(const Subject& subject) {
  byTimeCourse_.emplace(normalPath(subject.timeCourse.vtcPath.str()), subjects_.size());
  subjects_.push_back(subject);
}

std::size_t SubjectList::findTimeCourse(const std::string& vtcPath) const {
  const auto found = byTimeCourse_.find(normalPath(vtcPath));
  return found != byTimeCourse_.end() ? found->second : subjects_.size();
}

std::string SubjectList::listText() const {
  std::string text;
  for (const Subject& subject : subjects_) {
    text += formatListLine(subject.timeCourse.vtcPath.view(), subject.region.voiPath.view(),
                           subject.region.chosenVOI, subject.motionPath.view());
  }
  return text;
}

}  // namespace ppi::model
