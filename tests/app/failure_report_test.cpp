// The text of the process's failure report.
#include "app/failure_report.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/app/fake_windows.h"

namespace stowaway {
namespace {

// Leading zeros widen the address to a pointer's two digits per byte.
std::string Address(const std::string& low_digits) {
  return std::string(2 * sizeof(void*) - low_digits.size(), '0') + low_digits;
}

const void* At(uintptr_t address) { return reinterpret_cast<const void*>(address); }

TEST(FailureReportText, EndsTheMessageWithOneFullStop) {
  EXPECT_EQ(FailureReportText("EFCreateError", "setup.exe", At(0x0040A1B2),
                              "Cannot create file C:\\WIN\\SYSTEM\\front.exe"),
            "Exception EFCreateError in module setup.exe at " + Address("40A1B2") +
                ".\nCannot create file C:\\WIN\\SYSTEM\\front.exe.");
  EXPECT_EQ(FailureReportText("ELzrw1Exception", "unpacker.exe", At(0xABCDEF),
                              "Lzrw1 decompression : input stream contains no valid header !."),
            "Exception ELzrw1Exception in module unpacker.exe at " + Address("ABCDEF") +
                ".\nLzrw1 decompression : input stream contains no valid header !.");
  EXPECT_EQ(FailureReportText("Exception", "a.exe", nullptr, ""),
            "Exception Exception in module a.exe at " + Address("0") + ".\n.");
}

TEST(ReportUncaughtException, ShowsOtherExceptionsUnderTheBaseName) {
  testing::FakeWindows windows;
  windows.module_path = "setup.exe";
  EXPECT_EQ(
      ReportUncaughtException(windows, std::make_exception_ptr(std::runtime_error("odd")), true),
      1);
  ASSERT_EQ(windows.boxes.size(), 1u);
  EXPECT_EQ(windows.boxes[0].text,
            "Exception Exception in module setup.exe at " + Address("0") + ".\nodd.");
}

}  // namespace
}  // namespace stowaway
