// File names as words of the simulators' script languages. Network, trace and script names come
// from files that travel between people; written into a Tcl script unquoted, a name holding
// "[exec ...]" or ";" would run as a command when the script runs, and in a qns script a line break
// would start a record of its own. These helpers write such names so that they stay inert, and
// refuse the few that cannot be made so.
#pragma once

#include <stdexcept>
#include <string>

namespace varlo {

// A name that cannot be written safely into a script. what() names it and the reason.
class CScriptNameException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file name as one Tcl word that no substitution touches. Names made of letters, digits and
// "_.-+,:/@%=~" are written as they are (so ordinary scripts keep their text); any other name is
// braced. A name holding a brace, a backslash or a control character cannot be braced safely and
// is refused. A leading '|' (which Tcl's open takes for a command pipeline) gets "./" in front.
std::string TclFileWord(const std::string& name);

// Checks a file name for a qns record, whose fields are separated by blanks and whose records end
// at line breaks: a control character (line break, tab, NUL ...) is refused. Returns the name.
const std::string& CheckQNSFileField(const std::string& name);

}  // namespace varlo
