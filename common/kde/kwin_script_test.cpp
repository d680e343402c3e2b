#include "common/kde/kwin_script.h"

#include <gtest/gtest.h>

namespace quorvane::kde {
namespace {

TEST(ScriptSourceTest, DefinesReportToCallBackAndSaysWhenStarted) {
  EXPECT_EQ(scriptSource(":1.42", 7, "report(\"x\", 1, 2);"),
            "var REPLY_TO = \":1.42\", REPLY_PATH = \"/org/quorvane/KWinScript/s7\", "
            "REPLY_INTERFACE = \"org.quorvane.KWinScript\";\n"
            "function report(what, a, b) {\n"
            "  callDBus(REPLY_TO, REPLY_PATH, REPLY_INTERFACE, \"Report\",\n"
            "           String(what), Number(a || 0), Number(b || 0));\n"
            "}\n"
            "report(\"x\", 1, 2);\n"
            "report(\"started\");\n");
}

TEST(ScriptSourceTest, RefusesWhatIsNoUniqueBusName) {
  for (const char* name : {"", ":", "1.42", "org.kde.KWin", ":1.42\");evil(\"", ":1 42", ":1.4\\2"}) {
    EXPECT_EQ(scriptSource(name, 1, "x"), "") << name;
  }
}

}  // namespace
}  // namespace quorvane::kde
