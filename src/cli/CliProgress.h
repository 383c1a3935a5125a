#pragma once
// A one-line progress bar on standard error, shown only on a terminal.
#include <string>

class TCliProgress {
 public:
  TCliProgress();
  ~TCliProgress();
  bool Enabled() const { return m_enabled; }
  // Redraws the line as "label [#####     ] value suffix".
  void Show(const std::string& label, int percent, const std::string& suffix);
  void Count(const std::string& label, int count);
  // Ends the line so that later messages start on their own line.
  void Finish();

 private:
  bool m_enabled;
  bool m_open = false;
};
