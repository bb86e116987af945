#ifndef EXPERIMENTS_H
#define EXPERIMENTS_H

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "LaunchRecord.h"

// Which configuration lines make the runtime say what it said in a trial start, found by
// further trial starts with lines left out (with the values of their options): one line at a
// time for a short configuration, by halves for a long one.
namespace Experiments {

// At most this many further trial starts, and this many seconds for all of them.
constexpr unsigned kMaxStarts = 32;
constexpr unsigned kMaxSeconds = 60;
// Configurations of up to this many lines that give arguments are tried one line at a time.
constexpr size_t kOneByOne = 10;

// The runtime's words in a line of its output: a log line of the level warning or error without
// the decorations that change from start to start ("[warning][gc,ergo] MaxNewSize ..."), any
// other line as it is; "" for a log line of a lower level or another line in brackets.
std::string wordsOf(const std::string& line);

// A trial start of launch (the arguments of some lines left out), within seconds.
typedef std::function<LaunchRecord::Trial(const LaunchRecord::Launch& launch, unsigned seconds)>
    Start;

// For each of the runtime's words in trial (of launch), the configuration lines without which
// it no longer says them, in order; an empty list where the starts could not single them out.
// lineOf gives a value's line.
std::map<std::string, std::vector<size_t>>
causes(const LaunchRecord::Launch& launch, const LaunchRecord::Trial& trial,
       const std::function<size_t(const ValueRef&)>& lineOf, const Start& start);

// The launch with only the arguments that keep takes, by index and origin.
LaunchRecord::Launch
filtered(const LaunchRecord::Launch& launch,
         const std::function<bool(size_t, const std::optional<ValueRef>&)>& keep);

// The launch without the arguments of the given lines (and their options' values).
LaunchRecord::Launch without(const LaunchRecord::Launch& launch, const std::vector<size_t>& lines,
                             const std::function<size_t(const ValueRef&)>& lineOf);

// The launch with options added after the program's name, or when last after its last
// java-options argument, where they count over the configured ones.
LaunchRecord::Launch with(const LaunchRecord::Launch& launch,
                          const std::vector<std::string>& options, bool last);

} // namespace Experiments

#endif // EXPERIMENTS_H
