#pragma once
// Some tests need a piece of the machine that the install step provides: the
// print system that scripts/start-printer.sh starts (a CUPS queue writing PDF
// files) and the poppler tools that read its files, Chromium, the sample
// photographs the build makes from Debian's wallpaper packages, a small file
// system the test may mount, an unprivileged user. On a developer's machine
// a missing piece is named and the test skipped; in CI (CI=true) the install
// step was to provide it, so the test fails instead and a broken install
// step is seen rather than a test that quietly passes by skipping.
#include <gtest/gtest.h>

#include <QString>

inline bool RunningInCi() { return qEnvironmentVariable("CI") == QLatin1String("true"); }

// Ends the test (or its SetUp) for a missing piece of the machine.
#define MISSING_PIECE(message) \
  do {                         \
    if (RunningInCi()) {       \
      GTEST_FAIL() << message; \
    } else {                   \
      GTEST_SKIP() << message; \
    }                          \
  } while (false)
