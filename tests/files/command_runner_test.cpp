#include "core/operations/command_runner.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/connection/printer_connection.h"
#include "core/trace/trace_sinks.h"
#include "support/doubles.h"

namespace tavi {
namespace {

class CommandRunnerTest : public ::testing::Test {
 protected:
  CommandRunnerTest()
      : connection_(PortSettings{}, progress_, messages_, clock_,
                    [](std::int32_t, const ChannelContext&) -> std::unique_ptr<Channel> {
                      return nullptr;
                    }),
        runner_(connection_, "9.8",
                {.enable_commands = [this](bool on) { log_.push_back(on ? "enable" : "disable"); },
                 .focus = [this](int id) { log_.push_back("focus " + std::to_string(id)); },
                 .end = [this](int result) { log_.push_back("end " + std::to_string(result)); }}) {
    runner_.set_trace_memory(&memory_);
  }

  test::RecordingProgress progress_;
  test::RecordingMessages messages_;
  test::FakeClock clock_;
  PrinterConnection connection_;
  TraceMemory memory_;
  std::vector<std::string> log_;
  CommandRunner runner_;
};

// One operation from its press to its end, a second press and a close arriving meanwhile, then
// the next operation: everything the windows used to keep in two copies.
TEST_F(CommandRunnerTest, BusyOperationRefusesAnotherHoldsTheCloseAndRestartsTheTrace) {
  bool inner_ran = false;
  const bool ran = runner_.Run(Operation::kGetReport, [&] {
    EXPECT_TRUE(runner_.busy());
    EXPECT_EQ(log_, (std::vector<std::string>{"disable"}));
    EXPECT_FALSE(runner_.Run(Operation::kGetParameters, [&] { inner_ran = true; }));
    runner_.Close(2);
    runner_.Close(1);  // the last close asked for is the one carried out
    EXPECT_EQ(log_, (std::vector<std::string>{"disable"}));
    connection_.trace().Event("test", "inside the report");
  });
  EXPECT_TRUE(ran);
  EXPECT_FALSE(inner_ran);
  EXPECT_FALSE(runner_.busy());
  EXPECT_EQ(log_, (std::vector<std::string>{"disable", "enable", "focus 1001", "end 1"}));
  const std::string first = memory_.Text();
  EXPECT_NE(first.find("Tavi 9.8: Get Report"), std::string::npos) << first;
  EXPECT_NE(first.find("inside the report"), std::string::npos) << first;
  EXPECT_NE(first.find("the operation ended"), std::string::npos) << first;

  log_.clear();
  EXPECT_TRUE(runner_.Run(Operation::kFirmwareUpgrade, [] {}));
  // The held close was carried out once; this operation ends without one.
  EXPECT_EQ(log_, (std::vector<std::string>{"disable", "enable", "focus 1005"}));
  const std::string second = memory_.Text();
  EXPECT_EQ(second.find("inside the report"), std::string::npos) << second;
  EXPECT_NE(second.find("Tavi 9.8: Firmware Upgrade"), std::string::npos) << second;

  log_.clear();
  runner_.Close(2);
  EXPECT_EQ(log_, (std::vector<std::string>{"end 2"}));
}

TEST_F(CommandRunnerTest, AnOperationThatThrowsLeavesTheCommandsEnabledAndTheRunnerFree) {
  EXPECT_THROW((void)runner_.Run(Operation::kPutParameters,
                                 [] { throw std::runtime_error("operation failed"); }),
               std::runtime_error);
  EXPECT_FALSE(runner_.busy());
  EXPECT_EQ(log_, (std::vector<std::string>{"disable", "enable"}));
  EXPECT_TRUE(runner_.Run(Operation::kSelectPort, [] {}));
}

// The catalogue's window names are the buttons of the main window as its template draws them.
TEST(OperationCatalogue, MainWindowButtonsAndTraceWordsMatchTheTemplate) {
  const DialogTemplate* main = FindDialogTemplate(kDlgMain);
  ASSERT_NE(main, nullptr);
  for (Operation operation : kMainDialogOperations) {
    const OperationNames& names = NamesOf(operation);
    const ControlTemplate* button = main->Find(names.button);
    ASSERT_NE(button, nullptr) << names.trace;
    std::string caption;
    for (char c : button->text) {
      if (c != '&') caption.push_back(c);
    }
    EXPECT_EQ(names.trace, caption);
    Operation found{};
    ASSERT_TRUE(MainDialogOperation(names.button, found));
    EXPECT_EQ(found, operation);
  }
  Operation none{};
  EXPECT_FALSE(MainDialogOperation(kIdOk, none));
  EXPECT_FALSE(MainDialogOperation(kIdRestart, none));
}

}  // namespace
}  // namespace tavi
