#include "platform/system_error_win.h"

#include <gtest/gtest.h>

#include "kit/error_of.h"
#include "kit/files.h"
#include "platform/windows_api_win.h"

namespace brennicot::win32 {
namespace {

using testkit::Contains;

TEST(SystemErrorTest, CarriesTheCodeTheSystemTextWithoutItsLineEndAndTheObject) {
  for (const DWORD code : {DWORD{ERROR_FILE_NOT_FOUND}, DWORD{ERROR_ACCESS_DENIED},
                           DWORD{ERROR_SERVICE_DOES_NOT_EXIST}, DWORD{WSAECONNREFUSED}}) {
    SCOPED_TRACE(code);
    const Error e = SystemError(code, "\\\\.\\COM3");
    EXPECT_EQ(e.number(), static_cast<std::int32_t>(code));
    const std::string text = SystemMessage(code);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), '\r');
    EXPECT_EQ(e.description(), text + " (\\\\.\\COM3)");
  }
}

TEST(SystemErrorTest, ACodeWithoutSystemTextIsNamedByItsNumber) {
  EXPECT_EQ(SystemMessage(0x20001234u), "Windows error 536875572");
}

TEST(SystemErrorTest, TakesTheLastErrorOfTheThreadAndOfWinsock) {
  SetLastError(ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(LastSystemError("x").number(), ERROR_PATH_NOT_FOUND);
  WSASetLastError(WSAEMSGSIZE);
  const Error e = LastSocketError("UDP to collector:514");
  EXPECT_EQ(e.number(), WSAEMSGSIZE);
  EXPECT_TRUE(Contains(e.description(), "(UDP to collector:514)")) << e.description();
}

}  // namespace
}  // namespace brennicot::win32
