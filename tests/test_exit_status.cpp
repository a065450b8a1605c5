// The exit statuses of trimora-cli come from one table: each outcome has its own status, and the
// help that scripts are written from lists every one of them.
#include "cli/exit_status.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>

#include "tests/cli_runner.h"
#include "tests/recording_builder.h"

namespace trimora::cli {
namespace {

TEST(ExitStatus, EveryOutcomeHasItsOwnStatusAndTheHelpListsIt) {
  std::set<int> statuses;
  for (Outcome outcome : {Outcome::kDone, Outcome::kPartlySaved, Outcome::kFailed, Outcome::kUsage}) {
    int rows = 0;
    for (const ExitRow& row : kExitTable) rows += row.outcome == outcome;
    EXPECT_EQ(rows, 1) << static_cast<int>(outcome);
    statuses.insert(ExitStatus(outcome));
  }
  EXPECT_EQ(statuses.size(), std::size(kExitTable));

  testkit::TempDir dir;
  const testkit::CliResult help = testkit::RunCli(dir.path(), {"--help"});
  for (int status : statuses)
    EXPECT_NE(help.out.find("\n  " + std::to_string(status) + " "), std::string::npos) << status << "\n" << help.out;
}

}  // namespace
}  // namespace trimora::cli
