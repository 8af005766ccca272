#include "config/ini_loader.h"

#include <gtest/gtest.h>

#include <string>

#include "fakes/fake_file_system.h"
#include "fakes/fake_time.h"

namespace brennicot {
namespace {

TEST(IniCreate, WritesTheEighteenDefaultLines) {
  const char* const lines[] = {
      "[Vemo_Brennicot]",
      "commport=1",
      "commini=9600,N,8,1",
      "flowcontrol=1",
      "udpport=514",
      "udptarget=localhost",
      "msgformat=1",
      "crsend=1",
      "servicename=Vemo Brennicot",
      "facility=23",
      "level=6",
      "buffermax=4096",
      "sendcommmess=1",
      "checkseq=0",
      "OriginalAddress=",
      "VemoBrennicotID=Brennicot",
      "EnableStatusTimer=1",
      "StatusTimerPeriod=30",
  };
  std::string expected;
  for (const char* line : lines) expected += std::string(line) + "\r\n";

  fakes::FakeFileSystem files;
  fakes::FakeClock clock;
  ActivityLog log(files, clock, "Vemo_Brennicot.log");
  files.files["/opt/vb/Vemo_Brennicot.ini"] = "an old file, emptied first\r\n";
  IniCreate("/opt/vb/Vemo_Brennicot.ini", files, log);
  EXPECT_EQ(files.Beside("Vemo_Brennicot.ini"), expected);
  EXPECT_TRUE(files.LogMessages().empty());
}

}  // namespace
}  // namespace brennicot
