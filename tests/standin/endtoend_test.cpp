// The stand-in host application, as built, with the plug-in library, as built:
// the plug-in binds to the executable by itself, and the host reports how each
// session went.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/fakehost.h"
#include "tests/support/standinfixtures.h"

namespace {

using testsupport::contains;
using testsupport::HostRun;
using testsupport::ScopedWorkingDirectory;
using testsupport::writeFile;

TEST(StandInHost, StartsThePluginAndReportsEachSessionsOutcome) {
  ScopedWorkingDirectory dir;
  const std::string plugin = "--plugin '" STANDIN_PLUGIN_PATH "' ";
  struct Row {
    const char* session;  // nullptr: no session file at all
    std::string arguments;
    int status;
    const char* shows;
  };
  const Row rows[] = {
      {"command Clear\n", plugin + "s.session", 0, "Clear returned true, as expected"},
      {"vmr closed\ncommand Clear expect false\n", plugin + "s.session", 0,
       "[message box] This plugin requires a VMR to operate."},
      {"command Clear expect false\n", plugin + "s.session", 1,
       "line 1: Clear returned true, expected false"},
      {"open-file ./never-asked.ppi\ncommand Clear\n", plugin + "s.session", 1,
       "1 queued answer(s) were never asked for"},
      {"press Start\n", plugin + "s.session", 2, "line 1: unknown step \"press\""},
      {nullptr, plugin + "missing.session", 2, "cannot open missing.session"},
      {nullptr, "--plugin ./no-such-library.so", 2, "cannot load ./no-such-library.so"},
      {nullptr, plugin, 0, "** Starting PPI plugin (v1.30) **"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments);
    if (row.session != nullptr) writeFile("s.session", row.session);
    HostRun run = testsupport::runHost(STANDIN_APP_PATH, ".", row.arguments);
    EXPECT_EQ(run.status, row.status) << run.output;
    EXPECT_TRUE(contains(run.output, row.shows)) << run.output;
    if (row.status != 2) {
      EXPECT_TRUE(contains(run.output, "  name: PPI plugin (v1.30)")) << run.output;
      EXPECT_TRUE(contains(run.output, "  GUI script: ppi_gui.js")) << run.output;
    }
  }
}

}  // namespace
