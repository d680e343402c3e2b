#include "common/kde/kwin_script.h"

#include <gtest/gtest.h>

namespace quorvane::kde {
namespace {

TEST(ScriptSourceTest, DefinesReportToCallBackAndSaysWhenStarted) {
  EXPECT_EQ(scriptSource(":1.42", "report(\"x\", 1, 2);"),
            "function report(what, a, b) {\n"
            "  callDBus(\":1.42\", \"/org/quorvane/KWinScript\", \"org.quorvane.KWinScript\", \"Report\", "
            "String(what), Number(a || 0), Number(b || 0));\n"
            "}\n"
            "report(\"x\", 1, 2);\n"
            "report(\"started\");\n");
}

TEST(ScriptSourceTest, RefusesWhatIsNoUniqueBusName) {
  for (const char* name : {"", ":", "1.42", "org.kde.KWin", ":1.42\");evil(\"", ":1 42", ":1.4\\2"}) {
    EXPECT_EQ(scriptSource(name, "x"), "") << name;
  }
}

}  // namespace
}  // namespace quorvane::kde
