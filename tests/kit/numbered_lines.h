// Numbered test lines, "<word> line 000042 of the test": written to a line at a steady rate and
// counted where they arrive, so that a test of a stream that breaks can say which lines came, in
// what order, and how many came twice. The word keeps one test's lines apart from anything else
// a collector records; every line of a word has the same length.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "kit/files.h"

namespace brennicot::testkit {

class Forwarder;
class PtyPair;

std::string NumberedLine(const std::string& word, int number);
// Lines `from` to `to`, each ended by CR LF as a device ends them.
std::string NumberedLines(const std::string& word, int from, int to);

// The numbers of the numbered lines among `texts` (the first one in each), in their order; other
// texts are passed over.
std::vector<int> NumbersIn(const std::string& word, const std::vector<std::string>& texts);

// Writes lines numbered on from `next`, `per_tenth` of them every 100 ms, for `span`; `next` is
// then the first number not written.
void StreamFor(PtyPair& pty, const std::string& word, int& next, int per_tenth, Millis span);

// Waits until every line 1 to `last` has arrived at least once (`arrived` gives their numbers in
// the order they came), then checks that their first arrivals are in order; says how many came
// twice, which a resend after a break may cause and which no test can rule out.
void ExpectEveryLineInOrder(const std::function<std::vector<int>()>& arrived, int last,
                            const Forwarder& forwarder);

}  // namespace brennicot::testkit
