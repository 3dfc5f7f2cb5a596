// `kvp serve` on the command line, on both targets: its help page and one-line refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "tests/test_files.h"
#include "tools/kvp/commands.h"

namespace kvp {
namespace {

TEST(ServeCommand, HelpAndRefusals) {
  std::ostringstream out, err;
  EXPECT_EQ(cli::RunKvp({"help", "serve"}, out, err), 0) << err.str();
  // The Linux page lists the options; the Windows one says where to find them.
  const std::string page = out.str();
  const bool options =
      page.find("--port") != std::string::npos && page.find("--open") != std::string::npos;
  EXPECT_TRUE(options || page.find("not available in the Windows build") != std::string::npos)
      << page;

  // A folder that is not there: status 2 and one line, whichever build refuses it.
  test::TempDir dir;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{(dir.Path() / "missing").string()},
        std::vector<std::string>{dir.Path().string(), "--port", "70000"}}) {
    std::ostringstream o, e;
    EXPECT_EQ(cli::RunServe(args, o, e), 2) << args.back();
    const std::string text = e.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_EQ(text.rfind("kvp serve: ", 0), 0u) << text;
  }
}

}  // namespace
}  // namespace kvp
