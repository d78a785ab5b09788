// The autosave list "autosaveList.ppi" in the working folder: a mirror of the
// subject list, on disk after every command, so that a crash loses no subject.
//
// Mirroring: an object leaves an existing file alone until a subject first
// enters its list (the file may be what a crashed session left behind). From
// then on the file is the object's, and every change of the list reaches the
// disk before the command returns: an added subject as an appended line, any
// other change as the whole list, replaced through the file layer so that a
// failed write leaves the old file whole. After a failed write the file is out
// of step with the list, and the next change rewrites it whole: a line is
// never appended to a fragment.
//
// Crash recovery: until the object has taken the file over, "Save" copies the
// file as it stands.
//
// A write that leaves the file out of step is logged and reported to the
// command's report as a warning (crash recovery is off); the write that
// brings it back in step adds a note that it is on again.
#pragma once

#include <string>

#include "common/report.h"
#include "model/subjectlist.h"

namespace ppi::model {

constexpr const char* kAutosaveFileName = "autosaveList.ppi";

class AutosaveList {
 public:
  // True once a subject has entered this object's list: the file is then the
  // object's, whether or not its last write succeeded.
  bool owned() const { return owned_; }

  // Makes the file hold the whole list (an empty list leaves a file the
  // object has not taken over alone). A failure is logged and reported; false
  // then.
  bool mirror(const SubjectList& list, Report& report);

  // The list's last subject was just added: its line is appended, or the file
  // rewritten whole when it is not in step with the list. A failure is logged
  // and reported.
  void subjectAdded(const SubjectList& list, Report& report);

  // The file as it stands, for crash recovery; no file is an empty list. False
  // when something is there but cannot be read.
  bool recoveredText(std::string& text) const;

 private:
  bool owned_ = false;
  bool inStep_ = false;  // the file holds exactly the list's lines
  bool failed_ = false;  // the last write failed: crash recovery is off
};

}  // namespace ppi::model
