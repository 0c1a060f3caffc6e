// The fixture of the end-to-end tests, on top of the harness: each test
// runs in a fresh scratch folder named after it, and is skipped without an
// X display.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/e2e_harness.h"
#include "tests/run_texts.h"

namespace scenreg::e2e {

using testing::Areas;
using testing::AreaSection;
using testing::FileDiagnostic;
using testing::FileDiagnosticStart;
using testing::kSampleDescription;
using testing::kSampleTitleLine;
using testing::Library;

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY"))
      GTEST_SKIP() << "not run: DISPLAY is not set, and these tests need an X display for "
                      "Wine (for example Xvfb :99 and DISPLAY=:99)";
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    name_ = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name_)
      if (c == '/' || c == '.') c = '-';
    folder_ = FreshScratchFolder(name_);
    ASSERT_FALSE(folder_.empty()) << "no scratch folder";
  }

  // A screenshot's name: the test's, then what it shows.
  std::string Shot(const std::string& what) const { return name_ + "-" + what; }

  std::string name_;
  std::string folder_;
};

// The named programs' windows are left unmanaged while the tests run.
class UnmanagedWindows : public ::testing::Environment {
 public:
  explicit UnmanagedWindows(std::vector<std::string> programs) : programs_(std::move(programs)) {}
  void SetUp() override { UnmanageWindowsUnderWine(programs_); }
  void TearDown() override { RestoreWindowManagement(); }

 private:
  std::vector<std::string> programs_;
};

}  // namespace scenreg::e2e
