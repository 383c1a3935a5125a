#include "cli/CommandLine.h"

#include <QByteArray>

#include "app/FileNames.h"

QString Q(const std::string& s) { return DecodeFileName(QByteArray(s.data(), qsizetype(s.size()))); }
QString Q(const char* s) { return QString::fromUtf8(s); }

// Options before "--" (which ends them, as in every Linux tool), operands
// anywhere; an option that takes a value may not be given twice, since
// only one of the two values could be obeyed.
TCommandLine ParseCommandLine(const std::vector<std::string>& args, const std::vector<TOptionSpec>& specs) {
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
