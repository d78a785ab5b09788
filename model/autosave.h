// The autosave list "autosaveList.ppi" in the working folder: a mirror of the
// subject list, on disk after every command, so that a crash loses no subject.
//
// Mirroring: an object leaves an existing file alone until it first has a
// subject to write (the file may be what a crashed session left behind). From
// then on the object holds the file open, which marks it as its own, and every
// change of the list reaches the disk before the command returns: an added
// subject as an appended line, any other change as the whole list, written
// beside the file and renamed over it.
//
// Crash recovery: before the object holds the file, "Save" copies the file as
// it stands.
#pragma once

#include <fstream>
#include <string>
#include <string_view>

#include "model/subjectlist.h"

namespace ppi::model {

constexpr const char* kAutosaveFileName = "autosaveList.ppi";

class AutosaveList {
 public:
  // True while the object holds the file: it then mirrors this object's list.
  bool owned() const { return stream_.is_open(); }

  // Makes the file hold the whole list (an empty list leaves a file the
  // object does not hold alone). A failure is logged.
  void mirror(const SubjectList& list);

  // The list's last subject was just added: its line is appended; the first
  // subject, or a line that did not reach the file, rewrites the file whole.
  void subjectAdded(const SubjectList& list);

  // The file as it stands, for crash recovery; no file is an empty list. False
  // when a file is there but cannot be read.
  bool recoveredText(std::string& text) const;

  // The open stream (closed until the object holds the file).
  std::ofstream& stream() { return stream_; }

 private:
  bool replace(std::string_view content);
  bool append(std::string_view line);

  std::ofstream stream_;
};

}  // namespace ppi::model
