// ppidemo: generates the demo study and checks the plug-in's design matrices
// on it.
//
//   ppidemo generate FOLDER [--subjects N] [--volumes N] [--coordinates CODE]
//                           [--z-motion] [--bids]
//   ppidemo check FOLDER [--figure SVG]
//
// "check" prints the table of PPI estimates; its exit status is 0 when the
// planted interaction was found in every subject's Target and the Null
// region shows none at the group level, 1 when not, 3 when there are no design matrices to check, 2
// on any other problem.
#include <cstring>
#include <iostream>
#include <string>

#include "demo/study.h"
#include "standin/textutil.h"

namespace {

int usage() {
  std::cerr << "usage: ppidemo generate FOLDER [--subjects N] [--volumes N] "
               "[--coordinates CODE] [--z-motion] [--bids]\n"
               "       ppidemo check FOLDER [--figure SVG]\n";
  return 2;
}

int generate(const std::string& folder, int argc, char** argv) {
  demo::StudyOptions options;
  for (int i = 3; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option == "--subjects" && hasValue && standin::parseInt(argv[i + 1], options.subjects)) {
      ++i;
    } else if (option == "--volumes" && hasValue &&
               standin::parseInt(argv[i + 1], options.volumes)) {
      ++i;
    } else if (option == "--coordinates" && hasValue &&
               standin::parseInt(argv[i + 1], options.coordinateSystem)) {
      ++i;
    } else if (option == "--z-motion") {
      options.zTransformMotion = 1;
    } else if (option == "--bids") {
      options.bids = true;
    } else {
      return usage();
    }
  }
  std::string why;
  if (!demo::generateStudy(folder, options, &why)) {
    std::cerr << "ppidemo: " << why << "\n";
    return 2;
  }
  std::cout << (options.bids ? "Demo study as a BIDS dataset in " : "Demo study in ") << folder
            << ": " << options.subjects << " subjects, " << options.volumes
            << " volumes each, planted PPI effect " << options.ppiEffect << " in region Target\n";
  if (options.bids) {
    std::cout << "Make the plug-in's study of it with:\n  ppistudy " << folder
              << " --task demo --seed " << folder << "/" << demo::kBidsRegionsImage
              << " --seed-label Seed --conditions Rest,Attend,Passive --plus Attend --minus "
                 "Passive --out STUDY"
              << (options.zTransformMotion != 0 ? " --z-motion" : "") << "\n";
  }
  return 0;
}

int check(const std::string& folder, int argc, char** argv) {
  std::string figure;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--figure") == 0 && i + 1 < argc) {
      figure = argv[++i];
    } else {
      return usage();
    }
  }
  std::string why;
  auto result = demo::checkStudy(folder, &why);
  if (!result) {
    std::cout << "Nothing to check: " << why << "\n";
    return why.rfind("no design matrices", 0) == 0 ? 3 : 2;
  }
  demo::printStudyCheck(*result, std::cout);
  if (!figure.empty()) {
    if (!demo::writeRegressorFigure(folder, figure, &why)) {
      std::cerr << "ppidemo: " << why << "\n";
      return 2;
    }
    std::cout << "Figure of " << result->subjects.front().subject << "'s regressors: " << figure
              << "\n";
  }
  return result->recovered ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const std::string action = argv[1];
  if (action == "generate") return generate(argv[2], argc, argv);
  if (action == "check") return check(argv[2], argc, argv);
  return usage();
}
