#include "run/hostresponse.h"
#include "host/hostrecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "host/hostapi.h"
#include "standin/hrf.h"
#include "tests/support/fakehost.h"

namespace {

using ppi::analysis::checkShiftedScaledKernel;
using ppi::analysis::ConvolutionCheck;
using ppi::analysis::HostResponse;
using ppi::analysis::Impulse;
using ppi::analysis::measureHostResponse;

// The response of a single-precision causal convolution, as a host makes it.
std::vector<float> convolved(const std::vector<double>& kernel, std::size_t volumes,
                             const std::vector<Impulse>& impulses) {
  std::vector<float> input(volumes, 0.0f), output(volumes, 0.0f);
  for (const Impulse& impulse : impulses) input[impulse.volume] = impulse.scale;
  for (std::size_t t = 0; t < volumes; ++t) {
    float sum = 0.0f;
    for (std::size_t k = 0; k < kernel.size() && k <= t; ++k) {
      sum += static_cast<float>(kernel[k]) * input[t - k];
    }
    output[t] = sum;
  }
  return output;
}

struct CheckRow {
  const char* name;
  std::vector<Impulse> impulses;
  std::function<void(std::vector<float>&)> change;  // of the true response
  const char* why;                                  // null: the check passes
};

void PrintTo(const CheckRow& row, std::ostream* out) { *out << row.name; }

class ShiftedScaledKernel : public testing::TestWithParam<CheckRow> {};

TEST_P(ShiftedScaledKernel, TellsACopyOfTheKernelFromAnythingElse) {
  const CheckRow& row = GetParam();
  const std::vector<double> kernel = standin::twoGammaKernel(2000.0);
  std::vector<float> response = convolved(kernel, 40, row.impulses);
  if (row.change) row.change(response);
  const ConvolutionCheck check = checkShiftedScaledKernel(kernel, response, row.impulses);
  if (row.why == nullptr) {
    EXPECT_TRUE(check.ok) << check.why.c_str();
    EXPECT_TRUE(check.why.empty());
  } else {
    EXPECT_FALSE(check.ok);
    EXPECT_NE(check.why.view().find(row.why), std::string::npos) << check.why.c_str();
  }
}

const std::vector<Impulse> kOverlapping = {{1, 2.5f}, {6, -0.75f}};

INSTANTIATE_TEST_SUITE_P(
    HostResponse, ShiftedScaledKernel,
    testing::Values(CheckRow{"OverlappingCopies", kOverlapping, nullptr, nullptr},
                    CheckRow{"CutAtTheRunsEnd", {{30, 1.5f}}, nullptr, nullptr},
                    CheckRow{"FloatRoundingApart", kOverlapping,
                             [](std::vector<float>& r) {
                               r[8] = std::nextafter(std::nextafter(r[8], 1.0f), 1.0f);
                             },
                             nullptr},
                    CheckRow{"AMillionthApart", kOverlapping,
                             [](std::vector<float>& r) { r[8] += 1e-4f; }, "at volume 8 "},
                    CheckRow{"SomethingBeforeTheFirstImpulse", kOverlapping,
                             [](std::vector<float>& r) { r[0] = 1e-3f; }, "at volume 0 "},
                    // The second copy at 2.4 where the impulse was 2.5.
                    CheckRow{"WrongScale", kOverlapping,
                             [](std::vector<float>& r) {
                               const std::vector<double> k = standin::twoGammaKernel(2000.0);
                               for (std::size_t t = 1; t < r.size() && t - 1 < k.size(); ++t) {
                                 r[t] -= static_cast<float>(0.1 * k[t - 1]);
                               }
                             },
                             "at volume 2 "},
                    // A kernel one volume late.
                    CheckRow{"Delayed", kOverlapping,
                             [](std::vector<float>& r) {
                               for (std::size_t t = r.size() - 1; t > 0; --t) r[t] = r[t - 1];
                             },
                             "at volume 2 "},
                    // The response not cut at the end but wrapped round to the start.
                    CheckRow{"WrappedRound",
                             {{30, 1.5f}},
                             [](std::vector<float>& r) {
                               const std::vector<double> k = standin::twoGammaKernel(2000.0);
                               for (std::size_t lag = 10; lag < k.size(); ++lag) {
                                 r[lag - 10] += static_cast<float>(1.5 * k[lag]);
                               }
                             },
                             "at volume 0 "},
                    CheckRow{"NotFinite", kOverlapping,
                             [](std::vector<float>& r) {
                               r[12] = std::numeric_limits<float>::quiet_NaN();
                             },
                             "at volume 12 the response is nan"}),
    [](const testing::TestParamInfo<CheckRow>& info) { return info.param.name; });

// A host with one linked time course of the given length and repetition time.
struct LinkedHost {
  LinkedHost(std::int32_t volumes, double repetitionTimeMs) {
    standin::TimeCourse tc;
    tc.nrOfVolumes = volumes;
    tc.repetitionTimeMs = repetitionTimeMs;
    tc.xEnd = tc.yEnd = tc.zEnd = 3;
    tc.resolution = 3;
    host.model.timeCourses["run.vtc"] = tc;
  }
  bool link() { return host.bind() && ppi::host::linkVTCToCurrentVMR("run.vtc"); }

  testsupport::FakeHost host;
};

struct MeasureRow {
  const char* name;
  std::int32_t volumes;
  double repetitionTimeMs;
};

void PrintTo(const MeasureRow& row, std::ostream* out) { *out << row.name; }

class MeasuredKernel : public testing::TestWithParam<MeasureRow> {};

// The kernel read back is the host's own at the time course's TR, to float
// rounding, cut to the run; the scratch predictor is gone afterwards.
TEST_P(MeasuredKernel, IsTheHostsKernelAtTheRunsRepetitionTime) {
  const MeasureRow& row = GetParam();
  LinkedHost linked(row.volumes, row.repetitionTimeMs);
  ASSERT_TRUE(linked.link());
  const HostResponse response = measureHostResponse(row.volumes);
  ASSERT_TRUE(response.ok) << response.why.c_str();
  EXPECT_TRUE(response.why.empty());

  const std::vector<double> expected = standin::twoGammaKernel(row.repetitionTimeMs);
  const std::size_t length = std::min(expected.size(), static_cast<std::size_t>(row.volumes));
  ASSERT_EQ(response.kernel.size(), length);
  for (std::size_t k = 0; k < length; ++k) {
    EXPECT_EQ(response.kernel[k], static_cast<double>(static_cast<float>(expected[k]))) << k;
  }
  const standin::HostModel& model = linked.host.model;
  EXPECT_TRUE(model.designMatrix().empty());
  EXPECT_EQ(model.callsTo("nkApplyTwoGammaHRFToPredictorWithName").size(), 2u);
  ASSERT_FALSE(model.calls.empty());
  EXPECT_EQ(model.calls.back().function, "nkClearDesignMatrix");
  EXPECT_TRUE(model.canariesIntact());
}

INSTANTIATE_TEST_SUITE_P(
    HostResponse, MeasuredKernel,
    testing::Values(MeasureRow{"Tr2", 100, 2000.0}, MeasureRow{"Tr1", 200, 1000.0},
                    MeasureRow{"Tr2_5", 60, 2500.0}, MeasureRow{"Tr3", 50, 3000.0},
                    // The kernel's length exactly.
                    MeasureRow{"RunAsLongAsTheKernel", 17, 2000.0},
                    MeasureRow{"RunShorterThanTheKernel", 10, 2000.0},
                    MeasureRow{"ThreeVolumes", 3, 2000.0},
                    // Room for one impulse only.
                    MeasureRow{"TwoVolumes", 2, 2000.0}),
    [](const testing::TestParamInfo<MeasureRow>& info) { return info.param.name; });

// Hosts whose convolution is not one kernel, and hosts that cannot be asked.
standin::HostModel& model() { return *standin::currentHostModel(); }

// The host's convolution followed by a change of the predictor's values.
template <void (*Change)(float*, std::size_t)>
void changedConvolution(const char* name) {
  model().nkApplyTwoGammaHRFToPredictorWithName(name);
  ppi::host::VTCHeaderRecord header;
  model().nkGetHeaderOfVTCOfCurrentVMR(header.data());
  Change(model().nkGetPredictorByName(name), static_cast<std::size_t>(header.nrOfVolumes()));
}

void squared(float* v, std::size_t n) {
  for (std::size_t t = 0; t < n; ++t) v[t] *= v[t];
}
void shiftedUp(float* v, std::size_t n) {
  for (std::size_t t = 0; t < n; ++t) v[t] += 0.01f;
}
void gainAlongTheRun(float* v, std::size_t n) {
  for (std::size_t t = 0; t < n; ++t) v[t] *= 1.0f + static_cast<float>(t) / static_cast<float>(n);
}
void scaledToPeakOne(float* v, std::size_t n) {
  float peak = 0.0f;
  for (std::size_t t = 0; t < n; ++t) peak = std::max(peak, std::fabs(v[t]));
  for (std::size_t t = 0; t < n; ++t) v[t] /= peak;
}
void zeroed(float* v, std::size_t n) {
  for (std::size_t t = 0; t < n; ++t) v[t] = 0.0f;
}
void unchanged(const char*) {}
float* noValues(const char*) { return nullptr; }

struct HostRow {
  const char* name;
  std::string function;  // replaced or, with no replacement, removed
  ppi::host::RawFunction replacement;
  std::int32_t volumes;
  const char* why;  // null: a kernel, the identity {1}
};

void PrintTo(const HostRow& row, std::ostream* out) { *out << row.name; }

class HostsWithoutOneKernel : public testing::TestWithParam<HostRow> {};

template <typename Function>
ppi::host::RawFunction raw(Function* function) {
  return reinterpret_cast<ppi::host::RawFunction>(function);
}

TEST_P(HostsWithoutOneKernel, SayWhyAndLeaveTheDesignMatrixEmpty) {
  const HostRow& row = GetParam();
  LinkedHost linked(row.volumes, 2000.0);
  if (row.replacement != nullptr) {
    linked.host.exports[row.function] = row.replacement;
  } else {
    linked.host.remove(row.function);
  }
  ASSERT_TRUE(linked.link());
  const HostResponse response = measureHostResponse(row.volumes);
  if (row.why == nullptr) {
    ASSERT_TRUE(response.ok) << response.why.c_str();
    EXPECT_EQ(response.kernel, std::vector<double>{1.0});
  } else {
    EXPECT_FALSE(response.ok);
    EXPECT_TRUE(response.kernel.empty());
    EXPECT_NE(response.why.view().find(row.why), std::string::npos) << response.why.c_str();
  }
  EXPECT_TRUE(linked.host.model.designMatrix().empty());
  EXPECT_TRUE(linked.host.model.canariesIntact());
}

const std::string kApply = "nkApplyTwoGammaHRFToPredictorWithName";

INSTANTIATE_TEST_SUITE_P(
    HostResponse, HostsWithoutOneKernel,
    testing::Values(
        HostRow{"Squares", kApply, raw(&changedConvolution<squared>), 80, "not linear"},
        HostRow{"AddsAnOffset", kApply, raw(&changedConvolution<shiftedUp>), 80,
                "not linear and shift-invariant: at volume 0 "},
        HostRow{"GainGrowsAlongTheRun", kApply, raw(&changedConvolution<gainAlongTheRun>), 80,
                "not linear"},
        HostRow{"ScalesToPeakOne", kApply, raw(&changedConvolution<scaledToPeakOne>), 80,
                "not linear"},
        HostRow{"ZeroResponse", kApply, raw(&changedConvolution<zeroed>), 80, "is zero"},
        // A host that convolves with the identity does have one kernel.
        HostRow{"LeavesValuesAlone", kApply, raw(&unchanged), 80, nullptr},
        HostRow{"HandsOutNoValues", "nkGetPredictorByName", raw(&noValues), 80,
                "no values for the scratch predictor"},
        HostRow{"LacksTheConvolution", kApply, nullptr, 80,
                "does not offer nkApplyTwoGammaHRFToPredictorWithName"},
        HostRow{"LacksClearing", "nkClearDesignMatrix", nullptr, 80,
                "does not offer nkClearDesignMatrix"},
        HostRow{"LacksAdding", "nkAddPredictor", nullptr, 80, "does not offer nkAddPredictor"},
        HostRow{"LacksReading", "nkGetPredictorByName", nullptr, 80,
                "does not offer nkGetPredictorByName"},
        HostRow{"OneVolume", kApply, raw(&unchanged), 1, "has 1 volumes"}),
    [](const testing::TestParamInfo<HostRow>& info) { return info.param.name; });

}  // namespace
