#include "report/provenance.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "common/checksum.h"
#include "common/hosttext.h"

namespace ppi::analysis {

namespace {

// Keys keep the order they are written in, for people reading the file.
using json = nlohmann::ordered_json;

// Every text of the record as UTF-8: the host's 8-bit texts keep their
// characters (the plug-in's own texts are ASCII, kept as they are).
void hostTextsToUtf8(json& value) {
  if (value.is_string()) {
    value = hostTextToUtf8(value.get_ref<const std::string&>());
  } else if (value.is_structured()) {
    for (json& element : value) hostTextsToUtf8(element);
  }
}

json number(double value) { return std::isfinite(value) ? json(value) : json(nullptr); }

json gridRange(std::int32_t start, std::int32_t end) { return json::array({start, end}); }

json methodJson(const MethodOptions& method) {
  json options = json::object();
  for (const MethodOptionInfo& option : kMethodOptions) options[option.parameter] = method.*option.field;
  return options;
}

json settingsJson(const SettingsRecord& settings, const std::vector<ConditionWeight>& conditions) {
  json conditionList = json::array();
  for (const ConditionWeight& condition : conditions) {
    conditionList.push_back(
        {{"name", condition.name},
         {"entry", condition.named ? json(condition.entryText) : json(nullptr)},
         {"weight", condition.named ? json(condition.weight) : json("no entry")}});
  }
  return {
      {"approach", settings.approach == Approach::generalized ? "generalized" : "standard"},
      {"baseline", settings.baseline},
      {"gPPIConditions", settings.modelledConditions},
      {"conditions", conditionList},
      {"conditionEntries", settings.conditionEntries},
      {"label", settings.label},
      {"multiStudy", {{"enabled", settings.multiStudy}, {"path", settings.multiStudyPath}}},
      {"motion",
       {{"merge", settings.motionMerge},
        {"zTransform", settings.zTransform},
        {"model", settings.motionModel},
        {"censorFD", number(settings.censorFD)}}},
      {"method", methodJson(settings.method)},
  };
}

json motionJson(const MotionInput& motion) {
  json censored = json::array();
  for (std::size_t volume : motion.censored) censored.push_back(volume + 1);
  return {{"path", motion.path},
          {"checksum", hex64(motion.checksum)},
          {"meanFD", number(motion.meanFD)},
          {"maxFD", number(motion.maxFD)},
          {"censoredVolumes", censored}};
}

json inputsJson(const ProvenanceInput& input) {
  const TimeCourseInput& timeCourse = input.timeCourse;
  json conditionNames = json::array();
  for (const ConditionWeight& condition : input.protocol.conditions) {
    conditionNames.push_back(condition.name);
  }
  const RegionInput& region = input.region;
  return {
      {"timeCourse",
       {{"path", timeCourse.path},
        {"grid",
         {{"x", gridRange(timeCourse.xStart, timeCourse.xEnd)},
          {"y", gridRange(timeCourse.yStart, timeCourse.yEnd)},
          {"z", gridRange(timeCourse.zStart, timeCourse.zEnd)}}},
        {"resolution", timeCourse.resolution},
        {"volumes", timeCourse.volumes},
        {"sampleType", timeCourse.sampleType == SampleType::int16 ? "int16" : "float32"},
        {"checksum", hex64(timeCourse.checksum)}}},
      {"protocol",
       {{"path", input.protocol.chosenPath.empty() ? std::string("linked to the time course")
                                                   : input.protocol.chosenPath},
        {"conditions", conditionNames}}},
      {"region",
       {{"file", region.file},
        {"name", region.name},
        {"index", region.index},
        {"voxelsListed", region.voxelsListed},
        {"voxelsInside", region.voxelsInside}}},
      {"motion", input.motion.merged ? motionJson(input.motion) : json(nullptr)},
  };
}

json predictorsJson(const DesignStats& design) {
  json list = json::array();
  for (const PredictorSummary& predictor : design.predictors) {
    list.push_back({{"name", predictor.name},
                    {"mean", number(predictor.mean)},
                    {"standardDeviation", number(predictor.standardDeviation)},
                    {"minimum", number(predictor.minimum)},
                    {"maximum", number(predictor.maximum)},
                    {"constant", predictor.constant}});
  }
  return list;
}

json correlationsJson(const DesignStats& design) {
  if (!design.valid) return nullptr;
  json names = json::array();
  json matrix = json::array();
  for (std::size_t a = 0; a < design.correlated.size(); ++a) {
    names.push_back(design.predictors[design.correlated[a]].name);
    json row = json::array();
    for (std::size_t b = 0; b < design.correlated.size(); ++b) {
      row.push_back(number(design.correlation(a, b)));
    }
    matrix.push_back(std::move(row));
  }
  json vifs = json::array();
  for (const PpiVif& entry : design.vifs) {
    vifs.push_back({{"name", design.predictors[entry.predictor].name},
                    {"vif", std::isinf(entry.vif) ? json("infinite") : number(entry.vif)}});
  }
  return {{"names", names}, {"matrix", matrix}, {"vif", vifs}};
}

}  // namespace

std::string settingsJsonText(const SettingsRecord& settings) {
  return settingsJson(settings, {}).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string provenanceJson(const ProvenanceInput& input) {
  json warnings = json::array();
  for (const std::string& warning : input.warnings) warnings.push_back(warning);
  if (!input.design.valid) warnings.push_back(input.design.problem);
  json findings = json::array();
  for (const Finding& finding : input.findings) {
    findings.push_back({{"id", finding.id},
                        {"severity", severityName(finding.kind)},
                        {"where", finding.where},
                        {"what", finding.what},
                        {"todo", finding.todo}});
  }

  json signal = {{"mean", number(input.signal.mean)},
                 {"standardDeviation", number(input.signal.standardDeviation)}};
  if (input.signal.eigenvariateShare >= 0) {
    signal["eigenvariateShare"] = number(input.signal.eigenvariateShare);
  }
  json record = {
      {"plugin",
       {{"name", input.plugin.name},
        {"version", input.plugin.version},
        {"hostVersion", input.plugin.hostVersion},
        {"created", isoUtc(input.createdUtc)}}},
      {"settings", settingsJson(input.settings, input.protocol.conditions)},
      {"inputs", inputsJson(input)},
      {"signal", signal},
  };
  // Only what the run did: the default record keeps its keys.
  const DeconvolutionSummary& deconvolution = input.deconvolution;
  if (deconvolution.done) {
    const char* edge = gridEdgeName(deconvolution.edge);
    record["deconvolution"] = {
        {"penalty", number(deconvolution.penalty)},
        {"relativePenalty", number(deconvolution.relativePenalty)},
        {"effectiveParameters", number(deconvolution.effectiveParameters)},
        {"volumes", deconvolution.volumes},
        {"kernelVolumes", deconvolution.kernelVolumes},
        {"gridEdge", *edge != '\0' ? json(edge) : json(nullptr)}};
    const char* centre = factorCentreName(deconvolution.factorCentre);
    if (*centre != '\0') record["deconvolution"]["factorCentre"] = centre;
  }
  record["predictors"] = predictorsJson(input.design);
  record["correlations"] = correlationsJson(input.design);
  record["warnings"] = warnings;
  record["findings"] = findings;
  hostTextsToUtf8(record);
  // Every text is UTF-8 by now; were one not, it would not throw here.
  return record.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace ppi::analysis
