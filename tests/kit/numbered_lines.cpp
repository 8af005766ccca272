#include "kit/numbered_lines.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <set>
#include <thread>

#include "kit/forwarder.h"
#include "kit/pty_pair.h"

namespace brennicot::testkit {
namespace {

constexpr int kDigits = 6;

std::string Marker(const std::string& word) {
  return word + " line ";
}

}  // namespace

std::string NumberedLine(const std::string& word, int number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%0*d", kDigits, number);
  return Marker(word) + digits + " of the test";
}

std::string NumberedLines(const std::string& word, int from, int to) {
  std::string bytes;
  for (int i = from; i <= to; ++i) bytes += NumberedLine(word, i) + "\r\n";
  return bytes;
}

std::vector<int> NumbersIn(const std::string& word, const std::vector<std::string>& texts) {
  const std::string marker = Marker(word);
  std::vector<int> numbers;
  for (const std::string& text : texts) {
    const auto at = text.find(marker);
    if (at != std::string::npos)
      numbers.push_back(std::stoi(text.substr(at + marker.size(), kDigits)));
  }
  return numbers;
}

void StreamFor(PtyPair& pty, const std::string& word, int& next, int per_tenth, Millis span) {
  const auto end = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < end) {
    pty.Write(NumberedLines(word, next, next + per_tenth - 1));
    next += per_tenth;
    std::this_thread::sleep_for(100ms);
  }
}

void ExpectEveryLineInOrder(const std::function<std::vector<int>()>& arrived, int last,
                            const Forwarder& forwarder) {
  const auto distinct = [&] {
    const std::vector<int> n = arrived();
    return std::set<int>(n.begin(), n.end()).size();
  };
  ASSERT_TRUE(WaitUntil([&] { return distinct() == static_cast<std::size_t>(last); }, 60s))
      << distinct() << " of " << last << " arrived\n"
      << forwarder.Log();
  std::set<int> seen;
  int expected = 1;
  const std::vector<int> numbers = arrived();
  for (const int n : numbers) {
    if (seen.insert(n).second) {
      ASSERT_EQ(n, expected++) << "out of order";
    }
  }
  std::cout << "[ INFO ] " << last << " lines, " << numbers.size() - seen.size()
            << " arrived twice\n";
}

}  // namespace brennicot::testkit
