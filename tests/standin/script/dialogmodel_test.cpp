#include "standin/script/dialogmodel.h"

#include <gtest/gtest.h>

namespace standin::script {
namespace {

DialogModel sampleDialog() {
  DialogModel dialog;
  dialog.addControl({"section", "s", "Subjects", "", "", true});
  dialog.addControl({"button", "add", "Add subject", "", "", true});
  dialog.addControl({"button", "clear", "Clear", "", "", true});
  dialog.addControl({"text", "view", "Subjects", "1. a.vtc\n2. b.vtc", "readonly", true});
  dialog.addControl({"text", "label", "Label", "", "", true});
  dialog.addControl({"choice", "approach", "Approach", "0", "Standard\nGeneralized", true});
  dialog.addControl({"number", "baseline", "Baseline", "0", "", false});
  dialog.addControl({"note", "hint", "", "Move conditions.\nSecond line.", "", true});
  dialog.addControl({"list", "list0", "Weight -1", "", "contrast", true});
  dialog.addControl({"list", "list1", "Weight 0", "Faces\nHouses", "contrast", true});
  dialog.addControl({"list", "list2", "Weight +1", "", "contrast", true});
  dialog.addControl({"list", "other", "Elsewhere", "Rest", "another", true});
  dialog.addControl({"checkbox", "zMC", "z-transform", "0", "", true});
  dialog.show("PPI plugin");
  return dialog;
}

TEST(DialogModel, RendersEveryKindOfControl) {
  DialogModel dialog = sampleDialog();
  EXPECT_EQ(dialog.render(),
            "=== PPI plugin ===\n"
            "-- Subjects --\n"
            "  [Add subject] [Clear]\n"
            "  Subjects (read-only):\n"
            "    1. a.vtc\n"
            "    2. b.vtc\n"
            "  Label:\n"
            "    (empty)\n"
            "  Approach:  (*) Standard  ( ) Generalized\n"
            "  Baseline: [0]  (disabled)\n"
            "  Move conditions.\n"
            "    Second line.\n"
            "  Weight -1:\n"
            "    (empty)\n"
            "  Weight 0:\n"
            "    - Faces\n"
            "    - Houses\n"
            "  Weight +1:\n"
            "    (empty)\n"
            "  Elsewhere:\n"
            "    - Rest\n"
            "  [ ] z-transform\n");
}

TEST(DialogModel, UserActionsShowTheirEffectAndYieldTheEvent) {
  DialogModel dialog = sampleDialog();
  ControlEvent event;
  ASSERT_TRUE(dialog.click("add", event));
  EXPECT_EQ(event.id + "=" + event.value, "add=");
  ASSERT_TRUE(dialog.setChecked("zMC", true, event));
  EXPECT_EQ(dialog.find("zMC")->value, "1");
  ASSERT_TRUE(dialog.choose("approach", "Generalized", event));
  EXPECT_EQ(event.id + "=" + event.value, "approach=1");
  ASSERT_TRUE(dialog.type("label", "seed", event));
  EXPECT_EQ(dialog.find("label")->value, "seed");
  ASSERT_TRUE(dialog.moveItem("Houses", "list2", event));
  EXPECT_EQ(event.id + "=" + event.value, "list2=Houses");
  EXPECT_EQ(dialog.find("list1")->value, "Faces");
  EXPECT_EQ(dialog.find("list2")->value, "Houses");
  dialog.setEnabled("baseline", true);
  ASSERT_TRUE(dialog.type("baseline", "2", event));
  EXPECT_EQ(event.value, "2");
}

TEST(DialogModel, RefusesActionsTheDialogDoesNotAllowAndLeavesItAsItWas) {
  using Action = bool (*)(DialogModel&, ControlEvent&);
  const std::pair<Action, const char*> cases[] = {
      {[](DialogModel& d, ControlEvent& e) { return d.click("nothing", e); },
       "no control \"nothing\""},
      {[](DialogModel& d, ControlEvent& e) { return d.click("zMC", e); },
       "\"zMC\" is a checkbox, not a button"},
      {[](DialogModel& d, ControlEvent& e) { return d.type("baseline", "1", e); },
       "\"baseline\" is disabled"},
      {[](DialogModel& d, ControlEvent& e) { return d.type("view", "x", e); },
       "\"view\" is read-only"},
      {[](DialogModel& d, ControlEvent& e) { return d.choose("approach", "standard", e); },
       "\"approach\" has no option \"standard\""},
      {[](DialogModel& d, ControlEvent& e) { return d.moveItem("Rest", "list2", e); },
       "no other list of \"list2\"'s group holds \"Rest\""},
      {[](DialogModel& d, ControlEvent& e) { return d.moveItem("Faces", "list1", e); },
       "no other list of \"list1\"'s group holds \"Faces\""},
  };
  for (const auto& [action, error] : cases) {
    DialogModel dialog = sampleDialog();
    const std::string before = dialog.render();
    ControlEvent event;
    EXPECT_FALSE(action(dialog, event)) << error;
    EXPECT_EQ(dialog.error(), error);
    EXPECT_EQ(dialog.render(), before) << error;
  }

  DialogModel unshown;
  ASSERT_TRUE(unshown.addControl({"button", "go", "Go", "", "", true}));
  ControlEvent event;
  EXPECT_FALSE(unshown.click("go", event));
  EXPECT_EQ(unshown.error(), "the dialog is not shown");
  EXPECT_FALSE(unshown.addControl({"button", "go", "Again", "", "", true}));
  EXPECT_FALSE(unshown.addControl({"slider", "s", "Slider", "", "", true}));
  EXPECT_FALSE(unshown.setValue("missing", "x"));
}

TEST(DialogModel, SplitsAndJoinsLines) {
  EXPECT_TRUE(splitLines("").empty());
  EXPECT_EQ(splitLines("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(splitLines("a\n"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(joinLines({"a", "", "b"}), "a\n\nb");
}

}  // namespace
}  // namespace standin::script
