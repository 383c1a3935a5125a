#include "mosaic/MosaicOptions.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <limits>

#include "app/FileNames.h"
#include "app/IniFile.h"
#include "app/IniFileFixture.h"
#include "app/Settings.h"
#include "raster/Lanczos.h"

// Options shown as the arguments that make them, and the folder.
void PrintTo(const TMosaicOptions& o, std::ostream* os) {
  *os << "{" << o.Arguments().join(QLatin1Char(' ')).toStdString() << "; folder " << o.ThumbnailsFolder.toStdString()
      << "}";
}

namespace {

// ---- The tool's arguments

// The arguments as the tool's parser gathers them: values by name, and the
// switches given.
struct TGathered {
  std::map<std::string, std::string> Values;
  std::set<std::string> Switches;
};
TGathered Gather(const QStringList& args) {
  std::set<std::string> takesValue;
  for (const TMosaicOptions::TArgument& a : TMosaicOptions::ArgumentNames())
    if (!a.NoValue.empty()) takesValue.insert(a.Name);
  TGathered g;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const std::string name = EncodeFileName(args[i]).toStdString();
    if (takesValue.count(name) && i + 1 < args.size())
      g.Values[name] = EncodeFileName(args[++i]).toStdString();
    else
      g.Switches.insert(name);
  }
  return g;
}

// Options printed as arguments and parsed back are the same options, over
// sets that each move options away from their defaults.
TEST(MosaicOptionsArguments, PrintedAndParsedBackAreTheSame) {
  struct Case {
    const char* name;
    std::function<void(TMosaicOptions&)> set;
  };
  const Case cases[] = {
      {"defaults", [](TMosaicOptions&) {}},
      {"window's first options",
       [](TMosaicOptions& o) {
         o.ThumbnailsFolder = QStringLiteral("/my photos/it's here");
         o.CellSize = 40;
         o.CheckSize = false;
         o.Antialias = false;
       }},
      {"matched, every rule",
       [](TMosaicOptions& o) {
         o.MatchColours = true;
         o.TintLimit = 0;
         o.TintMode = TTintMode::Whole;
         o.RepeatDistance = 25;
         o.MaxUses = 1000000000;
         o.UseAll = true;
       }},
      {"matched, bounds the other way",
       [](TMosaicOptions& o) {
         o.MatchColours = true;
         o.TintLimit = 100;
         o.RepeatDistance = 0;
         o.MaxUses = 1;
       }},
      {"shape and library",
       [](TMosaicOptions& o) {
         o.TileAspect = {9, 16};
         o.CropSquare = true;
         o.Recursive = true;
         o.CellSize = 10;
       }},
      {"the tool's own",
       [](TMosaicOptions& o) {
         o.Scale = int(MaxBandResampleSide);
         o.FastJpeg = true;
         o.UseCache = false;
         o.Seed = std::numeric_limits<long long>::max();
       }},
      {"seed 0, scale 2",
       [](TMosaicOptions& o) {
         o.Seed = 0;
         o.Scale = 2;
         o.CellSize = 15;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMosaicOptions given;
    c.set(given);
    const TGathered g = Gather(given.Arguments());
    TMosaicOptions parsed;
    EXPECT_EQ(parsed.ParseArguments(g.Values, g.Switches).toStdString(), "");
    EXPECT_EQ(parsed, given);
  }
}

// The arguments name what differs from the defaults and nothing else, the
// matched mosaic's own only with "--match".
TEST(MosaicOptionsArguments, NameWhatDiffersFromTheDefaults) {
  EXPECT_EQ(TMosaicOptions().Arguments(), QStringList());
  TMosaicOptions chosen;
  chosen.ThumbnailsFolder = QStringLiteral("/photos");
  chosen.CellSize = 40;
  chosen.CheckSize = false;
  chosen.Antialias = false;
  chosen.Recursive = true;
  chosen.MatchColours = true;
  chosen.TintLimit = 40;
  chosen.TintMode = TTintMode::Whole;
  chosen.RepeatDistance = 0;
  chosen.MaxUses = 3;
  chosen.UseAll = true;
  chosen.TileAspect = {3, 2};
  chosen.Scale = 12;
  EXPECT_EQ(chosen.Arguments(), (QStringList{"--thumbnails",
                                             "/photos",
                                             "--cell",
                                             "40",
                                             "--no-check-size",
                                             "--no-antialias",
                                             "--match",
                                             "--recursive",
                                             "--tint",
                                             "40",
                                             "--tint-mode",
                                             "whole",
                                             "--repeat-distance",
                                             "0",
                                             "--max-uses",
                                             "3",
                                             "--use-all",
                                             "--tile-aspect",
                                             "3:2",
                                             "--scale",
                                             "12"}));
  // The matched mode's own options mean nothing to the random mosaic.
  chosen.MatchColours = false;
  chosen.CheckSize = chosen.Antialias = true;
  chosen.CropSquare = true;
  chosen.Scale = 1;
  EXPECT_EQ(chosen.Arguments(),
            (QStringList{"--thumbnails", "/photos", "--cell", "40", "--crop", "--recursive", "--tile-aspect", "3:2"}));
}

// Every value the tool refuses, with the usage error it has always given;
// the options stay as they were.
TEST(MosaicOptionsArguments, RefusedValuesSayWhy) {
  const struct {
    std::map<std::string, std::string> values;
    std::set<std::string> switches;
    const char* error;
  } cases[] = {
      {{{"--cell", "12"}}, {}, "--cell must be 10, 15, 20 or 40"},
      {{{"--cell", "20px"}}, {}, "--cell must be 10, 15, 20 or 40"},
      {{{"--tint", "101"}}, {"--match"}, "--tint must be 0 to 100"},
      {{{"--tint", "-1"}}, {"--match"}, "--tint must be 0 to 100"},
      {{{"--tint-mode", "Whole"}}, {"--match"}, "--tint-mode must be light or whole"},
      {{{"--repeat-distance", "26"}}, {"--match"}, "--repeat-distance must be 0 to 25"},
      {{{"--max-uses", "0"}}, {"--match"}, "--max-uses must be 1 to 1000000000"},
      {{{"--scale", "0"}}, {}, "--scale must be 1 to 1000000"},
      {{{"--scale", "1000001"}}, {}, "--scale must be 1 to 1000000"},
      {{{"--scale", "99999999999999999999"}}, {}, "--scale must be 1 to 1000000"},
      {{{"--tile-aspect", "5:4"}}, {}, "--tile-aspect must be 1:1, 4:3, 3:2, 16:9, 3:4, 2:3 or 9:16"},
      {{{"--seed", "-1"}}, {}, "--seed must be a whole number from 0 to 9223372036854775807"},
      {{{"--seed", "9223372036854775808"}}, {}, "--seed must be a whole number from 0 to 9223372036854775807"},
      // Right values of the matched mosaic, without it.
      {{{"--tint", "5"}}, {}, "--tint is an option of --match"},
      {{{"--tint-mode", "whole"}}, {}, "--tint-mode is an option of --match"},
      {{{"--repeat-distance", "2"}}, {}, "--repeat-distance is an option of --match"},
      {{{"--max-uses", "2"}}, {}, "--max-uses is an option of --match"},
      {{}, {"--use-all"}, "--use-all is an option of --match"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    TMosaicOptions o;
    EXPECT_EQ(o.ParseArguments(c.values, c.switches).toStdString(), c.error);
  }
  TMosaicOptions o;
  o.ParseArguments({{"--cell", "12"}}, {});
  EXPECT_EQ(o.CellSize, TMosaicOptions().CellSize);
}

// What the tool says when an option's value is missing.
TEST(MosaicOptionsArguments, ValuesMissingSayWhatIsNeeded) {
  std::map<std::string, std::string> noValue;
  for (const TMosaicOptions::TArgument& a : TMosaicOptions::ArgumentNames()) noValue[a.Name] = a.NoValue;
  const std::map<std::string, std::string> expected{
      {"--thumbnails", "--thumbnails needs a folder"},
      {"--cell", "--cell must be 10, 15, 20 or 40"},
      {"--no-check-size", ""},
      {"--no-antialias", ""},
      {"--match", ""},
      {"--crop", ""},
      {"--recursive", ""},
      {"--tint", "--tint needs a percentage"},
      {"--tint-mode", "--tint-mode must be light or whole"},
      {"--repeat-distance", "--repeat-distance needs a number"},
      {"--max-uses", "--max-uses needs a number"},
      {"--use-all", ""},
      {"--tile-aspect", "--tile-aspect needs a shape W:H"},
      {"--scale", "--scale needs a number"},
      {"--fast", ""},
      {"--no-cache", ""},
      {"--seed", "--seed needs a number"},
  };
  EXPECT_EQ(noValue, expected);
}

// "Check size" enlarges a picture to 80 cells of its size; a size the
// mosaic does not offer counts as the smallest.
TEST(MosaicOptionsArguments, CheckSizeLimitIsEightyCells) {
  const std::pair<int, int> cases[] = {{10, 800}, {15, 1200}, {20, 1600}, {40, 3200}, {12, 800}, {0, 800}};
  for (const auto& [cell, limit] : cases) EXPECT_EQ(CheckSizeLimit(cell), limit) << cell;
}

// ---- The settings file

// The window's settings and the mosaic's options in one settings file, as
// the window saves and loads them.
class MosaicOptionsSettings : public IniFileFixture {
 protected:
  using TFill = void (*)(TSettings&, TMosaicOptions&);
  static QByteArray Expected(const char* name) {
    QFile f(QStringLiteral(TESSELUNE_TEST_DATA "/settings/") + QString::fromLatin1(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
  }
  void Save(const TSettings& s, const TMosaicOptions& o) const {
    IniFile ini(Path());
    s.Save(ini, [&](IniFile& file, TSettingsPlace place) { o.SaveSettings(file, place); });
    ASSERT_TRUE(ini.UpdateFile());
  }
  void Save(TFill fill) const {
    TSettings s;
    TMosaicOptions o;
    fill(s, o);
    Save(s, o);
  }
  TMosaicOptions Load() const { return TMosaicOptions::LoadSettings(IniFile(Path())); }
  QString Folder() const { return m_tmp.path(); }
};

// What the window holds at its first start: only the folder chosen.
void Defaults(TSettings&, TMosaicOptions& o) { o.ThumbnailsFolder = QStringLiteral("/home/u/Thumbnails"); }

// Every setting away from its default, the numbers at their bounds; the
// tool's own options are not kept.
void EveryOneChanged(TSettings& s, TMosaicOptions& o) {
  o.ThumbnailsFolder = QStringLiteral("/data/photos");
  s.OpenFolder = QStringLiteral("/o");
  s.SaveFolder = QStringLiteral("/s/");
  s.Maximized = true;
  s.PreviewEnabled = true;
  o.CellSize = 10;
  o.CheckSize = false;
  o.Antialias = false;
  o.MatchColours = true;
  o.CropSquare = true;
  s.Inches = true;
  o.Recursive = true;
  o.TintLimit = 0;
  o.TintMode = TTintMode::Whole;
  o.RepeatDistance = 25;
  o.MaxUses = 1000000000;
  o.UseAll = true;
  o.TileAspect = {16, 9};
  o.Scale = 8;
  o.FastJpeg = true;
  o.UseCache = false;
  o.Seed = 7;
  s.RecentFiles = {QStringLiteral("/p/b.png"), QStringLiteral("/p/a.jpg")};
}

// A few of the mosaic's options changed, the rest at their defaults.
void SomeChanged(TSettings& s, TMosaicOptions& o) {
  o.ThumbnailsFolder = QStringLiteral("/t");
  o.CellSize = 15;
  o.MatchColours = true;
  o.TintLimit = 60;
  o.RepeatDistance = 0;
  o.TileAspect = {3, 4};
  o.Scale = 2;
  s.RecentFiles = {QStringLiteral("/q/c.png")};
}

// The settings file byte for byte as the window wrote it before the mosaic's
// options were one value (tests/data/settings/ holds what that code wrote):
// keys in their order in a fresh file, replaced in place in an existing
// one, new ones after the section's last entry, the options beyond the
// original ones only while away from their defaults.
TEST_F(MosaicOptionsSettings, AFreshFileIsWrittenAsBefore) {
  const std::pair<TFill, const char*> cases[] = {
      {Defaults, "fresh-defaults.ini"},
      {EveryOneChanged, "fresh-every-one-changed.ini"},
      {SomeChanged, "fresh-some-changed.ini"},
  };
  for (const auto& [fill, expected] : cases) {
    SCOPED_TRACE(expected);
    QFile::remove(Path());
    Save(fill);
    EXPECT_EQ(ReadRaw(), Expected(expected));
  }
}

// A hand-edited file (keys in lower case, out of order, one twice, a key and
// a section the program does not know) saved over and over.
TEST_F(MosaicOptionsSettings, AnExistingFileIsWrittenAsBefore) {
  WriteRaw(Expected("edited.ini"));
  const std::pair<TFill, const char*> saves[] = {
      {SomeChanged, "edited-then-some-changed.ini"},
      {EveryOneChanged, "edited-then-every-one-changed.ini"},
      {Defaults, "edited-then-defaults.ini"},
  };
  for (const auto& [fill, expected] : saves) {
    SCOPED_TRACE(expected);
    Save(fill);
    EXPECT_EQ(ReadRaw(), Expected(expected));
  }
}

// Another hand-edited file saved twice over (the bytes taken from the
// window's code before the settings were one value): names holding a line
// break left out, at most four recent files, stale ones gone.
TEST_F(MosaicOptionsSettings, AHandEditedFileIsWrittenAsBefore) {
  WriteRaw(
      "; my settings\n[Params]\nopen = /old/\nUnit=0\nMatchColours=1\nColour=blue\n\n[Other]\nx=1\n"
      "[Files]\nFile1=/p/gone.png\nFile3=/p/stale.png\n");
  const std::pair<TFill, QByteArray> saves[] = {
      {[](TSettings& s, TMosaicOptions& o) {
         o.ThumbnailsFolder = QStringLiteral("/thumbs");
         s.OpenFolder = QStringLiteral("/photos/");
         s.PreviewEnabled = true;
         o.CellSize = 15;
         o.Antialias = false;
         o.CropSquare = true;
         s.Inches = true;
         s.RecentFiles = {"/p/new.png", "/p/two\nlines.png", "/p/Old.png", "/p/old.png", "/p/x.png", "/p/y.png"};
       },
       "; my settings\n[Params]\nOpen=/photos/\nUnit=1\nColour=blue\nThumbnails=/thumbs/\nSave=\nMaximized=0\n"
       "Preview=1\nThumbSize=15\nCheckSize=1\nAntialias=0\nCropSquare=1\n\n[Other]\nx=1\n"
       "[Files]\nFile1=/p/new.png\nFile3=/p/old.png\nFile2=/p/Old.png\nFile4=/p/x.png\n"},
      {[](TSettings& s, TMosaicOptions& o) {
         o.ThumbnailsFolder = QStringLiteral("/t");
         s.OpenFolder = QStringLiteral("/o");
         s.SaveFolder = QStringLiteral("/s/");
         s.Maximized = true;
         o.CellSize = 40;
         o.CheckSize = false;
         o.MatchColours = true;
         s.RecentFiles = {QStringLiteral("/q/a.png")};
       },
       "; my settings\n[Params]\nOpen=/o/\nUnit=0\nColour=blue\nThumbnails=/t/\nSave=/s/\nMaximized=1\n"
       "Preview=0\nThumbSize=40\nCheckSize=0\nAntialias=1\nMatchColours=1\n\n[Other]\nx=1\n"
       "[Files]\nFile1=/q/a.png\n"},
  };
  for (const auto& [fill, expected] : saves) {
    SCOPED_TRACE(expected.constData());
    Save(fill);
    EXPECT_EQ(ReadRaw(), expected);
  }
}

// Saved and loaded back, every option the settings keep comes back (the
// folder with its trailing "/"); the tool's own stay at their defaults.
TEST_F(MosaicOptionsSettings, RoundTrip) {
  for (const TFill fill : {Defaults, EveryOneChanged, SomeChanged}) {
    TSettings s;
    TMosaicOptions o;
    fill(s, o);
    o.ThumbnailsFolder = Folder();
    Save(s, o);
    TMosaicOptions expected = o;
    expected.ThumbnailsFolder = Folder() + QLatin1Char('/');
    expected.FastJpeg = false;
    expected.UseCache = true;
    expected.Seed.reset();
    EXPECT_EQ(Load(), expected) << ReadRaw().constData();
  }
}

// What each value in the file reads as; "%1" stands for a folder that exists.
TEST_F(MosaicOptionsSettings, ReadingRules) {
  struct Case {
    const char* text;
    void (*expect)(TMosaicOptions&);  // from the defaults to what is read
  };
  const Case cases[] = {
      {"", [](TMosaicOptions&) {}},
      // Text that is not an int reads as 15, a number not one of the sizes as 10.
      {"[Params]\nThumbSize=abc", [](TMosaicOptions& o) { o.CellSize = 15; }},
      {"[Params]\nThumbSize=99999999999", [](TMosaicOptions& o) { o.CellSize = 15; }},
      {"[Params]\nThumbSize=", [](TMosaicOptions& o) { o.CellSize = 15; }},
      {"[Params]\nThumbSize=25", [](TMosaicOptions& o) { o.CellSize = 10; }},
      {"[Params]\nThumbSize=0", [](TMosaicOptions& o) { o.CellSize = 10; }},
      {"[Params]\nThumbSize=10", [](TMosaicOptions& o) { o.CellSize = 10; }},
      {"[Params]\nThumbSize=15", [](TMosaicOptions& o) { o.CellSize = 15; }},
      {"[Params]\nThumbSize=40", [](TMosaicOptions& o) { o.CellSize = 40; }},
      {"[Params]\nThumbSize=ERR!", [](TMosaicOptions&) {}},
      // The options on by default go off only for "0", the others come on only for "1".
      {"[Params]\nCheckSize=\nAntialias=no", [](TMosaicOptions&) {}},
      {"[Params]\nCheckSize=0\nAntialias=0",
       [](TMosaicOptions& o) {
         o.CheckSize = false;
         o.Antialias = false;
       }},
      {"[Params]\nMatchColours=on\nCropSquare=2\nRecursive=2\nUseAll=yes", [](TMosaicOptions&) {}},
      {"[params]\nmatchcolours=1\nCROPSQUARE=1\nRecursive=1\nUseAll=1",
       [](TMosaicOptions& o) { o.MatchColours = o.CropSquare = o.Recursive = o.UseAll = true; }},
      // Out of range or not a number reads as the default.
      {"[Params]\nTintLimit=101\nRepeatDistance=-1\nMaxUses=x\nScale=9\nTintMode=light", [](TMosaicOptions&) {}},
      {"[Params]\nTintLimit=abc\nRepeatDistance=26\nMaxUses=-3\nScale=0\nTileAspect=", [](TMosaicOptions&) {}},
      {"[Params]\nTintMode=Whole\nTileAspect=5:4\nMaxUses=1000000001", [](TMosaicOptions&) {}},
      {"[Params]\nTintLimit=7\nRepeatDistance=12\nMaxUses=40\nScale=3\nTintMode=whole\nTileAspect=3:2",
       [](TMosaicOptions& o) {
         o.TintLimit = 7;
         o.RepeatDistance = 12;
         o.MaxUses = 40;
         o.Scale = 3;
         o.TintMode = TTintMode::Whole;
         o.TileAspect = {3, 2};
       }},
      {"[Params]\nTintLimit=0\nRepeatDistance=25\nMaxUses=0\nScale=8",
       [](TMosaicOptions& o) {
         o.TintLimit = 0;
         o.RepeatDistance = 25;
         o.Scale = 8;
       }},
      // A folder is taken only while it exists, as written.
      {"[Params]\nThumbnails=%1/gone/", [](TMosaicOptions&) {}},
      {"[Params]\nThumbnails=", [](TMosaicOptions&) {}},
      {"[Params]\nThumbnails=%1", [](TMosaicOptions& o) { o.ThumbnailsFolder = "%1"; }},
      {"[Params]\nThumbnails=%1/", [](TMosaicOptions& o) { o.ThumbnailsFolder = "%1/"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteRaw(QString::fromUtf8(c.text).replace(QStringLiteral("%1"), Folder()).toUtf8());
    TMosaicOptions expected;
    c.expect(expected);
    expected.ThumbnailsFolder.replace(QStringLiteral("%1"), Folder());
    EXPECT_EQ(Load(), expected);
  }
}

// Each option away from its default writes its own key after the others
// and reads back; back at its default, the key goes and the file is the one
// written with every default, byte for byte.
TEST_F(MosaicOptionsSettings, OptionsBeyondTheFirstAreKeptOnlyAwayFromTheirDefaults) {
  Save(TSettings(), TMosaicOptions());
  const QByteArray plain = ReadRaw();
  struct Case {
    const char* line;
    void (*set)(TMosaicOptions&);
  };
  const Case cases[] = {
      {"Recursive=1", [](TMosaicOptions& o) { o.Recursive = true; }},
      {"TintLimit=0", [](TMosaicOptions& o) { o.TintLimit = 0; }},
      {"TintLimit=100", [](TMosaicOptions& o) { o.TintLimit = 100; }},
      {"TintMode=whole", [](TMosaicOptions& o) { o.TintMode = TTintMode::Whole; }},
      {"RepeatDistance=0", [](TMosaicOptions& o) { o.RepeatDistance = 0; }},
      {"RepeatDistance=25", [](TMosaicOptions& o) { o.RepeatDistance = 25; }},
      {"MaxUses=2", [](TMosaicOptions& o) { o.MaxUses = 2; }},
      {"UseAll=1", [](TMosaicOptions& o) { o.UseAll = true; }},
      {"TileAspect=9:16",
       [](TMosaicOptions& o) {
         o.TileAspect = {9, 16};
       }},
      {"Scale=8", [](TMosaicOptions& o) { o.Scale = 8; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TMosaicOptions o;
    c.set(o);
    Save(TSettings(), o);
    // The file holds [Params] only: a new key ends it.
    EXPECT_EQ(ReadRaw(), plain + c.line + '\n');
    EXPECT_EQ(Load(), o);
    Save(TSettings(), TMosaicOptions());
    EXPECT_EQ(ReadRaw(), plain);
  }
}

// A hand-edited file that names a key twice: switching the option off, or
// choosing another value, leaves no copy that would bring it back.
TEST_F(MosaicOptionsSettings, KeysNamedTwiceLeaveNoOldCopy) {
  WriteRaw("[Params]\nMatchColours=1\nCheckSize=1\nMatchColours=1\nCheckSize=1\nCropSquare=1\n");
  TMosaicOptions o = Load();
  ASSERT_TRUE(o.MatchColours);
  o.MatchColours = false;
  o.CheckSize = false;
  Save(TSettings(), o);
  const QByteArray text = ReadRaw();
  EXPECT_FALSE(text.contains("MatchColours")) << text.constData();
  EXPECT_EQ(text.count("CheckSize="), 1) << text.constData();
  const TMosaicOptions again = Load();
  EXPECT_FALSE(again.MatchColours);
  EXPECT_FALSE(again.CheckSize);
  EXPECT_TRUE(again.CropSquare);
}

}  // namespace
