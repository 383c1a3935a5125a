#pragma once
// The nearest-neighbour index of the matched mosaic: the thumbnails'
// descriptors, laid out for a fast exact search of the nearest ones.
#include <vector>

#include "mosaic/MatchDescriptor.h"
#include "mosaic/ThumbnailList.h"

struct TMatchCandidate {
  float Distance = 0;  // squared distance between descriptors
  int Index = 0;
};

// The thumbnails' descriptors, laid out for a fast exact nearest-neighbour
// scan. Descriptors are compared through their per-channel 4 x 4 cosine
// transform: orthonormal, so it keeps distances, but it puts most of the
// difference between two pictures into the first few numbers (the average
// colour, then the gradients). Entries are grouped 16 to a block along a k-d split of
// the averages, each block with its bounding box over the leading numbers,
// so a block whose box is already farther than the k-th candidate is
// skipped without reading it.
class TMatchLibrary {
 public:
  TMatchLibrary() = default;
  explicit TMatchLibrary(const TThumbnailList& thumbnails);
  explicit TMatchLibrary(std::vector<TTileDescriptor> descriptors);

  int Count() const { return int(m_descriptors.size()); }
  const TTileDescriptor& Descriptor(int index) const { return m_descriptors.at(size_t(index)); }

  // The k nearest entries of each query (k at most Count()), nearest first,
  // equal distances by lower index: query q's list at out[q * k]. Queries
  // next to each other (a row of cells) are found faster, as each starts
  // from the list of the one before.
  void Nearest(const TTileDescriptor* queries, int queryCount, int k, TMatchCandidate* out) const;

  // The squared distance from a query to every entry, in entry order.
  std::vector<float> Distances(const TTileDescriptor& query) const;
  // The same to one entry.
  float Distance(const TTileDescriptor& query, int index) const;

 private:
  std::vector<TTileDescriptor> m_descriptors;
  std::vector<TTileDescriptor> m_transformed;
  // Blocks of 16 entries, dimension by dimension (16 floats for dimension 0,
  // then 16 for dimension 1, ...); unused slots lie far from any colour.
  std::vector<float> m_blocks;
  std::vector<int> m_slotIndex;  // entry index of each slot, -1 when unused
  // Bounding boxes of the blocks over the leading dimensions, dimension by
  // dimension, padded to a multiple of 16 blocks.
  std::vector<float> m_boxLow, m_boxHigh;
  int m_blockCount = 0;
  int m_paddedBlocks = 0;
};
