// What a section read yields for a given INI file: the same vectors check every profile section
// reader (our POSIX reader against real files; a Win32 build can run GetPrivateProfileSectionA on
// them). Each expected text is the whole result: entries each followed by NUL, the final NUL not
// included, cut to buffer_size - 2 when the block does not fit.
#pragma once

#include <cstdint>
#include <string_view>

namespace brennicot::testing {

using namespace std::string_view_literals;

struct ProfileSectionVector {
  std::string_view name;
  std::string_view ini;  // the file's bytes
  std::string_view section;
  std::int32_t buffer_size;
  std::string_view expected;
};

inline constexpr ProfileSectionVector kProfileSectionVectors[] = {
    {"default file, CR LF",
     "[Vemo_Brennicot]\r\ncommport=1\r\ncommini=9600,N,8,1\r\nflowcontrol=1\r\nudpport=514\r\n"
     "udptarget=localhost\r\nmsgformat=1\r\ncrsend=1\r\nservicename=Vemo Brennicot\r\n"
     "facility=23\r\nlevel=6\r\nbuffermax=4096\r\nsendcommmess=1\r\ncheckseq=0\r\n"
     "OriginalAddress=\r\nVemoBrennicotID=Brennicot\r\nEnableStatusTimer=1\r\n"
     "StatusTimerPeriod=30\r\n"sv,
     "Vemo_Brennicot", 4096,
     "commport=1\0commini=9600,N,8,1\0flowcontrol=1\0udpport=514\0udptarget=localhost\0"
     "msgformat=1\0crsend=1\0servicename=Vemo Brennicot\0facility=23\0level=6\0buffermax=4096\0"
     "sendcommmess=1\0checkseq=0\0OriginalAddress=\0VemoBrennicotID=Brennicot\0"
     "EnableStatusTimer=1\0StatusTimerPeriod=30\0"sv},
    {"LF line ends", "[Vemo_Brennicot]\nudpport=515\nlevel=3\n"sv, "Vemo_Brennicot", 4096,
     "udpport=515\0level=3\0"sv},
    {"last line without a line end", "[Vemo_Brennicot]\r\nudpport=515\r\nlevel=3"sv,
     "Vemo_Brennicot", 4096, "udpport=515\0level=3\0"sv},
    {"section name in another letter case", "[VEMO_brennicot]\r\nlevel=3\r\n"sv, "Vemo_Brennicot",
     4096, "level=3\0"sv},
    {"other sections ignored",
     "[Ports]\r\nCOM1=/dev/ttyUSB0\r\n[Vemo_Brennicot]\r\nlevel=3\r\n[Other]\r\nlevel=4\r\n"sv,
     "Vemo_Brennicot", 4096, "level=3\0"sv},
    {"only the first section of the name",
     "[Vemo_Brennicot]\r\nlevel=3\r\n[x]\r\n[vemo_brennicot]\r\nlevel=4\r\nfacility=1\r\n"sv,
     "Vemo_Brennicot", 4096, "level=3\0"sv},
    {"entries before any header belong to no section",
     "level=2\r\n[Vemo_Brennicot]\r\nlevel=3\r\n"sv, "Vemo_Brennicot", 4096, "level=3\0"sv},
    {"header and lines with blanks and tabs around",
     "  [Vemo_Brennicot] \t\r\n  udptarget = collector  \r\n\tlevel\t=\t3\t\r\n"sv,
     "Vemo_Brennicot", 4096, "udptarget=collector\0level=3\0"sv},
    {"only the first '=' loses its blanks", "[Vemo_Brennicot]\r\nservicename = North = Gate \r\n"sv,
     "Vemo_Brennicot", 4096, "servicename=North = Gate\0"sv},
    {"blanks inside a value stay", "[Vemo_Brennicot]\r\nservicename=Vemo  Brennicot\r\n"sv,
     "Vemo_Brennicot", 4096, "servicename=Vemo  Brennicot\0"sv},
    {"blank and all-blank lines dropped",
     "\r\n[Vemo_Brennicot]\r\n\r\n   \r\n\t\r\nlevel=3\r\n\r\n\r\nfacility=4\r\n\r\n"sv,
     "Vemo_Brennicot", 4096, "level=3\0facility=4\0"sv},
    {"';' comment lines dropped, '#' lines and inline ';' kept",
     "[Vemo_Brennicot]\r\n; a comment\r\n   ;indented=1\r\n#hash=1\r\nlevel=3 ; three\r\n"sv,
     "Vemo_Brennicot", 4096, "#hash=1\0level=3 ; three\0"sv},
    {"odd lines come back as written, in file order",
     "[Vemo_Brennicot]\r\ncommport\r\nudptarget=\r\na=b=c\r\n=value\r\n\"q\"=\"v\"\r\n"
     "level=1\r\nlevel=2\r\n"sv,
     "Vemo_Brennicot", 4096,
     "commport\0udptarget=\0a=b=c\0=value\0\"q\"=\"v\"\0level=1\0level=2\0"sv},
    {"UTF-8 byte-order mark skipped", "\xEF\xBB\xBF[Vemo_Brennicot]\r\nlevel=3\r\n"sv,
     "Vemo_Brennicot", 4096, "level=3\0"sv},
    {"8-bit bytes pass unchanged", "[Vemo_Brennicot]\r\nVemoBrennicotID=Pf\xF6rtner\r\n"sv,
     "Vemo_Brennicot", 4096, "VemoBrennicotID=Pf\xF6rtner\0"sv},
    {"missing section", "[Other]\r\nlevel=3\r\n"sv, "Vemo_Brennicot", 4096, ""sv},
    {"empty section", "[Vemo_Brennicot]\r\n[Other]\r\nlevel=3\r\n"sv, "Vemo_Brennicot", 4096, ""sv},
    {"empty file", ""sv, "Vemo_Brennicot", 4096, ""sv},
    {"too small: the last entry cut short, count size - 2",
     "[Vemo_Brennicot]\r\naaaa=1111\r\nbbbb=2222\r\n"sv, "Vemo_Brennicot", 16, "aaaa=1111\0bbbb"sv},
    {"too small: entries behind the cut not seen",
     "[Vemo_Brennicot]\r\naaaa=1111\r\nbbbb=2222\r\ncccc=3333\r\n"sv, "Vemo_Brennicot", 12,
     "aaaa=1111\0"sv},
    {"fits with one character to spare", "[Vemo_Brennicot]\r\nab=1\r\n"sv, "Vemo_Brennicot", 7,
     "ab=1\0"sv},
    // Block and final NUL fill the buffer exactly: no room for the second NUL, so it is cut.
    {"block exactly the buffer size", "[Vemo_Brennicot]\r\nab=1\r\n"sv, "Vemo_Brennicot", 6,
     "ab=1"sv},
};

}  // namespace brennicot::testing
