#pragma once
// What the tool prints after a mosaic, on standard error: the notes of the
// run, where the thumbnail load stopped, the photos skipped, how the photos
// were used and the report's summary.
#include "mosaic/MosaicResult.h"

// Unattended, the question about the sub-folders is answered no (the
// tool's --recursive says yes): it is printed as the run's end.
void PrintNotes(const TMosaicNotes& notes);
// After a mosaic that was made: the load's stop and skipped files, then,
// for a matched mosaic, how the photos were used.
void PrintLoadAndUses(const TMosaicResult& result);
// The report's figures in one line.
void PrintReportSummary(const TMosaicQuality& quality);
// An output that could not be written, unless the save dispatch said it.
void PrintFailure(const TOutputFailure& failure);
