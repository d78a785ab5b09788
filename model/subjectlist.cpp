#include "model/subjectlist.h"

#include "formats/listfile.h"

namespace ppi::model {

std::string SubjectList::listText() const {
  std::string text;
  for (const Subject& subject : subjects_) {
    text += formatListLine(subject.timeCourse.vtcPath.view(), subject.region.voiPath.view(),
                           subject.region.chosenVOI);
  }
  return text;
}

}  // namespace ppi::model
