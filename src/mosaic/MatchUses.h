#pragma once
// How a matched mosaic used its photo library, and by how much the rules on
// reuse (a cap per photo, every photo at least once) could not be met: the
// mosaic is made all the same, and the caller says so.

struct TMatchUses {
  int Photos = 0;
  int Cells = 0;
  int PhotosUsed = 0;  // photos placed at least once
  int MostUses = 0;    // the most cells one photo went to

  // The rules asked for (0 / false: not asked) and their shortfalls.
  int MaxUses = 0;
  // Cells beyond the cap: cells - cap x photos when the cap cannot fill the
  // mosaic, else 0.
  int OverCap = 0;
  bool UseAll = false;
  int Unused = 0;  // photos left out although all were asked for
  // With a cap or every photo asked for: the cells whose photo shows again
  // within the repeat distance, as the counts left no other way.
  int RepeatDistance = 0;
  int TooClose = 0;

  bool RulesMet() const { return OverCap == 0 && Unused == 0 && TooClose == 0; }
};
