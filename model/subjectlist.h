// The subject list: one sequence of whole subjects. Its size is the only
// count there is; a subject enters whole, after every check has passed, or not
// at all.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/subject.h"

namespace ppi::model {

class SubjectList {
 public:
  void add(const Subject& subject);
  void clear() {
    subjects_.clear();
    byTimeCourse_.clear();
  }

  std::size_t size() const { return subjects_.size(); }
  bool empty() const { return subjects_.empty(); }
  const Subject& operator[](std::size_t i) const { return subjects_[i]; }
  const Subject& at(std::size_t i) const { return subjects_.at(i); }
  const Subject& back() const { return subjects_.back(); }
  // Keeps `path` as subject i's motion-estimates file; false when it was so already.
  bool keepMotionPath(std::size_t i, const PathText& path) {
    if (subjects_[i].motionPath.view() == path.view()) return false;
    subjects_[i].motionPath = path;
    return true;
  }
  std::vector<Subject>::const_iterator begin() const { return subjects_.begin(); }
  std::vector<Subject>::const_iterator end() const { return subjects_.end(); }

  // The subject (index from 0) whose time course `vtcPath` names, compared as
  // written once "." and ".." steps and doubled separators are taken out;
  // size() when none does. One look-up, however long the list.
  std::size_t findTimeCourse(const std::string& vtcPath) const;

  // The list as list-file lines, one per subject in order.
  std::string listText() const;

 private:
  std::vector<Subject> subjects_;
  // Each subject's time course path, as findTimeCourse compares it, to the
  // first subject that has it.
  std::unordered_map<std::string, std::size_t> byTimeCourse_;
};

}  // namespace ppi::model
