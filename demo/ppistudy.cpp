// ppistudy: a study of the plug-in from a BIDS dataset and its fMRIPrep
// derivatives (demo/bidsstudy.h).
//
//   ppistudy BIDS_ROOT --task TASK --seed MASK --plus CONDITION [--plus ...]
//            [--minus CONDITION ...] --out STUDY [--derivatives DIR]
//            [--space SPACE] [--seed-label NAME|N] [--conditions A,B,...]
//            [--z-motion]
//
// Exit status: 0 when every run found is in the study, 1 when some are left
// out (listed, with the reason, and in STUDY/skipped.txt), 2 when no study
// could be made.
#include <iostream>
#include <sstream>
#include <string>

#include "demo/bidsstudy.h"

namespace {

int usage() {
  std::cerr << "usage: ppistudy BIDS_ROOT --task TASK --seed MASK --plus CONDITION [--plus ...]\n"
               "                [--minus CONDITION ...] --out STUDY [--derivatives DIR]\n"
               "                [--space SPACE] [--seed-label NAME|N] [--conditions A,B,...]\n"
               "                [--z-motion]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') return usage();
  demo::BidsStudyOptions options;
  options.root = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--z-motion") {
      options.zTransformMotion = true;
      continue;
    }
    if (i + 1 >= argc) return usage();
    const std::string value = argv[++i];
    if (option == "--task") {
      options.task = value;
    } else if (option == "--seed") {
      options.seed = value;
    } else if (option == "--seed-label") {
      options.seedLabel = value;
    } else if (option == "--plus") {
      options.plus.push_back(value);
    } else if (option == "--minus") {
      options.minus.push_back(value);
    } else if (option == "--out") {
      options.out = value;
    } else if (option == "--derivatives") {
      options.derivatives = value;
    } else if (option == "--space") {
      options.space = value;
    } else if (option == "--conditions") {
      std::istringstream list(value);
      for (std::string c; std::getline(list, c, ',');) {
        if (!c.empty()) options.conditions.push_back(c);
      }
    } else {
      return usage();
    }
  }
  demo::BidsStudy study;
  std::string why;
  if (!demo::makeBidsStudy(options, study, &why)) {
    for (const demo::BidsRun& run : study.runs) {
      if (!run.reason.empty()) std::cerr << "  " << run.name << ": " << run.reason << "\n";
    }
    std::cerr << "ppistudy: " << why << "\n";
    return 2;
  }
  demo::printBidsStudy(study, options, std::cout);
  return study.included() == static_cast<int>(study.runs.size()) ? 0 : 1;
}
