// Reading and writing whole files, and waiting for what a program leaves in them.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace brennicot::testkit {

using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// Lines without their CR LF or LF.
std::vector<std::string> Lines(const std::string& text);

// Every path below dir, relative and sorted, with its kind: to compare trees before and after.
std::vector<std::string> TreeOf(const std::string& dir);

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Looks every few milliseconds until the condition holds; false when the timeout passed first.
bool WaitUntil(const std::function<bool()>& condition, Millis timeout);

}  // namespace brennicot::testkit
