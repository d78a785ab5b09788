#include "design/motionmodel.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using ppi::confounds::MotionModel;

TEST(MotionModelSettings, ValuesAsTheDialogGivesThem) {
  struct Row {
    const char* name;
    int expansion;
    const char* censor;
    const char* percent;
    const char* meanFD;
    bool ok;
    int wantExpansion;
    double wantCensor;
    double wantShare;
    double wantMeanFD;
    const char* why;  // part of the reason when refused
  };
  const Row rows[] = {
      {"all unset: the document's merge", 0, "", "", "", true, 6, 0, 0.2, 0, ""},
      {"six", 6, "0", "20", "0.5", true, 6, 0, 0.2, 0.5, ""},
      {"24 with half a millimetre", 24, "0.5", "", "", true, 24, 0.5, 0.2, 0, ""},
      {"blanks around numbers", 12, " 0.9 ", "\t10", "0.3 ", true, 12, 0.9, 0.1, 0.3, ""},
      {"mean FD off", 6, "", "", "0", true, 6, 0, 0.2, 0, ""},
      {"an unknown model", 18, "", "", "", false, 0, 0, 0, 0, "\"moCoModel\" is 18"},
      {"a comma as decimal separator", 24, "0,5", "", "", false, 0, 0, 0, 0, "\"censorFD\""},
      {"a negative threshold", 24, "-0.5", "", "", false, 0, 0, 0, 0, "\"censorFD\""},
      {"not a number", 24, "nan", "", "", false, 0, 0, 0, 0, "\"censorFD\""},
      {"a share past 100 %", 24, "0.5", "150", "", false, 0, 0, 0, 0, "\"censorMaxPercent\""},
      {"text after the number", 24, "0.5mm", "", "", false, 0, 0, 0, 0, "\"censorFD\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const ppi::Result<MotionModel> parsed =
        ppi::confounds::parseMotionModel(row.expansion, row.censor, row.percent, row.meanFD);
    ASSERT_EQ(parsed.ok(), row.ok) << parsed.reason();
    if (!parsed.ok()) {
      EXPECT_NE(parsed.reason().find(row.why), std::string::npos) << parsed.reason();
      continue;
    }
    const MotionModel& model = parsed.value();
    EXPECT_EQ(model.expansion, row.wantExpansion);
    EXPECT_DOUBLE_EQ(model.censorFD, row.wantCensor);
    EXPECT_DOUBLE_EQ(model.maxCensoredShare, row.wantShare);
    EXPECT_DOUBLE_EQ(model.maxMeanFD, row.wantMeanFD);
  }
}

TEST(MotionModelSettings, TheTagNamesWhatTheModelAdds) {
  MotionModel model;
  EXPECT_EQ(ppi::confounds::motionModelTag(model), "");
  model.expansion = 12;
  EXPECT_EQ(ppi::confounds::motionModelTag(model), "_12p");
  model.expansion = 24;
  model.censorFD = 0.5;
  EXPECT_EQ(ppi::confounds::motionModelTag(model), "_24p_fd0.5");
  model.expansion = 6;
  EXPECT_EQ(ppi::confounds::motionModelTag(model), "_fd0.5");
}

}  // namespace
