#pragma once
// The print tests need the print system that scripts/start-printer.sh starts
// (a CUPS queue writing PDF files) and the poppler tools that read them. On a
// developer's machine a missing piece is named and the test skipped; in CI
// (CI=true) the install step was to provide them, so the test fails instead
// and a broken install step is seen.
#include <gtest/gtest.h>

#include <QString>

inline bool RunningInCi() { return qEnvironmentVariable("CI") == QLatin1String("true"); }

// Ends the test (or its SetUp) for a missing piece of the print system.
#define PRINT_SYSTEM_MISSING(message) \
  do {                                \
    if (RunningInCi()) {              \
      GTEST_FAIL() << message;        \
    } else {                          \
      GTEST_SKIP() << message;        \
    }                                 \
  } while (false)
