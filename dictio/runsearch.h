// searchRuns: a search for several words through a read-only index,
// answered from the sorted runs of one-chunk chains instead of by walking
// every code.
//
// The general search takes the words in turn. The first gives each entry
// the tag of its first accepted code in chain order; each later word keeps
// an entry only when its own first accepted code for that entry carries the
// very same tag. The outcome does not depend on the order in which the
// words are taken, so this search starts from the word with the fewest
// accepted codes and, for each of its entries, looks up every other word's
// first code by galloping through that word's runs. Codes ascend within a
// run (tag in the high byte, then entry number), so an entry's first code
// in a run is the one with its lowest accepted tag, and an earlier run
// comes earlier in the chain.
#pragma once

#include <array>
#include <vector>

#include "dictio/dictio.h"
#include "dictio/readindex.h"

// Puts into *result the hits of the general search for `words` (all in the
// list) under the tags `accepted`, among live entries and, when `only` is
// given, among its entries. False, with *result unchanged, when some
// word's chain is not one whole chunk: the general search then answers.
bool searchRuns(ReadIndex* index, const std::vector<ReadIndex::Word>& words,
                const std::array<bool, 256>& accepted, const twset* only, twset* result);
