#include "Experiments.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <optional>
#include <set>

#include "RuntimeOptions.h"

namespace {

typedef std::function<size_t(const ValueRef&)> LineOf;

// The java-options lines, as units left out together (an option with its value in the next
// line), each known by its last line. Only they are left out: without what it is to start, the
// runtime would fail before it could say the same again.
std::map<size_t, std::vector<size_t>> unitsOf(const LaunchRecord::Launch& launch,
                                              const LineOf& lineOf) {
    std::map<size_t, std::vector<size_t>> units;
    size_t option = 0; // the line of the java-options argument before, when it is an option
    for (size_t i = 1; i < launch.origins.size(); ++i) {
        if (!launch.origins[i] || !(launch.origins[i]->section == SectionName::JavaOptions)) {
            option = 0;
            continue;
        }
        const size_t line = lineOf(*launch.origins[i]);
        if (option && option != line) {
            units[line].swap(units[option]);
            units.erase(option);
        }
        units[line].push_back(line);
        option = option ? 0 : RuntimeOptions::takesNext(launch.args[i]) ? line : 0;
    }
    return units;
}

// Stands for "it failed with words of its own" among what a start said.
const char* const kMasked = "\n";

class Search {
public:
    Search(const LaunchRecord::Launch& launch, const std::set<std::string>& original,
           const LineOf& lineOf, const Experiments::Start& start)
        : launch(launch), original(original), lineOf(lineOf), start(start),
          units(unitsOf(launch, lineOf)), deadline(std::chrono::steady_clock::now() +
                                                   std::chrono::seconds(Experiments::kMaxSeconds)) {
        for (const auto& u : units) {
            ids.push_back(u.first);
        }
    }

    // The units without which the runtime no longer says text; empty when that is not certain.
    std::vector<size_t> causesOf(const std::string& text) {
        found.clear();
        sure = true;
        if (ids.size() <= Experiments::kOneByOne) {
            for (const size_t id : ids) {
                find(text, {id});
            }
        } else {
            find(text, ids);
        }
        // Words missing from every start but the first are words of all these lines together
        // only when the same start says them again; else they change from start to start.
        if (sure && found.size() == ids.size() && ids.size() > 1) {
            const std::optional<std::set<std::string>> again = saidWithout({});
            sure = again && again->count(text);
        }
        if (!sure) {
            found.clear();
        }
        return found;
    }

private:
    // Adds the units of group that the text needs, halving the group while it does.
    void find(const std::string& text, const std::vector<size_t>& group) {
        if (!sure) {
            return;
        }
        const std::optional<std::set<std::string>> said = saidWithout(group);
        if (!said) {
            sure = false;
            return;
        }
        // A start that fails with other words may fail before it could say text: fewer lines
        // left out may tell.
        if (said->count(text) || (said->count(kMasked) && group.size() == 1)) {
            return;
        }
        if (group.size() == 1) {
            found.push_back(group[0]);
            return;
        }
        const size_t half = group.size() / 2;
        find(text, std::vector<size_t>(group.begin(), group.begin() + half));
        find(text, std::vector<size_t>(group.begin() + half, group.end()));
    }

    // What the runtime says without the units of group; none when the budget is spent or the
    // start gave no verdict.
    std::optional<std::set<std::string>> saidWithout(const std::vector<size_t>& group) {
        const auto known = tried.find(group);
        if (known != tried.end()) {
            return known->second;
        }
        const auto left = std::chrono::duration_cast<std::chrono::seconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (starts == Experiments::kMaxStarts || left < 1) {
            return std::nullopt;
        }
        ++starts;
        std::vector<size_t> lines;
        for (const size_t id : group) {
            lines.insert(lines.end(), units[id].begin(), units[id].end());
        }
        const LaunchRecord::Trial t =
            start(Experiments::without(launch, lines, lineOf), static_cast<unsigned>(left));
        if (!t.missing.empty()) {
            return std::nullopt;
        }
        std::set<std::string> said;
        std::transform(t.said.begin(), t.said.end(), std::inserter(said, said.end()),
                       Experiments::wordsOf);
        if (t.status != 0 && std::any_of(said.begin(), said.end(), [&](const std::string& s) {
                return !s.empty() && !original.count(s);
            })) {
            said.insert(kMasked);
        }
        return tried[group] = said;
    }

    const LaunchRecord::Launch& launch;
    const std::set<std::string>& original;
    const LineOf& lineOf;
    const Experiments::Start& start;
    std::map<size_t, std::vector<size_t>> units;
    std::vector<size_t> ids;
    const std::chrono::steady_clock::time_point deadline;
    unsigned starts = 0;
    std::map<std::vector<size_t>, std::set<std::string>> tried;
    std::vector<size_t> found;
    bool sure = true;
};

} // namespace

std::string Experiments::wordsOf(const std::string& line) {
    // The "[...]" groups ahead of the message: those with digits change from start to start.
    std::string kept;
    std::string level;
    size_t at = 0;
    while (at < line.size() && line[at] == '[') {
        const size_t close = line.find(']', at);
        if (close == std::string::npos) {
            break;
        }
        std::string group = line.substr(at + 1, close - at - 1);
        group.erase(group.find_last_not_of(' ') + 1);
        if (group == "warning" || group == "error") {
            level = group;
        }
        if (group.find_first_of("0123456789") == std::string::npos) {
            kept += "[" + group + "]";
        }
        at = close + 1;
    }
    if (at == 0) {
        return line;
    }
    return level.empty() ? std::string() : kept + line.substr(at);
}

LaunchRecord::Launch
Experiments::filtered(const LaunchRecord::Launch& launch,
                      const std::function<bool(size_t, const std::optional<ValueRef>&)>& keep) {
    LaunchRecord::Launch result = launch;
    result.args.clear();
    result.origins.clear();
    for (size_t i = 0; i < launch.args.size(); ++i) {
        const std::optional<ValueRef>& origin =
            i < launch.origins.size() ? launch.origins[i] : std::nullopt;
        if (keep(i, origin)) {
            result.args.push_back(launch.args[i]);
            result.origins.push_back(origin);
        }
    }
    return result;
}

LaunchRecord::Launch Experiments::without(const LaunchRecord::Launch& launch,
                                          const std::vector<size_t>& lines, const LineOf& lineOf) {
    return filtered(launch, [&](size_t, const std::optional<ValueRef>& origin) {
        return !origin || std::find(lines.begin(), lines.end(), lineOf(*origin)) == lines.end();
    });
}

LaunchRecord::Launch Experiments::with(const LaunchRecord::Launch& launch,
                                       const std::vector<std::string>& options, bool last) {
    LaunchRecord::Launch result = launch;
    size_t at = 1;
    for (size_t i = 1; last && i < launch.origins.size(); ++i) {
        if (launch.origins[i] && launch.origins[i]->section == SectionName::JavaOptions) {
            at = i + 1;
        }
    }
    at = std::min(at, result.args.size());
    result.args.insert(result.args.begin() + static_cast<ptrdiff_t>(at), options.begin(),
                       options.end());
    result.origins.insert(result.origins.begin() + static_cast<ptrdiff_t>(at), options.size(),
                          std::nullopt);
    return result;
}

std::map<std::string, std::vector<size_t>> Experiments::causes(const LaunchRecord::Launch& launch,
                                                               const LaunchRecord::Trial& trial,
                                                               const LineOf& lineOf,
                                                               const Start& start) {
    std::map<std::string, std::vector<size_t>> result;
    std::set<std::string> words;
    std::transform(trial.said.begin(), trial.said.end(), std::inserter(words, words.end()),
                   wordsOf);
    Search search(launch, words, lineOf, start);
    for (const std::string& text : words) {
        if (!text.empty()) {
            result[text] = search.causesOf(text);
        }
    }
    return result;
}
