#include "common/outcome.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "common/boundedtext.h"
#include "common/logsink.h"

namespace {

using ppi::Failure;
using ppi::Outcome;
using ppi::Result;

class KeptLog final : public ppi::LogSink {
 public:
  void text(const char* line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

Result<int> half(int n) {
  if (n % 2 != 0) return ppi::fail(std::to_string(n) + " is odd");
  return n / 2;
}

TEST(Outcome, CarriesTheValueOrTheReason) {
  const Outcome ok;
  EXPECT_TRUE(ok.ok());
  EXPECT_EQ(ok.reason(), "");
  const Outcome failed = Outcome::failure("the file cannot be opened");
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.reason(), "the file cannot be opened");
  // An empty reason still fails.
  EXPECT_FALSE(Outcome::failure("").ok());

  const Result<int> four = half(8);
  ASSERT_TRUE(four.ok());
  EXPECT_EQ(four.value(), 4);
  EXPECT_TRUE(four.outcome().ok());
  const Result<int> none = half(7);
  EXPECT_FALSE(none.ok());
  EXPECT_EQ(none.reason(), "7 is odd");
  // Passed on unchanged.
  const Outcome passed = none.failure();
  EXPECT_EQ(passed.reason(), "7 is odd");
  EXPECT_EQ(none.outcome().reason(), "7 is odd");
}

struct FailedLineRow {
  const char* name;
  const char* prefix;
  std::string argument;
  std::string logged;  // the one log line
  std::string reason;  // the reason returned
};

void PrintTo(const FailedLineRow& row, std::ostream* out) { *out << row.name; }

class FailedLine : public testing::TestWithParam<FailedLineRow> {};

TEST_P(FailedLine, TheLogKeepsTheLineAndTheCallerGetsItWithoutThePrefix) {
  const FailedLineRow& row = GetParam();
  KeptLog log;
  const Failure failure = log.failed(row.prefix, "Could not load %s.", row.argument.c_str());
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0], row.logged);
  EXPECT_EQ(failure.reason, row.reason);
  EXPECT_LE(log.lines[0].size(), ppi::kMessageLimit);
}

// The line as the log's own formatting would cut it: the limit counts the prefix.
const std::string kLong(ppi::kMessageLimit, 'x');
const std::string kCut = ("Plugin> Could not load " + kLong).substr(0, ppi::kMessageLimit);

INSTANTIATE_TEST_SUITE_P(
    Rows, FailedLine,
    testing::Values(
        FailedLineRow{"PluginPrefix", "Plugin> ", "a.voi", "Plugin> Could not load a.voi.",
                      "Could not load a.voi."},
        FailedLineRow{"RunPrefix", "PPI Plugin> ", "a.sdm", "PPI Plugin> Could not load a.sdm.",
                      "Could not load a.sdm."},
        FailedLineRow{"NoPrefix", "", "b", "Could not load b.", "Could not load b."},
        FailedLineRow{"PercentInArgumentIsText", "Plugin> ", "100%s.voi",
                      "Plugin> Could not load 100%s.voi.", "Could not load 100%s.voi."},
        FailedLineRow{"CutAtTheLogLimitWithThePrefix", "Plugin> ", kLong, kCut,
                      kCut.substr(8)}),
    [](const testing::TestParamInfo<FailedLineRow>& info) { return info.param.name; });

}  // namespace
