#include <cstdio>
#include <memory>
#include <string>

#include "platform/event_loop.h"
#include "platform/user_interface.h"

namespace brennicot::posix {
namespace {

// stdio rather than iostreams: the service never needs the heavier library at run time.
void WriteLine(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

void WriteText(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

// Interactive mode is the foreground process; SIGINT, SIGTERM or SIGHUP close the "window".
class PosixUserInterface : public UserInterface {
 public:
  explicit PosixUserInterface(EventLoop& loop) : loop_(loop) {}
  void ShowWindow() override;
  void MessageBox(const std::string& text, const std::string& title,
                  const std::string& reason) override;
  void Echo(const std::string& entry) override;
  void PrintOut(const std::string& text) override;
  void PrintError(const std::string& text) override;

 private:
  EventLoop& loop_;
};

}  // namespace

void PosixUserInterface::ShowWindow() {
  loop_.SetStopHandler([this] { loop_.Quit(0); });
}

void PosixUserInterface::MessageBox(const std::string& text, const std::string& title,
                                    const std::string& reason) {
  WriteLine(stdout, title + ": " + text);
  if (!reason.empty()) WriteLine(stderr, reason);
}

void PosixUserInterface::Echo(const std::string& entry) {
  WriteLine(stderr, entry);
}

void PosixUserInterface::PrintOut(const std::string& text) {
  WriteText(stdout, text);
}

void PosixUserInterface::PrintError(const std::string& text) {
  WriteText(stderr, text);
}

std::unique_ptr<UserInterface> NewSystemUserInterface(EventLoop& loop) {
  return std::make_unique<PosixUserInterface>(loop);
}

}  // namespace brennicot::posix
