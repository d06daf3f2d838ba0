#pragma once

// The depfile of --depfile FILE: one Make rule that names the result file as
// its target and every file the command read as its prerequisites. Make,
// Ninja and CMake's add_custom_command(DEPFILE) read it to know when the
// command must run again. Names are bytes as the system takes them.

#include <string>
#include <string_view>
#include <vector>

namespace zentraq::cli {

// `name` as Make and Ninja read a word of a rule: a space, tab, '#' or ':'
// with a backslash before it (and the backslashes before that doubled), '$'
// as "$$". Returns an empty string for a name that holds a line break or
// ends in a backslash, which the two do not read alike.
std::string makeWord(std::string_view name);

// "TARGET: \\\n  PREREQUISITE \\\n  ...\n": the target as given, each
// prerequisite as an absolute name (a relative one joined to the current
// folder), once, in the order given. Throws CliError (Failure) naming a name
// that no rule can hold.
std::string makeRule(const std::string& target, const std::vector<std::string>& prerequisites);

} // namespace zentraq::cli
