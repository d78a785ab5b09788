#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "plugin/metadata.h"
#include "plugin/ppiplugin.h"
#include "tests/support/fakehost.h"

namespace {

using testsupport::FakeHost;

TEST(Metadata, TextsAreFixedAndStable) {
  EXPECT_STREQ(getPluginName(), "PPI plugin (v1.30)");
  EXPECT_STREQ(getPluginVersion(), "1.30");
  EXPECT_STREQ(getPluginDescription(),
               "This plugin creates the regressors needed for PsychoPhysiological Interaction "
               "(PPI) analysis.");
  EXPECT_STREQ(getAuthor(), "<i>RK</i>");
  EXPECT_STREQ(getHelpFile(), "HelpFolder/index.html");
  EXPECT_STREQ(getGUIScript(), "ppi_gui.js");
  EXPECT_EQ(getPluginName(), getPluginName());
  EXPECT_EQ(getGUIScript(), getGUIScript());
}

struct VersionCase {
  int major, minor, revision;
  bool passes;
};

TEST(InitPlugin, AcceptsHostsFromVersion280) {
  const VersionCase cases[] = {
      {2, 8, 0, true},  {2, 7, 9, false}, {3, 0, 0, true},  {2, 9, 0, true},
      {1, 9, 9, false}, {3, 0, 7, true},  {2, 8, 12, true}, {1, 99, 99, false},
  };
  for (const VersionCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) + "." +
                 std::to_string(c.revision));
    FakeHost host;
    host.model.version = {c.major, c.minor, c.revision};
    ASSERT_TRUE(host.bind());
    EXPECT_EQ(ppi::plugin::startWithBoundHost(), c.passes);
    if (c.passes) {
      EXPECT_TRUE(host.model.messageBoxes.empty());
      ASSERT_EQ(host.model.log.size(), 1u);
      EXPECT_EQ(host.model.log[0], "\n** Starting PPI plugin (v1.30) **");
      ASSERT_EQ(host.model.calls.size(), 3u);
      EXPECT_EQ(host.model.calls[1].function, "nkShowLogPane");
    } else {
      EXPECT_TRUE(host.model.log.empty());
      ASSERT_EQ(host.model.messageBoxes.size(), 1u);
      EXPECT_EQ(host.model.messageBoxes[0],
                "Can not execute this plugin - TessarayNK version 2.8 or higher required.");
    }
  }
}

TEST(InitPlugin, WithoutTheVersionFunctionNothingIsCalled) {
  FakeHost host;
  host.remove("nkGetVersionOfTessarayNK");
  EXPECT_FALSE(host.bind());
  EXPECT_TRUE(host.model.calls.empty());
}

TEST(InitPlugin, HostOfferingOnlyItsVersion) {
  // A host without the log pane or log still starts; one whose version
  // function is the only export fails to start when it is too old, quietly.
  FakeHost host;
  host.model.version = {2, 7, 0};
  host.exports = {
      {"nkGetVersionOfTessarayNK", testsupport::allHostExports()["nkGetVersionOfTessarayNK"]}};
  ASSERT_TRUE(host.bind());
  EXPECT_FALSE(ppi::plugin::startWithBoundHost());
  EXPECT_TRUE(host.model.messageBoxes.empty());
}

}  // namespace
