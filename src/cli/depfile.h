#pragma once

// The depfile of --depfile FILE: one Make rule that names the result file as
// its target and every file the command read as its prerequisites. Make,
// Ninja and CMake's add_custom_command(DEPFILE) read it to know when the
// command must run again. Names are bytes as the system takes them.

#include <string>
#include <string_view>
#include <vector>

namespace zentraq::cli {

// `name` as GNU Make and Ninja 1.11 both read a word of a rule: a space, '#'
// or ':' with a backslash before it (and the backslashes before a space
// doubled), '$' as "$$". Returns an empty string, and in `why` the reason,
// for a name the two cannot both read as it is: one that is empty or holds
// a line break, a tab or another control character, one of the signs at
// which Ninja ends a name (" & ' ; < > ? ^ ` | *), a backslash before '#',
// ':' or '$' (which Make and Ninja read differently), or that ends in a
// backslash or ':'.
std::string makeWord(std::string_view name, std::string* why = nullptr);

// "TARGET: \\\n  PREREQUISITE \\\n  ...\n": the target as given, each
// prerequisite as an absolute name (a relative one joined to the current
// folder), once, in the order given. Throws CliError (Failure) naming a name
// that no rule can hold.
std::string makeRule(const std::string& target, const std::vector<std::string>& prerequisites);

} // namespace zentraq::cli
