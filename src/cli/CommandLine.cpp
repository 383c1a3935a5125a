#include "cli/CommandLine.h"

#include <QByteArray>
#include <cerrno>
#include <cstdlib>

#include "app/FileNames.h"

QString Q(const std::string& s) { return DecodeFileName(QByteArray(s.data(), qsizetype(s.size()))); }
QString Q(const char* s) { return QString::fromUtf8(s); }

// A whole decimal number, nothing around it; nullopt when it is not one or
// does not fit in a long long.
std::optional<long long> ParseInt(const std::string& s) {
  const size_t digits = !s.empty() && s[0] == '-' ? 1 : 0;
  if (s.size() == digits || s.find_first_not_of("0123456789", digits) != std::string::npos) return std::nullopt;
  errno = 0;
  const long long v = std::strtoll(s.c_str(), nullptr, 10);
  if (errno == ERANGE) return std::nullopt;
  return v;
}

// Options before "--" (which ends them, as in every Linux tool), operands
// anywhere; an option that takes a value may not be given twice, since
// only one of the two values could be obeyed.
TCommandLine ParseCommandLine(const std::vector<std::string>& args, std::initializer_list<TOptionSpec> specs) {
  TCommandLine line;
  bool options = true;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!options || a.size() < 2 || a[0] != '-') {
      line.Operands.push_back(a);
      continue;
    }
    if (a == "--") {
      options = false;
      continue;
    }
    if (a == "--help" || a == "-h") {
      line.Help = true;
      continue;
    }
    const TOptionSpec* spec = nullptr;
    for (const TOptionSpec& s : specs)
      if (a == s.Name || (s.Alias && a == s.Alias)) spec = &s;
    if (!spec) {
      line.Error = QStringLiteral("unknown option ") + Q(a);
      return line;
    }
    if (!spec->NeedsValue) {
      line.Switches.insert(spec->Name);
      continue;
    }
    if (i + 1 >= args.size()) {
      line.Error = Q(spec->NeedsValue);
      return line;
    }
    if (!line.Values.emplace(spec->Name, args[++i]).second) {
      line.Error = Q(spec->Name) + QStringLiteral(" given twice");
      return line;
    }
  }
  return line;
}
