#include <gtest/gtest.h>

#include <set>
#include <string>

#include "host/hostapi.h"
#include "host/hosttable.h"
#include "tests/support/fakehost.h"

namespace {

using ppi::host::HostFunction;
using ppi::host::hostEntry;
using ppi::host::hostFunctionName;
using testsupport::FakeHost;

TEST(HostTable, HoldsTheHostsNamesOnceInTheirOrder) {
  std::set<std::string> names;
  for (std::size_t i = 0; i < ppi::host::kHostFunctionCount; ++i) {
    names.insert(hostFunctionName(static_cast<HostFunction>(i)));
  }
  EXPECT_EQ(names.size(), 190u);
  struct Row {
    int index;
    const char* name;
  };
  const Row rows[] = {
      {0, "nkGetVersionOfTessarayNK"}, {12, "nkGetSaveFileName"},
      {13, "nkCloseAllPlots"},         {36, "nkUpdateActiveWindow"},
      {69, "nkGetCurrentVMR"},         {100, "nkLinkVTCToCurrentVMR"},
      {149, "nkClearProtocol"},        {157, "nkClearDesignMatrix"},
      {169, "nkLoadVOIs"},             {177, "nkGetStringParameter"},
      {189, "nkLaunchICADialog"},
  };
  for (const Row& row : rows) {
    EXPECT_STREQ(hostFunctionName(static_cast<HostFunction>(row.index)), row.name) << row.index;
  }
}

TEST(HostTable, BindingRules) {
  FakeHost host;
  ASSERT_TRUE(host.bind());
  auto logText = hostEntry(HostFunction::nkLogText);
  ASSERT_NE(logText, nullptr);

  // Without the version function nothing is written: earlier entries stay.
  FakeHost withoutVersion;
  withoutVersion.remove("nkGetVersionOfTessarayNK");
  withoutVersion.remove("nkLogText");
  EXPECT_FALSE(withoutVersion.bind());
  EXPECT_EQ(hostEntry(HostFunction::nkLogText), logText);

  // Any other missing name leaves just its entry empty.
  FakeHost withoutIca;
  withoutIca.remove("nkLaunchICADialog");
  withoutIca.remove("nkSetIntParameter");
  EXPECT_TRUE(withoutIca.bind());
  EXPECT_EQ(hostEntry(HostFunction::nkLaunchICADialog), nullptr);
  EXPECT_EQ(hostEntry(HostFunction::nkSetIntParameter), nullptr);
  EXPECT_NE(hostEntry(HostFunction::nkGetIntParameter), nullptr);

  // A later binding overwrites every entry again.
  ASSERT_TRUE(host.bind());
  EXPECT_NE(hostEntry(HostFunction::nkSetIntParameter), nullptr);
  EXPECT_NE(hostEntry(HostFunction::nkLaunchICADialog), nullptr);
}

TEST(HostOperations, EmptyEntriesAreCheckedBeforeTheyAreCalled) {
  FakeHost host;
  host.remove("nkGetSaveFileName");
  ASSERT_TRUE(host.bind());
  EXPECT_FALSE(
      ppi::host::requireHostFunctions({HostFunction::nkLogText, HostFunction::nkGetSaveFileName})
          .ok());
  ASSERT_EQ(host.model.log.size(), 1u);
  EXPECT_EQ(host.model.log[0], "Plugin> The host does not offer nkGetSaveFileName; command refused.");
  std::string path;
  EXPECT_THROW(ppi::host::getSaveFileName("t", ".", "*.ppi", path), ppi::host::MissingHostFunction);

  host.remove("nkLogText");
  ASSERT_TRUE(host.bind());
  ppi::host::logText("goes nowhere");  // no log to write to, and no failure either
  EXPECT_EQ(host.model.log.size(), 1u);
}

TEST(HostOperations, TextsFromTheHostGetTheirFullRoom) {
  FakeHost host;
  ASSERT_TRUE(host.bind());
  const std::string longest(8191, 'x');
  host.model.stringParameters["VTCFileList"] = longest + "cut here";
  EXPECT_EQ(ppi::host::getStringParameter("VTCFileList"), longest);
  host.model.openFileAnswers.push_back({true, longest});
  std::string path;
  EXPECT_TRUE(ppi::host::getOpenFileName("Select", ".", "*.vtc", path));
  EXPECT_EQ(path, longest);
  EXPECT_FALSE(ppi::host::getOpenFileName("Select", ".", "*.vtc", path));
}

TEST(HostOperations, LogLinesStayWithinTheirLimit) {
  FakeHost host;
  ASSERT_TRUE(host.bind());
  const std::string longPath(600, 'p');
  ppi::host::logLine("Plugin> VTC file: %s", longPath.c_str());
  ppi::host::logLineLimited(255, "New filename: %s", longPath.c_str());
  ASSERT_EQ(host.model.log.size(), 2u);
  EXPECT_EQ(host.model.log[0].size(), 500u);
  EXPECT_EQ(host.model.log[0].rfind("Plugin> VTC file: ppp", 0), 0u);
  EXPECT_EQ(host.model.log[1].size(), 255u);
}

}  // namespace
