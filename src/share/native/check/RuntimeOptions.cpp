#include "RuntimeOptions.h"

#include <algorithm>
#include <iterator>

#include "tstrings.h"

namespace {

using RuntimeOptions::Form;
using RuntimeOptions::Value;

// The longer of two names that share a start comes first: it is the more particular.
const RuntimeOptions::Option kOptions[] = {
    {"-cp", Form::Next, Value::ClassPath, true},
    {"-classpath", Form::Next, Value::ClassPath, true},
    {"--class-path", Form::Next | Form::Equals, Value::ClassPath, true},
    {"-p", Form::Next, Value::ModulePath, true},
    {"--module-path", Form::Next | Form::Equals, Value::ModulePath, true},
    {"--upgrade-module-path", Form::Next | Form::Equals, Value::Other, true},
    {"--add-modules", Form::Next | Form::Equals, Value::Other, false},
    {"--limit-modules", Form::Next | Form::Equals, Value::Other, false},
    {"--add-exports", Form::Next | Form::Equals, Value::Other, false},
    {"--add-opens", Form::Next | Form::Equals, Value::Other, false},
    {"--add-reads", Form::Next | Form::Equals, Value::Other, false},
    {"--patch-module", Form::Next | Form::Equals, Value::Other, false},
    {"--enable-native-access", Form::Next | Form::Equals, Value::Other, false},
    {"--source", Form::Next | Form::Equals, Value::Other, true},
    {"--describe-module", Form::Next | Form::Equals, Value::Other, true},
    {"-d", Form::Next, Value::Other, true},
    {"-jar", Form::Next, Value::Started, true},
    {"-m", Form::Next, Value::Started, true},
    {"--module", Form::Next | Form::Equals, Value::Started, true},
    {"-javaagent:", Form::Prefix, Value::Agent, false},
    {"-agentlib:", Form::Prefix, Value::Agent, false},
    {"-agentpath:", Form::Prefix, Value::Agent, false},
    {"-splash:", Form::Prefix, Value::Splash, true},
    {"-Djava.library.path=", Form::Prefix, Value::LibraryPath, true},
    {"-Djava.home=", Form::Prefix, Value::RuntimeHome, true},
    {"-D", Form::Prefix, Value::Property, true},
    {"-XX:SharedArchiveFile=", Form::Prefix, Value::Archive, true},
    {"-XX:HeapDumpPath=", Form::Prefix, Value::Written, true},
    {"-XX:ErrorFile=", Form::Prefix, Value::Written, true},
    {"-XX:", Form::Prefix, Value::Flag, true},
    {"-Xlog:", Form::Prefix, Value::Log, false},
    {"-Xmx", Form::Prefix, Value::Size, true},
    {"-Xms", Form::Prefix, Value::Size, true},
    {"-Xmn", Form::Prefix, Value::Size, true},
    {"-Xss", Form::Prefix, Value::Size, true},
};

} // namespace

RuntimeOptions::Match RuntimeOptions::read(const std::string& arg) {
    for (const Option& o : kOptions) {
        const std::string name = o.name;
        const bool next = (o.forms & Form::Next) && arg == name;
        const bool equals = (o.forms & Form::Equals) && tstrings::startsWith(arg, name + "=");
        if (next || equals || ((o.forms & Form::Prefix) && tstrings::startsWith(arg, name))) {
            return Match{&o, next, next ? "" : arg.substr(name.size() + (equals ? 1 : 0))};
        }
    }
    return Match();
}

std::string RuntimeOptions::setting(const std::string& arg) {
    const Match m = read(arg);
    if (!m.option || !m.option->once || m.next || !(m.option->forms & Form::Prefix)) {
        return "";
    }
    if (tstrings::startsWith(arg, "-D")) {
        return arg.substr(0, arg.find('='));
    }
    if (tstrings::startsWith(arg, "-XX:")) {
        const size_t from = arg.size() > 4 && (arg[4] == '+' || arg[4] == '-') ? 5 : 4;
        return "-XX:" + arg.substr(from, arg.find('=') - from);
    }
    return m.option->value == Value::Size ? m.option->name : "";
}
