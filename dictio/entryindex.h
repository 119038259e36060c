// EntryIndex: where each entry's packed form stands in the ".ent" file.
//
// `entPos` maps entry number -> offset, −1 marking a deleted entry (its
// number stays until a speed-up drops it); `posEnt` maps offset -> the
// entry stored there. Several entries may share an offset: the deleted ones
// share −1, and an entry whose packed form is empty shares the offset of the
// entry after it. The highest number owns a shared offset: its bytes are the
// ones stored there. Every change goes through the operations below, which
// keep `posEnt` the reverse of `entPos` under that rule.
#pragma once

#include <cstdint>

#include "base/ordmap.h"

struct EntryIndex {
  OrdMap entPos;  // entry number -> offset; −1 deleted
  OrdMap posEnt;  // offset -> entry number

  // Entry `num` now stands at `offset`; the offset it stood at before no
  // longer answers for it.
  void place(int32_t num, int32_t offset);
  // Entry `num` is deleted: its offset becomes −1 and no longer answers
  // for it.
  void markDeleted(int32_t num);
  // Forgets the deleted entries; true when there were any.
  bool dropDeleted();
  // The offset of live entry `num`, or −1 (unknown or deleted).
  int32_t offsetOf(long num) const;
  bool isDeleted(long num) const { return offsetOf(num) < 0; }
  // The entry stored at `offset`, or 0 (no entry has number 0).
  int32_t ownerOf(long offset) const;
  // Live entry `num` has bytes of its own: no higher number shares its
  // offset.
  bool ownsItsOffset(long num) const;
  // `posEnt` from `entPos`, in ascending number (the highest one wins).
  void rebuildReverse();
  void clear();
};
