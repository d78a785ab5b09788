// check_run_set STUDY RESULTS [MULTISTUDY]: the results folder RESULTS (under
// STUDY, where the session ran) shows one run at a time (see
// tests/support/runsetcheck.h). Prints one line per problem; exit status 1
// when there was any.
#include <cstdio>

#include "tests/support/runsetcheck.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: check_run_set STUDY RESULTS [MULTISTUDY]\n");
    return 2;
  }
  const auto problems = argc > 3 ? testsupport::runSetProblems(argv[1], argv[2], argv[3])
                                 : testsupport::runSetProblems(argv[1], argv[2]);
  for (const std::string& line : problems) std::printf("%s\n", line.c_str());
  return problems.empty() ? 0 : 1;
}
