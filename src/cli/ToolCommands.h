#pragma once
// The tool's commands, each given its arguments after the command's name;
// each returns the exit status.
#include <string>
#include <vector>

int RunMosaic(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);
int RunInfo(const std::vector<std::string>& args);
