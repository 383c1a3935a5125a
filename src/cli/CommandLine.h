#pragma once
// The tool's command line: options before "--", operands anywhere, each
// option's value by its name; and the names it carries, taken as the
// system's bytes.
#include <QString>
#include <map>
#include <set>
#include <string>
#include <vector>

// Names come from the command line as the system's bytes and go back to it,
// and into messages, as exactly those bytes (see app/FileNames.h).
QString Q(const std::string& s);
QString Q(const char* s);

// The options of a command and what their absence of a value is called.
struct TOptionSpec {
  const char* Name;
  const char* Alias;       // nullptr: none
  const char* NeedsValue;  // nullptr: a switch; else the message when no value follows
};

struct TCommandLine {
  std::map<std::string, std::string> Values;  // by option name
  std::set<std::string> Switches;
  std::vector<std::string> Operands;
  bool Help = false;
  QString Error;  // a usage error
};

// Options before "--" (which ends them, as in every Linux tool), operands
// anywhere; an option that takes a value may not be given twice, since
// only one of the two values could be obeyed.
TCommandLine ParseCommandLine(const std::vector<std::string>& args, const std::vector<TOptionSpec>& specs);
