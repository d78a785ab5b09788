#include "report/provenance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/checksum.h"

namespace {

using nlohmann::ordered_json;
using ppi::analysis::Approach;
using ppi::analysis::PredictorRole;
using ppi::analysis::ProvenanceInput;

// A generalized-approach subject with a merged motion file: conditions Rest
// (baseline), Faces and Houses weighted, and Noise that no entry names.
ProvenanceInput sampleInput() {
  ProvenanceInput input;
  input.plugin = {"PPI plug-in", "2.1.0", "3.4.1"};
  input.createdUtc = 1717243200;
  input.settings.approach = Approach::generalized;
  input.settings.baseline = 1;
  input.settings.conditionEntries = {"Faces list2", "Houses list0"};
  input.settings.label = "V1";
  input.settings.multiStudy = true;
  input.settings.multiStudyPath = "C:\\study\\Multistudy_PPI.mdm";
  input.settings.motionMerge = true;
  input.settings.zTransform = false;
  input.settings.method = {2, 1, 1};
  input.timeCourse = {
      "C:\\study\\s1.vtc", 10, 40, 20, 60, 0, 30, 3, 4, ppi::analysis::SampleType::int16, 0};
  const std::vector<short> samples = {1, 2, 3, 4, -5, 6, 7, 8};
  input.timeCourse.checksum = ppi::checksum64(samples.data(), samples.size() * sizeof(short));
  input.protocol.conditions = {{"Rest", true, "Rest list1", 0},
                               {"Faces", true, "Faces list2", 1},
                               {"Houses", true, "Houses list0", -1},
                               {"Noise", false, "", 0}};
  input.region = {"C:\\study\\regions.voi", "V1 left", 2, 120, 117};
  input.motion = {true, "C:\\study\\s1_3DMC.sdm", 0x0123456789abcdefULL, 0.125, 0.75, {6, 40}};
  input.signal = {812.5, 14.25};
  input.design = ppi::analysis::computeDesignStats(
      {{"PPI_Faces_V1", {1, -1, 1, -1}, PredictorRole::ppiTerm},
       {"PPI_Houses_V1", {3, -1, -3, 1}, PredictorRole::ppiTerm},
       {"Faces", {1, 1, -1, -1}, PredictorRole::task},
       {"V1_predictor", {1, -1, -1, 1}, PredictorRole::regionSignal},
       {"Constant", {1, 1, 1, 1}, PredictorRole::other}});
  input.warnings = {"3 of 120 region voxels lie outside the grid."};
  return input;
}

TEST(ProvenanceJson, ParsesBackWithEveryPartInOrder) {
  const ProvenanceInput input = sampleInput();
  const std::string text = ppi::analysis::provenanceJson(input);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  const ordered_json record = ordered_json::parse(text);

  std::vector<std::string> keys;
  for (const auto& item : record.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"plugin", "settings", "inputs", "signal", "predictors",
                                            "correlations", "warnings", "findings"}));

  EXPECT_EQ(record["plugin"], ordered_json::parse(R"({"name": "PPI plug-in", "version": "2.1.0",
                                    "hostVersion": "3.4.1", "created": "2024-06-01T12:00:00Z"})"));

  const ordered_json& settings = record["settings"];
  EXPECT_EQ(settings["approach"], "generalized");
  EXPECT_EQ(settings["baseline"], 1);
  EXPECT_EQ(settings["conditions"], ordered_json::parse(R"([
      {"name": "Rest", "entry": "Rest list1", "weight": 0},
      {"name": "Faces", "entry": "Faces list2", "weight": 1},
      {"name": "Houses", "entry": "Houses list0", "weight": -1},
      {"name": "Noise", "entry": null, "weight": "no entry"}])"));
  EXPECT_EQ(settings["conditionEntries"],
            ordered_json::parse(R"(["Faces list2", "Houses list0"])"));
  EXPECT_EQ(settings["label"], "V1");
  EXPECT_EQ(settings["multiStudy"]["enabled"], true);
  EXPECT_EQ(settings["multiStudy"]["path"], "C:\\study\\Multistudy_PPI.mdm");
  EXPECT_EQ(settings["motion"],
            ordered_json::parse(
                R"({"merge": true, "zTransform": false, "model": 6, "censorFD": 0.0})"));
  EXPECT_EQ(
      settings["method"],
      ordered_json::parse(R"({"interactionLevel": 2, "regionSummary": 1, "centrePsych": 1})"));

  const ordered_json& timeCourse = record["inputs"]["timeCourse"];
  EXPECT_EQ(timeCourse["path"], "C:\\study\\s1.vtc");
  EXPECT_EQ(timeCourse["grid"],
            ordered_json::parse(R"({"x": [10, 40], "y": [20, 60], "z": [0, 30]})"));
  EXPECT_EQ(timeCourse["resolution"], 3);
  EXPECT_EQ(timeCourse["volumes"], 4);
  EXPECT_EQ(timeCourse["sampleType"], "int16");
  EXPECT_EQ(timeCourse["checksum"], ppi::hex64(input.timeCourse.checksum));
  EXPECT_EQ(timeCourse["checksum"].get<std::string>().size(), 16u);
  EXPECT_EQ(record["inputs"]["protocol"]["conditions"],
            ordered_json::parse(R"(["Rest", "Faces", "Houses", "Noise"])"));
  EXPECT_EQ(record["inputs"]["region"],
            ordered_json::parse(R"({"file": "C:\\study\\regions.voi", "name": "V1 left", "index": 2,
                                    "voxelsListed": 120, "voxelsInside": 117})"));
  EXPECT_EQ(
      record["inputs"]["motion"],
      ordered_json::parse(R"({"path": "C:\\study\\s1_3DMC.sdm", "checksum": "0123456789abcdef",
                              "meanFD": 0.125, "maxFD": 0.75, "censoredVolumes": [7, 41]})"));
  EXPECT_EQ(record["signal"],
            ordered_json::parse(R"({"mean": 812.5, "standardDeviation": 14.25})"));

  const ordered_json& predictors = record["predictors"];
  ASSERT_EQ(predictors.size(), 5u);
  EXPECT_EQ(predictors[1]["name"], "PPI_Houses_V1");
  EXPECT_EQ(predictors[1]["mean"], 0.0);
  EXPECT_EQ(predictors[1]["minimum"], -3.0);
  EXPECT_EQ(predictors[1]["maximum"], 3.0);
  EXPECT_DOUBLE_EQ(predictors[1]["standardDeviation"].get<double>(), std::sqrt(20.0 / 3));
  EXPECT_EQ(predictors[4]["name"], "Constant");
  EXPECT_EQ(predictors[4]["constant"], true);
  EXPECT_EQ(predictors[0]["constant"], false);

  // PPI_Houses_V1 = Faces + 2 * V1_predictor; PPI_Faces_V1 is orthogonal to all.
  const ordered_json& correlations = record["correlations"];
  EXPECT_EQ(correlations["names"],
            ordered_json::parse(R"(["PPI_Faces_V1", "PPI_Houses_V1", "Faces", "V1_predictor"])"));
  ASSERT_EQ(correlations["matrix"].size(), 4u);
  for (std::size_t a = 0; a < 4; ++a) {
    ASSERT_EQ(correlations["matrix"][a].size(), 4u);
    EXPECT_EQ(correlations["matrix"][a][a], 1.0);
  }
  EXPECT_NEAR(correlations["matrix"][1][2].get<double>(), 1 / std::sqrt(5.0), 1e-12);
  EXPECT_NEAR(correlations["matrix"][0][3].get<double>(), 0, 1e-12);
  ASSERT_EQ(correlations["vif"].size(), 2u);
  EXPECT_EQ(correlations["vif"][0]["name"], "PPI_Faces_V1");
  EXPECT_NEAR(correlations["vif"][0]["vif"].get<double>(), 1, 1e-9);
  EXPECT_EQ(correlations["vif"][1],
            ordered_json::parse(R"({"name": "PPI_Houses_V1", "vif": "infinite"})"));

  EXPECT_EQ(record["warnings"],
            ordered_json::parse(R"(["3 of 120 region voxels lie outside the grid."])"));
}

TEST(ProvenanceJson, VariantsOfTheInputs) {
  const struct {
    const char* name;
    void (*change)(ProvenanceInput&);
    const char* pointer;   // a JSON pointer into the record
    const char* expected;  // the JSON value there
  } rows[] = {
      {"protocol chosen by the user",
       [](ProvenanceInput& input) { input.protocol.chosenPath = "C:\\study\\s1.prt"; },
       "/inputs/protocol/path", R"("C:\\study\\s1.prt")"},
      {"protocol linked to the time course", [](ProvenanceInput&) {}, "/inputs/protocol/path",
       R"("linked to the time course")"},
      {"motion not merged", [](ProvenanceInput& input) { input.motion = {}; }, "/inputs/motion",
       "null"},
      {"a signal that is not finite is null",
       [](ProvenanceInput& input) { input.signal.standardDeviation = std::nan(""); },
       "/signal/standardDeviation", "null"},
      {"a design without statistics: no correlations",
       [](ProvenanceInput& input) {
         input.design = ppi::analysis::computeDesignStats({{"PPI", {1}, PredictorRole::ppiTerm}});
       },
       "/correlations", "null"},
      {"... and its reason among the warnings",
       [](ProvenanceInput& input) {
         input.warnings.clear();
         input.design = ppi::analysis::computeDesignStats({});
       },
       "/warnings", R"(["The design matrix has no predictors."])"},
      {"a code-page path keeps its characters",
       [](ProvenanceInput& input) { input.region.file = "C:\\Studie\\R\xe4ume.voi"; },
       "/inputs/region/file", "\"C:\\\\Studie\\\\R\xc3\xa4ume.voi\""},
      {"a UTF-8 name is kept as it is",
       [](ProvenanceInput& input) { input.region.name = "Gyrus fusiformis \xc3\xa4\xe2\x80\x93 links"; },
       "/inputs/region/name", "\"Gyrus fusiformis \xc3\xa4\xe2\x80\x93 links\""},
      {"a finding's text with a code-page path",
       [](ProvenanceInput& input) {
         input.findings = {{ppi::Severity::warning, "subject 1 (M\xfcller.vtc)", "short.", "", "x"}};
       },
       "/findings/0/where", "\"subject 1 (M\xc3\xbcller.vtc)\""},
  };
  for (const auto& row : rows) {
    ProvenanceInput input = sampleInput();
    row.change(input);
    const std::string text = ppi::analysis::provenanceJson(input);
    const ordered_json record = ordered_json::parse(text, nullptr, false);
    ASSERT_FALSE(record.is_discarded()) << row.name << "\n" << text;
    EXPECT_EQ(record.at(ordered_json::json_pointer(row.pointer)), ordered_json::parse(row.expected))
        << row.name;
  }
}

TEST(IsoUtc, CivilDatesAcrossLeapRulesAndBeforeTheEpoch) {
  const struct {
    long long seconds;
    const char* text;
  } rows[] = {
      {0, "1970-01-01T00:00:00Z"},
      {-1, "1969-12-31T23:59:59Z"},
      {951782400, "2000-02-29T00:00:00Z"},  // a century divisible by 400 leaps
      {1717243200, "2024-06-01T12:00:00Z"},
      {4107542399, "2100-02-28T23:59:59Z"},  // 2100 does not leap
      {4107542400, "2100-03-01T00:00:00Z"},
      {-62135596800, "0001-01-01T00:00:00Z"},
      {253402300799, "9999-12-31T23:59:59Z"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(ppi::analysis::isoUtc(row.seconds), row.text) << row.seconds;
}

}  // namespace

// Latin-1 names and paths of a host's 8-bit code page: two conditions that
// differ in one such character stay two, each with its weight, and a
// recorded path gives back the bytes of the file it names.
TEST(ProvenanceJson, HostTextKeepsItsCharacters) {
  ProvenanceInput input = sampleInput();
  input.protocol.conditions = {{"Ger\xe4t", true, "Ger\xe4t list1", 1},
                               {"Ger\xfct", true, "Ger\xfct list2", -1},
                               {"M\xfcller", true, "M\xfcller list3", 0}};
  input.timeCourse.path = "/data/M\xfcller/Ger\xe4t run1.vtc";
  const ordered_json record = ordered_json::parse(ppi::analysis::provenanceJson(input));
  EXPECT_EQ(record["settings"]["conditions"], ordered_json::parse(R"([
      {"name": "Ger\u00e4t", "entry": "Ger\u00e4t list1", "weight": 1},
      {"name": "Ger\u00fct", "entry": "Ger\u00fct list2", "weight": -1},
      {"name": "M\u00fcller", "entry": "M\u00fcller list3", "weight": 0}])"));
  // Back to bytes: each character below U+0100 one byte.
  const std::string recorded = record["inputs"]["timeCourse"]["path"];
  std::string bytes;
  for (std::size_t at = 0; at < recorded.size(); ++at) {
    const auto lead = static_cast<unsigned char>(recorded[at]);
    ASSERT_LT(lead, 0xC4) << "a character past U+00FF";
    if (lead < 0x80) {
      bytes += recorded[at];
    } else {
      bytes += static_cast<char>(((lead & 0x1F) << 6) | (recorded[++at] & 0x3F));
    }
  }
  EXPECT_EQ(bytes, input.timeCourse.path);
}
