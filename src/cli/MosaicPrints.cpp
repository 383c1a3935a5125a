#include "cli/MosaicPrints.h"

#include <QStringList>
#include <algorithm>

#include "cli/ToolReports.h"

namespace {

// After a matched mosaic: the rules on reuse that could not be met and by
// how much, then one line on how the photos were used.
void PrintUses(const TMatchUses& uses) {
  const auto plural = [](int n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
  };
  if (uses.OverCap > 0)
    PrintError(QStringLiteral("tesselune-cli: --max-uses %1: %2 cannot fill %3; %4 a photo more than %5")
                   .arg(uses.MaxUses)
                   .arg(plural(uses.Photos, "photo", "photos"), plural(uses.Cells, "cell", "cells"),
                        plural(uses.OverCap, "cell uses", "cells use"), plural(uses.MaxUses, "time", "times")));
  if (uses.Unused > 0)
    PrintError(QStringLiteral("tesselune-cli: --use-all: %1 cannot show %2; %3 not used")
                   .arg(plural(uses.Cells, "cell", "cells"), plural(uses.Photos, "photo", "photos"),
                        plural(uses.Unused, "photo is", "photos are")));
  if (uses.TooClose > 0) {
    QStringList rules;
    if (uses.MaxUses > 0) rules << QStringLiteral("--max-uses %1").arg(uses.MaxUses);
    if (uses.UseAll) rules << QStringLiteral("--use-all");
    PrintError(QStringLiteral("tesselune-cli: --repeat-distance %1 with %2: %3 a photo again within %4")
                   .arg(uses.RepeatDistance)
                   .arg(rules.join(QStringLiteral(" and ")), plural(uses.TooClose, "cell shows", "cells show"),
                        plural(uses.RepeatDistance, "cell", "cells")));
  }
  PrintError(QStringLiteral("tesselune-cli: %1 of %2 used, none more than %3")
                 .arg(uses.PhotosUsed)
                 .arg(plural(uses.Photos, "photo", "photos"), plural(uses.MostUses, "time", "times")));
}

}  // namespace

void PrintNotes(const TMosaicNotes& notes) {
  if (!notes.SubFolderQuestion.isEmpty()) PrintError(notes.SubFolderQuestion);
  if (!notes.NoThumbnail.isEmpty()) PrintError(notes.NoThumbnail);
}

void PrintLoadAndUses(const TMosaicResult& result) {
  // The default load stops at the first file it cannot read.
  if (!result.Library && !result.Load.StoppedAt.isEmpty()) {
    QString text = ThumbnailLoadStoppedText(result.Load);
    text[0] = text[0].toLower();  // after the tool's name, as its other lines
    PrintError(QStringLiteral("tesselune-cli: ") + text);
  }
  if (result.Library && result.LibraryLoad.Skipped > 0) {
    const TPhotoLibraryLoad& library = result.LibraryLoad;
    QString names;
    const qsizetype named = std::min<qsizetype>(NamedSkippedFiles, library.SkippedFiles.size());
    for (qsizetype i = 0; i < named; ++i)
      names += QStringLiteral("\n  \"%1\" (%2)").arg(library.SkippedFiles[i], library.SkippedReasons[i]);
    if (library.Skipped > named) names += QStringLiteral("\n  and %1 more").arg(library.Skipped - named);
    PrintError(QStringLiteral("tesselune-cli: skipped %1 of %2 photo files that could not be read:%3")
                   .arg(library.Skipped)
                   .arg(library.Found)
                   .arg(names));
  }
  if (result.Matched()) PrintUses(result.Placement.Uses);
}

void PrintReportSummary(const TMosaicQuality& q) {
  PrintError(QStringLiteral("tesselune-cli: colour difference (CIEDE2000) from afar %1 (95 % of cells under %2), "
                            "up close %3 (95 % of quarter cells under %4); mean tint %5 %")
                 .arg(q.Far.Mean, 0, 'f', 1)
                 .arg(q.Far.P95, 0, 'f', 1)
                 .arg(q.Near.Mean, 0, 'f', 1)
                 .arg(q.Near.P95, 0, 'f', 1)
                 .arg(q.MeanTint, 0, 'f', 0));
}

void PrintFailure(const TOutputFailure& failure) {
  if (failure.Failed() && !failure.Reported) PrintSaveError(failure.File, failure.Reason);
}
